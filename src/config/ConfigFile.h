#pragma once
// A module's configuration as a file: JSON that a person can read and edit.
//
//   {
//     "format": "imconf-configuration",
//     "version": 1,
//     "read": { "time": "2026-12-09T20:15:04Z", "port": "ttyUSB0", "address": 6, "baud": 9600 },
//     "links": [ { "indicator": 1, "value": "0x0000", "text": "0000" }, ... 24 entries ],
//     "nodes": [ { "type": 22, "name": "СИРТА-16И : 16ШС", "address": 1 }, ... ]
//   }
//
// "text" and "name" are for the reader and are not read back; "read" records where the
// configuration came from. A value may be written as a number or as a text ("0x1205", "77").
// Loading checks every field and builds the model through the model's own operations, so a
// loaded file gives the node table a configuration read would give.

#include "config/ConfigModel.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace imconf {

inline constexpr const char* kFormatName = "imconf-configuration";
inline constexpr int kFormatVersion = 1;

// Where a configuration was read from.
struct ReadOrigin {
    std::string Time;  // UTC, ISO 8601
    std::string Port;
    int Address = 0;
    unsigned Baud = 0;  // the PC port's speed; 0 when the file does not say
};

// The configuration as the module holds it: the 24 entries and the nodes in module order.
struct ModuleConfig {
    struct Node {
        std::uint8_t Type = 0;
        std::uint8_t Address = 0;
        bool operator==(const Node&) const = default;
    };
    TLinkTable Links{};
    std::vector<Node> Nodes;
    bool operator==(const ModuleConfig&) const = default;
};

// The configured part of a model.
ModuleConfig FromModel(const ConfigModel& model);

// Builds `model` from scratch: the link table, then every node added in order with AddNode and
// given its address, the first node selected. Returns the reason when the model refuses a node
// (too many nodes or loops); `model` is then not to be used.
std::optional<std::string> ToModel(const ModuleConfig& config, ConfigModel& model);

// The file text (UTF-8, ends with a newline).
std::string WriteConfigText(const ModuleConfig& config, const std::optional<ReadOrigin>& origin);

struct LoadedConfig {
    ModuleConfig Config;
    std::optional<ReadOrigin> Origin;
    ConfigModel Model;  // the model the file gives
    std::string Error;  // "field: reason"; empty when the file is good
    bool Ok() const { return Error.empty(); }
};
LoadedConfig ParseConfigText(const std::string& text);
// The file by name; a file that cannot be read gives its error.
LoadedConfig LoadConfigFile(const std::string& path);

// The differences, one line each ("links[5] (indicator 6): module 0x0005, file 0x0205");
// empty when equal. `left` and `right` name the two sides.
std::vector<std::string> Differences(const ModuleConfig& left, const ModuleConfig& right,
                                     const std::string& leftName, const std::string& rightName);

// The configuration as the window's two tabs show it: the nodes with type, address, loops
// and indicators, then the 24 link entries with their texts.
std::string DescribeModel(const ConfigModel& model);

}  // namespace imconf
