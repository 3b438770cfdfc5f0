#pragma once
// The small icons of the window's buttons, by TButton::Icon name ("read", "write", "block",
// "sound-off"), drawn at the given size; nullptr for unknown names.

#include <windows.h>

#include <string>

namespace imconf::win {

HICON MakeButtonIcon(const std::string& name, int size);

}  // namespace imconf::win
