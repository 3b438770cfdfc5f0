#pragma once
// Where port names lead on this machine.
//
// A port name without a slash names a device in /dev ("ttyUSB0" -> "/dev/ttyUSB0"). Virtual
// ports (a simulator on a pseudo-terminal, a serial-over-network bridge) never appear in
// /dev under a stable name, so a program that serves one announces it as a symbolic link in
// a per-user folder; a bare name that /dev does not have resolves to that link.

#include <string>

namespace imconf {

// $XDG_RUNTIME_DIR/imconf/ports, or /tmp/imconf-<uid>/ports when the variable is unset or empty.
std::string AnnouncedPortsDir();

// Creates the folder (and its parents) with mode 0700 when missing. Returns false on failure.
bool EnsureAnnouncedPortsDir();

// The path that the serial component opens for `name`.
std::string ResolvePortPath(const std::string& name);

}  // namespace imconf
