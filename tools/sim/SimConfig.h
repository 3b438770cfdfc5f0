#pragma once
// Initial register contents of a simulated device, as a small text file:
//
//   # the module at address 12, two nodes
//   address = 12
//   speed = 6                # speed code 1..8 (6 = 19200 baud)
//   node_count = 2
//   node_type[0] = 22
//   node_address[0] = 1
//   link[0] = 0x0205 0x1205  # several values fill consecutive registers
//   0x0121 = 24              # a register by number (decimal or 0x hex)
//
// Names: id, address, speed, block, node_count, link[i], node_type[i], node_address[i]
// (i = 0..31). Everything after '#' is a comment. The values obey the same limits as Modbus
// writes; the identification register may be set here, the sound-off command may not.

#include "ModbusSlave.h"

#include <cstdint>
#include <istream>
#include <string>
#include <vector>

namespace imconf::sim {

struct TConfigEntry {
    std::uint16_t reg = 0;
    std::uint16_t value = 0;
    unsigned line = 0;
};

struct TConfig {
    std::vector<TConfigEntry> entries;
    // "SOURCE:LINE: what is wrong" for the first error; empty when the text is good.
    std::string error;
    bool Ok() const { return error.empty(); }
};

TConfig ParseConfig(std::istream& in, const std::string& source);
TConfig LoadConfigFile(const std::string& path);

// Sets the registers in file order. The entries are valid (ParseConfig checked them).
void ApplyConfig(const TConfig& config, TModbusSlave& device);

}  // namespace imconf::sim
