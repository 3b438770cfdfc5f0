#pragma once
// A configuration as a report for the commissioning papers: a self-contained HTML page (no
// script, no link to anything, its styles in the page) that prints on A4 in one or two pages,
// or the same tables as CSV. The texts are those the window's two tabs show (TabTexts).

#include "config/ConfigFile.h"

#include <string>

namespace imconf {

// `fileName`: the configuration file's name, for the page's heading.
std::string ReportHtml(const LoadedConfig& config, const std::string& fileName);

// One record a line (RFC 4180, UTF-8): "module" with the address, speed, port and read time,
// "node" for each zone of each node, "link" for each of the 24 entries; each kind after a
// header record of its own.
std::string ReportCsv(const LoadedConfig& config, const std::string& fileName);

}  // namespace imconf
