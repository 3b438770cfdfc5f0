#include "Faults.h"

#include "modbus/Crc16.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdlib>

namespace imconf::sim {

namespace {

struct TKindName {
    TFaultKind kind;
    const char* name;
};
constexpr std::array<TKindName, 5> kNames{{{TFaultKind::Drop, "drop"},
                                           {TFaultKind::CorruptCrc, "crc"},
                                           {TFaultKind::Short, "short"},
                                           {TFaultKind::Garbage, "garbage"},
                                           {TFaultKind::Late, "late"}}};

// Splits "a:b[:c]" into two or three fields.
bool Split(std::string_view text, std::string_view& kind, std::string_view& second,
           std::string_view& third, std::string& error)
{
    const auto first = text.find(':');
    if (first == std::string_view::npos) {
        error = "expected KIND:VALUE[:ARG], got '" + std::string(text) + "'";
        return false;
    }
    kind = text.substr(0, first);
    std::string_view rest = text.substr(first + 1);
    const auto next = rest.find(':');
    second = rest.substr(0, next);
    third = next == std::string_view::npos ? std::string_view{} : rest.substr(next + 1);
    if (next != std::string_view::npos && third.empty()) {
        error = "empty argument in '" + std::string(text) + "'";
        return false;
    }
    return true;
}

bool ParseUnsigned(std::string_view text, unsigned& value)
{
    if (text.empty())
        return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc{} && end == text.data() + text.size();
}

std::optional<TFaultRule> ParseCommon(std::string_view text, std::string_view& second,
                                      std::string& error)
{
    std::string_view kindText, third;
    if (!Split(text, kindText, second, third, error))
        return std::nullopt;
    const auto kind = FaultFromName(kindText);
    if (!kind) {
        error = "unknown fault '" + std::string(kindText) + "' (drop, crc, short, garbage, late)";
        return std::nullopt;
    }
    TFaultRule rule;
    rule.kind = *kind;
    if (!third.empty() && (!ParseUnsigned(third, rule.arg) || rule.arg == 0)) {
        error = "bad argument '" + std::string(third) + "': a positive whole number";
        return std::nullopt;
    }
    return rule;
}

}  // namespace

const char* FaultName(TFaultKind kind)
{
    for (const auto& entry : kNames)
        if (entry.kind == kind)
            return entry.name;
    return "?";
}

std::optional<TFaultKind> FaultFromName(std::string_view name)
{
    for (const auto& entry : kNames)
        if (name == entry.name)
            return entry.kind;
    return std::nullopt;
}

std::optional<TFaultRule> ParseFaultEvery(std::string_view text, std::string& error)
{
    std::string_view second;
    auto rule = ParseCommon(text, second, error);
    if (!rule)
        return std::nullopt;
    if (!ParseUnsigned(second, rule->everyN) || rule->everyN == 0) {
        error = "bad count '" + std::string(second) + "': every N needs N >= 1";
        return std::nullopt;
    }
    return rule;
}

std::optional<TFaultRule> ParseFaultRate(std::string_view text, std::string& error)
{
    std::string_view second;
    auto rule = ParseCommon(text, second, error);
    if (!rule)
        return std::nullopt;
    // std::from_chars for double is not in every library of this compiler generation.
    const std::string number(second);
    char* end = nullptr;
    const double p = number.empty() ? -1.0 : std::strtod(number.c_str(), &end);
    if (number.empty() || end != number.c_str() + number.size() || !(p > 0.0 && p <= 1.0)) {
        error = "bad probability '" + number + "': a number in (0, 1]";
        return std::nullopt;
    }
    rule->probability = p;
    return rule;
}

std::uint32_t TFaultInjector::Next()
{
    std::uint32_t x = state_;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    state_ = x;
    return x;
}

std::vector<TFaultKind> TFaultInjector::Apply(TReply& reply)
{
    std::vector<TFaultKind> hits;
    if (reply.Empty())
        return hits;
    ++replies_;
    std::array<const TFaultRule*, 5> active{};
    for (const auto& rule : rules_) {
        bool fire = rule.everyN != 0 && replies_ % rule.everyN == 0;
        // The random draw is taken for every rate rule on every reply, so whether one rule
        // fires does not shift the sequence that the others see.
        if (rule.probability > 0.0 && NextUnit() < rule.probability)
            fire = true;
        if (fire)
            active[static_cast<std::size_t>(rule.kind)] = &rule;
    }
    auto fired = [&](TFaultKind kind) { return active[static_cast<std::size_t>(kind)]; };

    if (fired(TFaultKind::Drop)) {
        reply.bytes.clear();
        hits.push_back(TFaultKind::Drop);
    } else {
        if (const TFaultRule* rule = fired(TFaultKind::Garbage)) {
            const std::size_t length = rule->arg != 0 ? rule->arg : reply.bytes.size();
            std::vector<std::uint8_t> noise(length);
            for (auto& b : noise)
                b = static_cast<std::uint8_t>(Next() >> 24);
            // Noise must never pass for a frame or an acknowledgement.
            const bool looksValid = CrcMatches(noise.data(), noise.size()) ||
                                    (noise.size() == 2 && noise[0] == 0x07 && noise[1] == 0xA5) ||
                                    noise == reply.bytes;
            if (looksValid)
                noise.back() ^= 0x5A;
            reply.bytes = std::move(noise);
            hits.push_back(TFaultKind::Garbage);
        }
        if (const TFaultRule* rule = fired(TFaultKind::Short)) {
            const std::size_t length = reply.bytes.size();
            std::size_t keep = rule->arg != 0 && rule->arg < length ? rule->arg : length / 2;
            keep = std::clamp<std::size_t>(keep, 1, length > 1 ? length - 1 : 1);
            reply.bytes.resize(keep);
            hits.push_back(TFaultKind::Short);
        }
        if (fired(TFaultKind::CorruptCrc)) {
            reply.bytes.back() ^= 0xFF;
            hits.push_back(TFaultKind::CorruptCrc);
        }
        if (const TFaultRule* rule = fired(TFaultKind::Late)) {
            const unsigned ms = rule->arg != 0 ? rule->arg : kDefaultLateMs;
            reply.delay += std::chrono::milliseconds(ms);
            hits.push_back(TFaultKind::Late);
        }
    }
    for (TFaultKind kind : hits)
        ++fired_[static_cast<std::size_t>(kind)];
    return hits;
}

}  // namespace imconf::sim
