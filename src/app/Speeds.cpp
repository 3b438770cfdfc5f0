#include "app/Speeds.h"

#include <array>

namespace imconf {

namespace {

constexpr std::array<const char*, kSpeedCount> kSpeedTexts{"1200",  "2400",  "4800",  "9600",
                                                           "14400", "19200", "38400", "57600"};
constexpr std::array<TBaudRate, kSpeedCount> kSpeedRates{
    TBaudRate::br1200,  TBaudRate::br2400,  TBaudRate::br4800,  TBaudRate::br9600,
    TBaudRate::br14400, TBaudRate::br19200, TBaudRate::br38400, TBaudRate::br57600};

}  // namespace

const char* SpeedText(std::uint8_t baudIndex)
{
    return baudIndex < kSpeedCount ? kSpeedTexts[baudIndex] : nullptr;
}

std::string SpeedName(std::uint8_t baudIndex)
{
    return SpeedText(baudIndex < kSpeedCount ? baudIndex : kDefaultBaudIndex);
}

TBaudRate BaudRateOfIndex(std::uint8_t baudIndex)
{
    return baudIndex < kSpeedCount ? kSpeedRates[baudIndex] : TBaudRate::br9600;
}

}  // namespace imconf
