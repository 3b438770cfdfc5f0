#include "app/Report.h"

#include "app/TabTexts.h"

#include <cstddef>
#include <string_view>
#include <vector>

namespace imconf {

namespace {

constexpr std::size_t kLinkRows = 8;
constexpr const char* kUnknown = "—";

struct ModuleLine {
    std::string Address;
    std::string Speed;
    std::string Port;
    std::string Time;
};

ModuleLine Module(const LoadedConfig& config)
{
    if (!config.Origin)
        return {kUnknown, kUnknown, kUnknown, kUnknown};
    const ReadOrigin& o = *config.Origin;
    return {o.Address != 0 ? std::to_string(o.Address) : kUnknown,
            o.Baud != 0 ? std::to_string(o.Baud) : kUnknown, o.Port.empty() ? kUnknown : o.Port,
            o.Time.empty() ? kUnknown : o.Time};
}

// One row of the master tab: the node's cells on its first zone's row.
struct ZoneRow {
    int Node = 0;
    bool First = false;
    int Zones = 0;  // rows the node spans (at least 1)
    std::string Position, Type, Address, Zone, Indicator;
};

std::vector<ZoneRow> MasterRows(const ConfigModel& model)
{
    std::vector<ZoneRow> rows;
    for (int i = 0; i < model.NodeCount && i < static_cast<int>(kMaxNodes); ++i) {
        const NodeRecord& node = model.NodeTable[static_cast<std::size_t>(i)];
        const int zones = tabtexts::ZoneCount(node.TypeCode);
        const std::string type = tabtexts::NodeType(node.TypeCode).value_or("");
        for (int k = 0; k < std::max(zones, 1); ++k) {
            ZoneRow row{i,
                        k == 0,
                        std::max(zones, 1),
                        tabtexts::NodePosition(i),
                        type,
                        tabtexts::NodeAddress(node.Address),
                        "",
                        ""};
            if (k < zones) {
                const TLoopSlot& slot = node.Loops[static_cast<std::size_t>(k)];
                row.Zone = tabtexts::ZoneName(slot);
                row.Indicator = tabtexts::ZoneIndicator(slot);
            }
            rows.push_back(std::move(row));
        }
    }
    return rows;
}

std::string Html(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (const char ch : text) {
        switch (ch) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += ch;
        }
    }
    return out;
}

std::string Csv(std::string_view text)
{
    if (text.find_first_of(",\"\r\n") == std::string_view::npos)
        return std::string(text);
    std::string out = "\"";
    for (const char ch : text)
        out += ch == '"' ? std::string("\"\"") : std::string(1, ch);
    return out + "\"";
}

constexpr const char* kStyle = R"(
@page { size: A4; margin: 14mm 14mm 16mm 14mm; }
html { -webkit-print-color-adjust: exact; print-color-adjust: exact; }
body { font-family: "DejaVu Sans", "Liberation Sans", Arial, sans-serif; font-size: 9.5pt;
       color: #000; margin: 0; }
@media screen { body { width: 182mm; margin: 8mm auto; } }
h1 { font-size: 14pt; margin: 0 0 1mm; }
p.file { margin: 0 0 4mm; color: #333; }
h2 { font-size: 11pt; margin: 5mm 0 2mm; }
table { border-collapse: collapse; }
th, td { border: 0.25mm solid #555; padding: 0.5mm 2mm; text-align: center; vertical-align: top; }
th { background: #b6bdd2; font-weight: bold; }
td.text { text-align: left; white-space: pre; }
table.module th { text-align: left; width: 38mm; }
table.module td { text-align: left; min-width: 60mm; }
table.links td.gap, table.links th.gap { border: none; background: none; width: 3mm; }
tr, table.module, table.links { break-inside: avoid; }
thead { display: table-header-group; }
div.sign { margin-top: 9mm; break-inside: avoid; }
div.sign span { display: inline-block; width: 54mm; border-top: 0.25mm solid #000;
                margin-right: 4mm; padding-top: 1mm; font-size: 8pt; color: #333; }
)";

}  // namespace

std::string ReportHtml(const LoadedConfig& config, const std::string& fileName)
{
    const ModuleLine m = Module(config);
    const ConfigModel& model = config.Model;
    std::string page;
    page.reserve(16384);
    page += "<!DOCTYPE html>\n<html lang=\"ru\">\n<head>\n<meta charset=\"utf-8\">\n";
    page += "<title>Indication module configuration: " + Html(fileName) + "</title>\n";
    page += "<style>" + std::string(kStyle) + "</style>\n</head>\n<body>\n";
    page += "<h1>Indication module configuration</h1>\n";
    page += "<p class=\"file\">" + Html(fileName) + "</p>\n";

    page += "<table class=\"module\">\n";
    const auto moduleRow = [&page](const char* name, const std::string& value) {
        page += "<tr><th>" + std::string(name) + "</th><td>" + Html(value) + "</td></tr>\n";
    };
    moduleRow("Module address", m.Address);
    moduleRow("Speed, baud", m.Speed);
    moduleRow("Port", m.Port);
    moduleRow("Read", m.Time);
    std::size_t zones = 0;
    for (int i = 0; i < model.NodeCount && i < static_cast<int>(kMaxNodes); ++i)
        zones += static_cast<std::size_t>(std::max(
            0, tabtexts::ZoneCount(model.NodeTable[static_cast<std::size_t>(i)].TypeCode)));
    moduleRow("Nodes",
              std::to_string(model.NodeCount) + " nodes, " + std::to_string(zones) + " zones");
    page += "</table>\n";

    page += "<h2>РЕЖИМ &lt;MASTER&gt;</h2>\n<table class=\"nodes\">\n<thead><tr><th></th><th>" +
            std::string(tabtexts::kNodeType) + "</th><th>" + tabtexts::kNodeAddress + "</th><th>" +
            tabtexts::kZoneName + "</th><th>" + tabtexts::kIndicator +
            "</th></tr></thead>\n<tbody>\n";
    const auto rows = MasterRows(model);
    if (rows.empty())
        page += "<tr><td colspan=\"5\">no nodes</td></tr>\n";
    for (const ZoneRow& row : rows) {
        page += "<tr>";
        if (row.First) {
            const std::string span =
                row.Zones > 1 ? " rowspan=\"" + std::to_string(row.Zones) + "\"" : "";
            page += "<td" + span + ">" + Html(row.Position) + "</td><td class=\"text\"" + span +
                    ">" + Html(row.Type) + "</td><td" + span + ">" + Html(row.Address) + "</td>";
        }
        page += "<td class=\"text\">" + Html(row.Zone) + "</td><td>" + Html(row.Indicator) +
                "</td></tr>\n";
    }
    page += "</tbody>\n</table>\n";

    page += "<h2>РЕЖИМ &lt;SLAVE&gt;</h2>\n<table class=\"links\">\n<thead><tr>";
    for (std::size_t group = 0; group < kIndicatorCount / kLinkRows; ++group)
        page += std::string(group == 0 ? "" : "<th class=\"gap\"></th>") + "<th>" +
                tabtexts::kIndicator + "</th><th>" + tabtexts::kLinkZone + "</th>";
    page += "</tr></thead>\n<tbody>\n";
    for (std::size_t row = 0; row < kLinkRows; ++row) {
        page += "<tr>";
        for (std::size_t group = 0; group < kIndicatorCount / kLinkRows; ++group) {
            const std::size_t i = group * kLinkRows + row;
            page += std::string(group == 0 ? "" : "<td class=\"gap\"></td>") + "<td>" +
                    tabtexts::LinkIndicator(i) + "</td><td>" +
                    Html(tabtexts::LinkText(model.LinkTable[i])) + "</td>";
        }
        page += "</tr>\n";
    }
    page += "</tbody>\n</table>\n";

    page += "<div class=\"sign\"><span>Date</span><span>Name</span><span>Signature</span></div>\n";
    page += "</body>\n</html>\n";
    return page;
}

std::string ReportCsv(const LoadedConfig& config, const std::string& fileName)
{
    const ModuleLine m = Module(config);
    std::string text = "record,file,address,speed,port,read\r\n";
    text += "module," + Csv(fileName) + "," + Csv(m.Address) + "," + Csv(m.Speed) + "," +
            Csv(m.Port) + "," + Csv(m.Time) + "\r\n";
    text += std::string("record,position,") + tabtexts::kNodeType + "," + tabtexts::kNodeAddress +
            "," + tabtexts::kZoneName + "," + tabtexts::kIndicator + "\r\n";
    for (const ZoneRow& row : MasterRows(config.Model))
        text += "node," + Csv(row.Position) + "," + Csv(row.Type) + "," + Csv(row.Address) + "," +
                Csv(row.Zone) + "," + Csv(row.Indicator) + "\r\n";
    text += std::string("record,") + tabtexts::kIndicator + "," + tabtexts::kLinkZone + "\r\n";
    for (std::size_t i = 0; i < kIndicatorCount; ++i)
        text += "link," + tabtexts::LinkIndicator(i) + "," +
                Csv(tabtexts::LinkText(config.Model.LinkTable[i])) + "\r\n";
    return text;
}

}  // namespace imconf
