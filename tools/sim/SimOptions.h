#pragma once
// Command line of imconf-sim.

#include "Faults.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace imconf::sim {

struct TSimOptions {
    std::optional<std::uint8_t> address;  // module address, 247 when not given
    std::optional<std::uint16_t> id;      // register 0, 24 when not given
    std::optional<unsigned> baud;         // module speed, 9600 when not given
    bool bootloader = false;
    std::string config;
    std::string link;
    std::string name;  // announce name, "sim<address>" when empty
    bool announce = true;
    bool pace = false;
    std::optional<unsigned> thinkMs;
    std::vector<TFaultRule> faults;
    std::uint32_t seed = 1;
    std::vector<std::pair<std::uint8_t, std::uint16_t>> devices;  // address, id
    std::string dump;
    bool strictBaud = true;
    bool echo = false;          // the adapter hands each request back before the reply
    unsigned usbLatencyMs = 0;  // USB adapter's latency timer; 0: bytes go on at once
    bool verbose = false;
    std::string tcp;                  // [HOST:]PORT to serve on instead of announcing a terminal
    unsigned netDelayMs = 0;          // --net-delay: each direction over TCP
    std::optional<unsigned> splitMs;  // --split: replies in two TCP segments this far apart
    bool help = false;
};

struct TParsedOptions {
    TSimOptions options;
    std::string error;  // empty when the command line is good
};

TParsedOptions ParseOptions(const std::vector<std::string>& args);
std::string UsageText(const std::string& program);

}  // namespace imconf::sim
