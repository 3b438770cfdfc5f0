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

// Why the announced folder `dir` must not be used: it or the folder it is in (/tmp/imconf-<uid>
// in the shared /tmp) is a symbolic link, no folder, not this user's, or writable by group or
// others, so another local user may have made it and put a port of theirs in it. Empty when
// both may be used or do not exist.
std::string AnnouncedDirProblem(const std::string& dir);

// Whether the announced ports in `dir` may be used; when not, says so on standard error
// ("imconf: ignoring <folder>: <why>"), once for as long as the reason stays the same.
bool UseAnnouncedDir(const std::string& dir);

// Creates the folder (and its parents) with mode 0700 when missing. Returns what keeps it from
// being used (AnnouncedDirProblem, or that it could not be made), empty when it can be used.
std::string EnsureAnnouncedPortsDir();

// The path that the serial component opens for `name`.
std::string ResolvePortPath(const std::string& name);

}  // namespace imconf
