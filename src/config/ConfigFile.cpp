#include "config/ConfigFile.h"

#include "runtime/TextFiles.h"
#include "config/Catalogue.h"
#include "modbus/Text.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <cstdio>
#include <set>
#include <sstream>

namespace imconf {

using Json = nlohmann::ordered_json;

namespace {

constexpr int kMaxAddress = 247;

std::string Hex4(std::uint16_t value)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(value));
    return text;
}

// The node list's type text without its padding.
std::string TypeText(std::uint8_t type)
{
    const auto text = NodeGridText(type);
    if (!text)
        return "?";
    std::string_view t = *text;
    while (!t.empty() && t.front() == ' ')
        t.remove_prefix(1);
    while (!t.empty() && t.back() == ' ')
        t.remove_suffix(1);
    return std::string(t);
}

std::string KnownTypes()
{
    std::string list;
    for (const TDeviceType& type : kDeviceCatalogue)
        list += (list.empty() ? "" : ", ") + std::to_string(type.Code);
    return list;
}

// The speeds of the module (its speed register's codes 1 to 8).
bool IsSpeed(unsigned baud)
{
    for (const unsigned speed : {1200u, 2400u, 4800u, 9600u, 14400u, 19200u, 38400u, 57600u})
        if (speed == baud)
            return true;
    return false;
}

struct BadField {
    std::string text;
};

[[noreturn]] void Refuse(const std::string& field, const std::string& reason)
{
    throw BadField{field + ": " + reason};
}

// A number from a JSON number or from a text in decimal or 0x hex, within lo..hi.
long Number(const Json& value, const std::string& field, long lo, long hi)
{
    long n = 0;
    if (value.is_number_integer()) {
        n = value.get<long>();
    } else if (value.is_string()) {
        const std::string& text = value.get_ref<const std::string&>();
        std::string_view digits = text;
        int base = 10;
        if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
            digits.remove_prefix(2);
            base = 16;
        }
        const auto [end, ec] =
            std::from_chars(digits.data(), digits.data() + digits.size(), n, base);
        if (digits.empty() || ec != std::errc{} || end != digits.data() + digits.size())
            Refuse(field, "'" + text + "' is no number");
    } else {
        Refuse(field, "must be a number, not " + std::string(value.type_name()));
    }
    if (n < lo || n > hi)
        Refuse(field,
               std::to_string(n) + " is not in " + std::to_string(lo) + ".." + std::to_string(hi));
    return n;
}

const Json& Member(const Json& object, const char* key, const std::string& field)
{
    const auto it = object.find(key);
    if (it == object.end())
        Refuse(field, std::string("\"") + key + "\" is missing");
    return *it;
}

void OnlyKeys(const Json& object, const std::set<std::string>& keys, const std::string& field)
{
    if (!object.is_object())
        Refuse(field, "must be an object, not " + std::string(object.type_name()));
    for (const auto& item : object.items())
        if (!keys.contains(item.key()))
            Refuse(field, "unknown field \"" + item.key() + "\"");
}

