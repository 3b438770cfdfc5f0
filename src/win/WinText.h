#pragma once
// Text at the boundary of the Windows API: UTF-8 inside the tool, UTF-16 for the W functions.

#include <string>
#include <string_view>

namespace imconf::win {

std::wstring Widen(std::string_view text);
std::string Narrow(std::wstring_view text);
// Lines joined as an edit control shows them ("\r\n").
std::wstring WidenLines(std::string_view text);

}  // namespace imconf::win
