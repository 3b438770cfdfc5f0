#pragma once
// Status panel 2, the module line: "DEVICE : A = 247; Baud = 9600". Its writers differ in
// three ways, each named here.

#include <cstdint>
#include <string>

namespace imconf {

enum class DeviceLetter { Latin, Cyrillic };  // "DEVICE : A = " or "DEVICE : А = "
enum class AddressDigits { Padded, Plain };   // "005" or "5"
enum class PanelEnd { Open, Semicolon };      // "Baud = 9600" or "Baud = 9600;"

std::string DevicePanelText(std::uint8_t address, const std::string& speed, DeviceLetter letter,
                            AddressDigits digits, PanelEnd end);

}  // namespace imconf
