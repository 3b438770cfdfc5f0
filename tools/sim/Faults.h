#pragma once
// Faults of the line and of the module, injected into replies: a rule fires on every Nth
// reply and/or at random with a probability (seeded, so a run can be repeated exactly).

#include "ModbusSlave.h"  // TReply

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace imconf::sim {

enum class TFaultKind : std::uint8_t {
    Drop,        // no reply at all
    CorruptCrc,  // last byte inverted
    Short,       // reply cut: arg bytes kept (default half the reply)
    Garbage,     // random bytes instead of the reply: arg bytes (default the reply's length)
    Late,        // reply delayed by arg ms more (default 1000 ms)
};

struct TFaultRule {
    TFaultKind kind = TFaultKind::Drop;
    unsigned everyN = 0;       // 0: not by count
    double probability = 0.0;  // 0: not at random
    unsigned arg = 0;          // 0: the kind's default
};

const char* FaultName(TFaultKind kind);
std::optional<TFaultKind> FaultFromName(std::string_view name);

// "KIND:EVERY_N[:ARG]" (everyN >= 1) and "KIND:PROB[:ARG]" (0 < PROB <= 1).
// On failure the result is empty and `error` says why.
std::optional<TFaultRule> ParseFaultEvery(std::string_view text, std::string& error);
std::optional<TFaultRule> ParseFaultRate(std::string_view text, std::string& error);

constexpr unsigned kDefaultLateMs = 1000;

class TFaultInjector {
public:
    explicit TFaultInjector(std::uint32_t seed = 1) { Seed(seed); }

    void Seed(std::uint32_t seed) { state_ = seed == 0 ? 0x9E3779B9u : seed; }
    void Add(const TFaultRule& rule) { rules_.push_back(rule); }
    void Clear() { rules_.clear(); }
    bool Empty() const { return rules_.empty(); }

    // Counts one reply and spoils it as the rules say. An empty reply (the device is
    // silent anyway) is neither counted nor touched. Returns the kinds that fired.
    std::vector<TFaultKind> Apply(TReply& reply);

    unsigned RepliesSeen() const { return replies_; }
    unsigned Fired(TFaultKind kind) const { return fired_[static_cast<std::size_t>(kind)]; }

private:
    std::uint32_t Next();  // xorshift32: the same sequence on every platform
    double NextUnit() { return Next() / 4294967296.0; }

    std::vector<TFaultRule> rules_;
    std::uint32_t state_ = 1;
    unsigned replies_ = 0;
    unsigned fired_[5] = {};
};

}  // namespace imconf::sim
