#include "SimConfig.h"

#include <cctype>
#include <charconv>
#include <fstream>
#include <optional>
#include <sstream>
#include <string_view>

namespace imconf::sim {

namespace {

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())))
        s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
        s.remove_suffix(1);
    return s;
}

// Decimal or 0x hexadecimal, at most 0xFFFF.
std::optional<std::uint16_t> ParseNumber(std::string_view text)
{
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    unsigned long value = 0;
    if (text.empty())
        return std::nullopt;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (ec != std::errc{} || end != text.data() + text.size() || value > 0xFFFF)
        return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

struct TNamed {
    std::string_view name;
    std::uint16_t reg;
    bool indexed;
};
constexpr TNamed kNames[] = {
    {"id", reg::Id, false},
    {"address", reg::Address, false},
    {"speed", reg::Speed, false},
    {"block", reg::Block, false},
    {"node_count", reg::NodeCount, false},
    {"link", reg::LinkFirst, true},
    {"node_type", reg::NodeTypesFirst, true},
    {"node_address", reg::NodeAddressesFirst, true},
};

// The register a left-hand side names, or the reason why it names none.
std::optional<std::uint16_t> ResolveRegister(std::string_view lhs, std::string& why)
{
    if (!lhs.empty() && std::isdigit(static_cast<unsigned char>(lhs.front()))) {
        const auto number = ParseNumber(lhs);
        if (!number) {
            why = "bad register number '" + std::string(lhs) + "'";
            return std::nullopt;
        }
        return number;
    }
    std::string_view name = lhs;
    std::optional<unsigned> index;
    if (const auto open = lhs.find('['); open != std::string_view::npos) {
        const auto close = lhs.find(']', open);
        if (close == std::string_view::npos || close + 1 != lhs.size()) {
            why = "bad index in '" + std::string(lhs) + "'";
            return std::nullopt;
        }
        name = Trim(lhs.substr(0, open));
        const auto number = ParseNumber(Trim(lhs.substr(open + 1, close - open - 1)));
        if (!number || *number >= reg::NodeSlots) {
            why = "index of '" + std::string(name) + "' must be 0..31";
            return std::nullopt;
        }
        index = *number;
    }
    for (const auto& entry : kNames) {
        if (entry.name != name)
            continue;
        if (entry.indexed != index.has_value()) {
            why = std::string(name) + (entry.indexed
                                           ? " needs an index, e.g. " + std::string(name) + "[0]"
                                           : " takes no index");
            return std::nullopt;
        }
        return static_cast<std::uint16_t>(entry.reg + index.value_or(0));
    }
    why = "unknown register name '" + std::string(name) + "'";
    return std::nullopt;
}

std::string Hex(std::uint16_t r)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string out = "0x0000";
    for (int i = 0; i < 4; ++i)
        out[5 - i] = digits[(r >> (4 * i)) & 0xF];
    return out;
}

}  // namespace

TConfig ParseConfig(std::istream& in, const std::string& source)
{
    TConfig config;
    std::string raw;
    unsigned lineNo = 0;
    auto fail = [&](const std::string& what) {
        config.entries.clear();
        config.error = source + ":" + std::to_string(lineNo) + ": " + what;
        return config;
    };
    while (std::getline(in, raw)) {
        ++lineNo;
        std::string_view line = raw;
        if (const auto hash = line.find('#'); hash != std::string_view::npos)
            line = line.substr(0, hash);
        line = Trim(line);
        if (line.empty())
            continue;
        const auto eq = line.find('=');
        if (eq == std::string_view::npos)
            return fail("expected REGISTER = VALUE");
        const std::string_view lhs = Trim(line.substr(0, eq));
        if (lhs.empty())
            return fail("register missing before '='");
        std::string why;
        const auto first = ResolveRegister(lhs, why);
        if (!first)
            return fail(why);

        std::istringstream values{std::string(line.substr(eq + 1))};
        std::string token;
        unsigned r = *first;
        bool any = false;
        while (values >> token) {
            const auto value = ParseNumber(token);
            if (!value)
                return fail("bad value '" + token + "' (0..65535, decimal or 0x hex)");
            if (r > 0xFFFF)
                return fail("values run past the last register");
            const auto reg16 = static_cast<std::uint16_t>(r);
            if (const std::string problem = TModbusSlave::CheckSetting(reg16, *value);
                !problem.empty())
                return fail("register " + Hex(reg16) + ": " + problem);
            config.entries.push_back({reg16, *value, lineNo});
            ++r;
            any = true;
        }
        if (!any)
            return fail("value missing after '='");
    }
    return config;
}

TConfig LoadConfigFile(const std::string& path)
{
    std::ifstream file(path);
    if (!file) {
        TConfig config;
        config.error = path + ": cannot open the file";
        return config;
    }
    return ParseConfig(file, path);
}

void ApplyConfig(const TConfig& config, TModbusSlave& device)
{
    for (const auto& entry : config.entries)
        device.Set(entry.reg, entry.value);
}

}  // namespace imconf::sim
