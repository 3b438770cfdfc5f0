#pragma once
// The user's list of network ports: a text file "network-ports.txt" in the user's
// configuration folder ($XDG_CONFIG_HOME/imconf/ on Linux, with ~/.config when the variable
// is unset; %APPDATA%\imconf\ on Windows). The "Port" menu lists its entries after the serial
// ports.
//
// One network port name a line ("tcp://HOST:PORT", optionally "?latency=MS"). Blanks around a
// name are dropped; empty lines and lines whose first non-blank character is '#' are
// comments. A line that is not a well-formed network port name is left out (the menu shows
// only names it can open), as is a name already listed. At most kMaxNetworkPorts entries.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace imconf {

inline constexpr std::size_t kMaxNetworkPorts = 32;
inline constexpr const char* kNetworkPortsFileName = "network-ports.txt";

// The entries of the file's lines, in file order.
std::vector<std::string> NetworkPortsFromLines(const std::vector<std::string>& lines);

// Reads the file at `path`; a missing or unreadable file has no entries (it is optional).
std::vector<std::string> ReadNetworkPortsFile(const std::string& path);

// The file's path in this user's configuration folder; empty when the system names no such
// folder (no variable set).
std::string UserNetworkPortsFile();

}  // namespace imconf