void ParseDocument(const Json& doc, LoadedConfig& loaded)
{
    OnlyKeys(doc, {"format", "version", "read", "links", "nodes"}, "file");
    const Json& format = Member(doc, "format", "format");
    if (!format.is_string() || format.get<std::string>() != kFormatName)
        Refuse("format", std::string("must be \"") + kFormatName + "\"");
    if (Number(Member(doc, "version", "version"), "version", 0, 1'000'000) != kFormatVersion)
        Refuse("version", "this program reads version " + std::to_string(kFormatVersion));

    if (const auto it = doc.find("read"); it != doc.end()) {
        OnlyKeys(*it, {"time", "port", "address", "baud"}, "read");
        ReadOrigin origin;
        if (const auto t = it->find("time"); t != it->end() && t->is_string())
            origin.Time = t->get<std::string>();
        if (const auto p = it->find("port"); p != it->end() && p->is_string())
            origin.Port = p->get<std::string>();
        if (const auto a = it->find("address"); a != it->end())
            origin.Address = static_cast<int>(Number(*a, "read.address", 1, kMaxAddress));
        if (const auto b = it->find("baud"); b != it->end()) {
            origin.Baud = static_cast<unsigned>(Number(*b, "read.baud", 0, 1'000'000));
            if (!IsSpeed(origin.Baud))
                Refuse("read.baud", std::to_string(origin.Baud) + " is no speed of the module");
        }
        loaded.Origin = origin;
    }

    const Json& links = Member(doc, "links", "links");
    if (!links.is_array() || links.size() != kIndicatorCount)
        Refuse("links", "must be a list of " + std::to_string(kIndicatorCount) + " entries");
    for (std::size_t i = 0; i < kIndicatorCount; ++i) {
        const std::string field = "links[" + std::to_string(i) + "]";
        const Json& entry = links[i];
        OnlyKeys(entry, {"indicator", "value", "text"}, field);
        if (const auto ind = entry.find("indicator");
            ind != entry.end() &&
            Number(*ind, field + ".indicator", 1, kIndicatorCount) != static_cast<long>(i + 1))
            Refuse(field + ".indicator",
                   "entry " + std::to_string(i) + " belongs to indicator " + std::to_string(i + 1));
        loaded.Config.Links[i] = static_cast<std::uint16_t>(
            Number(Member(entry, "value", field), field + ".value", 0, 0xFFFF));
    }

    const Json& nodes = Member(doc, "nodes", "nodes");
    if (!nodes.is_array())
        Refuse("nodes", "must be a list");
    if (nodes.size() > kMaxNodes)
        Refuse("nodes", std::to_string(nodes.size()) + " nodes; the module takes at most " +
                            std::to_string(kMaxNodes));
    std::size_t loops = 0;
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        const std::string field = "nodes[" + std::to_string(i) + "]";
        const Json& node = nodes[i];
        OnlyKeys(node, {"type", "name", "address"}, field);
        const auto type =
            static_cast<std::uint8_t>(Number(Member(node, "type", field), field + ".type", 0, 255));
        if (FindDeviceType(type) == nullptr)
            Refuse(field + ".type",
                   std::to_string(type) + " is no type the module knows (" + KnownTypes() + ")");
        const auto address = static_cast<std::uint8_t>(
            Number(Member(node, "address", field), field + ".address", 1, kMaxAddress));
        loops += LoopCountOf(type);
        if (loops > kIndicatorCount)
            Refuse(field, "its loops pass the " + std::to_string(kIndicatorCount) +
                              " indicators (" + std::to_string(loops) + " loops up to this node)");
        loaded.Config.Nodes.push_back({type, address});
    }
    if (const auto refused = ToModel(loaded.Config, loaded.Model))
        Refuse("nodes", *refused);
}

// "[json.exception.parse_error.101] parse error at line 3, column 5: ..." without its tag.
std::string WithoutTag(const Json::exception& error)
{
    std::string what = error.what();
    if (const auto at = what.find("] "); at != std::string::npos)
        what.erase(0, at + 2);
    return what;
}

}  // namespace

ModuleConfig FromModel(const ConfigModel& model)
{
    ModuleConfig config;
    config.Links = model.LinkTable;
    for (std::size_t i = 0; i < model.NodeCount && i < kMaxNodes; ++i)
        config.Nodes.push_back({model.NodeTable[i].TypeCode, model.NodeTable[i].Address});
    return config;
}

std::optional<std::string> ToModel(const ModuleConfig& config, ConfigModel& model)
{
    model.Reset();
    model.LinkTable = config.Links;
    for (std::size_t i = 0; i < config.Nodes.size(); ++i) {
        if (model.AddNode(config.Nodes[i].Type) != opresult::Done)
            return "node " + std::to_string(i) + " is refused: at most " +
                   std::to_string(kMaxNodes) + " nodes and " + std::to_string(kIndicatorCount) +
                   " loops";
        model.NodeTable[static_cast<std::size_t>(model.SelectedNode)].Address =
            config.Nodes[i].Address;
    }
    model.SelectedNode = 0;
    model.SelectedZone = 0;
    return std::nullopt;
}

std::string WriteConfigText(const ModuleConfig& config, const std::optional<ReadOrigin>& origin)
{
    // One entry a line, so that a person reads and edits the file line by line.
    const auto list = [](const Json& items) {
        std::string text = "[";
        for (std::size_t i = 0; i < items.size(); ++i)
            text += std::string(i == 0 ? "\n" : ",\n") + "    " + items[i].dump();
        return text + (items.empty() ? "]" : "\n  ]");
    };
    Json links = Json::array();
    for (std::size_t i = 0; i < config.Links.size(); ++i)
        links.push_back({{"indicator", i + 1},
                         {"value", Hex4(config.Links[i])},
                         {"text", LinkEntryText(config.Links[i])}});
    Json nodes = Json::array();
    for (const auto& node : config.Nodes)
        nodes.push_back(
            {{"type", node.Type}, {"name", TypeText(node.Type)}, {"address", node.Address}});

    std::string text = "{\n  \"format\": " + Json(kFormatName).dump() +
                       ",\n  \"version\": " + std::to_string(kFormatVersion) + ",\n";
    if (origin) {
        Json read{{"time", origin->Time}, {"port", origin->Port}, {"address", origin->Address}};
        if (origin->Baud != 0)
            read["baud"] = origin->Baud;
        text += "  \"read\": " + read.dump() + ",\n";
    }
    text += "  \"links\": " + list(links) + ",\n  \"nodes\": " + list(nodes) + "\n}\n";
    return text;
}

