#pragma once
// Text encodings met in names and files from outside: UTF-8 as it must be, and the Cyrillic
// code page Windows-1251 that older files are written in.

#include <string>
#include <string_view>

namespace imconf {

// Strict UTF-8 check: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsValidUtf8(std::string_view bytes);

// Windows-1251 to UTF-8; the one unassigned byte (0x98) becomes U+FFFD.
std::string Cp1251ToUtf8(std::string_view bytes);

}  // namespace imconf
