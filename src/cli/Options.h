#pragma once
// imconf-cli's common options and the rules of its command line that every command shares:
// the speeds and delays the window offers, numbers that must be integers, usage errors.

#include "app/Speeds.h"

#include <CLI/CLI.hpp>

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace imconf::cli {

// The options that go before or after any command.
struct CommonOptions {
    std::string port;
    unsigned baud = 9600;
    int address = 247;
    bool trace = false;
    bool json = false;
    bool quiet = false;
    bool force = false;
    std::string log;
    std::optional<unsigned> latency;
};

inline constexpr std::array<unsigned, kSpeedCount> kSpeeds{1200,  2400,  4800,  9600,
                                                           14400, 19200, 38400, 57600};
inline constexpr std::array<int, 6> kDelays{100, 150, 200, 250, 300, 350};

// Refuses a number with a fraction or an exponent ("2.5", "1e2") before it is converted.
CLI::Validator IntegerText();

// The common options on `app`.
void AddCommonOptions(CLI::App& app, CommonOptions& options);

// True when `args` ask for JSON output, also when they do not parse.
bool AsksForJson(const std::vector<std::string>& args);

// Lines joined, each ended by a newline.
std::string Lines(const std::vector<std::string>& lines);

}  // namespace imconf::cli