LoadedConfig ParseConfigText(const std::string& text)
{
    LoadedConfig loaded;
    try {
        ParseDocument(Json::parse(text), loaded);
    } catch (const Json::parse_error& error) {
        loaded.Error = "file: not JSON: " + WithoutTag(error);
    } catch (const Json::exception& error) {
        // Well-formed text the parser still cannot hold, such as a number past a double's range.
        loaded.Error = "file: " + WithoutTag(error);
    } catch (const BadField& bad) {
        loaded.Error = bad.text;
    }
    return loaded;
}

LoadedConfig LoadConfigFile(const std::string& path)
{
    std::string text;
    if (const auto error = ReadTextFile(path, text)) {
        LoadedConfig loaded;
        loaded.Error = "file: " + *error;
        return loaded;
    }
    return ParseConfigText(text);
}

std::vector<std::string> Differences(const ModuleConfig& left, const ModuleConfig& right,
                                     const std::string& leftName, const std::string& rightName)
{
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < left.Links.size(); ++i)
        if (left.Links[i] != right.Links[i])
            lines.push_back("links[" + std::to_string(i) + "] (indicator " + std::to_string(i + 1) +
                            "): " + leftName + " " + Hex4(left.Links[i]) + " " +
                            LinkEntryText(left.Links[i]) + ", " + rightName + " " +
                            Hex4(right.Links[i]) + " " + LinkEntryText(right.Links[i]));
    if (left.Nodes.size() != right.Nodes.size())
        lines.push_back("nodes: " + leftName + " " + std::to_string(left.Nodes.size()) + ", " +
                        rightName + " " + std::to_string(right.Nodes.size()));
    const auto describe = [](const ModuleConfig::Node& n) {
        return "type " + std::to_string(n.Type) + " " + TypeText(n.Type) + " at address " +
               std::to_string(n.Address);
    };
    for (std::size_t i = 0; i < std::max(left.Nodes.size(), right.Nodes.size()); ++i) {
        const bool inLeft = i < left.Nodes.size();
        const bool inRight = i < right.Nodes.size();
        if (inLeft && inRight && left.Nodes[i] == right.Nodes[i])
            continue;
        lines.push_back("nodes[" + std::to_string(i) + "]: " + leftName + " " +
                        (inLeft ? describe(left.Nodes[i]) : "none") + ", " + rightName + " " +
                        (inRight ? describe(right.Nodes[i]) : "none"));
    }
    return lines;
}

std::string DescribeModel(const ConfigModel& model)
{
    std::ostringstream out;
    out << "РЕЖИМ <MASTER>: " << static_cast<int>(model.NodeCount) << " nodes\n";
    for (std::size_t i = 0; i < model.NodeCount && i < kMaxNodes; ++i) {
        const NodeRecord& node = model.NodeTable[i];
        const std::uint8_t loops = LoopCountOf(node.TypeCode);
        out << "  " << FormatZeroPadded(static_cast<std::uint16_t>(i), 2) << "  type "
            << static_cast<int>(node.TypeCode) << " " << TypeText(node.TypeCode) << "  address "
            << FormatZeroPadded(node.Address, 3) << "  " << static_cast<int>(loops)
            << (loops == 1 ? " loop" : " loops") << "\n";
        for (std::size_t k = 0; k < loops && k < kLoopSlots; ++k)
            out << "        " << node.Loops[k].Label << "  № ИНД. "
                << FormatZeroPadded(static_cast<std::uint16_t>(node.Loops[k].IndicatorIndex + 1), 2)
                << "\n";
    }
    out << "РЕЖИМ <SLAVE>: № ИНД. / ЗОНА ПУИ\n";
    constexpr std::size_t kRows = 8;
    for (std::size_t row = 0; row < kRows; ++row) {
        std::string line = " ";
        for (std::size_t group = 0; group < kIndicatorCount / kRows; ++group) {
            const std::size_t i = group * kRows + row;
            std::string text = LinkEntryText(model.LinkTable[i]);
            // Columns of 10 characters (the texts are UTF-8).
            const std::size_t width = TextLength(text);
            text.append(width < 10 ? 10 - width : 0, ' ');
            line += " " + FormatZeroPadded(static_cast<std::uint16_t>(i + 1), 2) + "  " +
                    Hex4(model.LinkTable[i]) + "  " + text;
        }
        while (line.back() == ' ')
            line.pop_back();
        out << line << "\n";
    }
    return out.str();
}

}  // namespace imconf
