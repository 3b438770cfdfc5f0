#include "app/StatusPanel.h"

#include "modbus/Text.h"

namespace imconf {

std::string DevicePanelText(std::uint8_t address, const std::string& speed, DeviceLetter letter,
                            AddressDigits digits, PanelEnd end)
{
    std::string text = letter == DeviceLetter::Latin ? "DEVICE : A = " : "DEVICE : А = ";
    text +=
        digits == AddressDigits::Padded ? FormatZeroPadded(address, 3) : std::to_string(address);
    text += "; Baud = " + speed;
    if (end == PanelEnd::Semicolon)
        text += ';';
    return text;
}

}  // namespace imconf
