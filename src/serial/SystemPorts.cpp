#include "serial/SystemPorts.h"

#include <iterator>

#include "serial/PortFile.h"

namespace imconf {

namespace {

bool IsDigit(char ch)
{
    return ch >= '0' && ch <= '9';
}

// Compares two digit runs by value: leading zeros skipped, then length, then digits.
int CompareNumbers(std::string_view a, std::string_view b)
{
    const auto skipZeros = [](std::string_view s) {
        const std::size_t nz = s.find_first_not_of('0');
        return nz == std::string_view::npos ? std::string_view() : s.substr(nz);
    };
    a = skipZeros(a);
    b = skipZeros(b);
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    const int c = a.compare(b);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

}  // namespace

bool NaturalPortLess(std::string_view a, std::string_view b)
{
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            std::size_t ei = i;
            std::size_t ej = j;
            while (ei < a.size() && IsDigit(a[ei]))
                ++ei;
            while (ej < b.size() && IsDigit(b[ej]))
                ++ej;
            const int c = CompareNumbers(a.substr(i, ei - i), b.substr(j, ej - j));
            if (c != 0)
                return c < 0;
            i = ei;
            j = ej;
        } else {
            if (a[i] != b[j])
                return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
            ++i;
            ++j;
        }
    }
    if (i < a.size() || j < b.size())
        return i >= a.size();  // the shorter one, when it is a prefix of the other
    return a < b;              // equal in value (ttyS01, ttyS1): plain order decides
}

bool IsUsablePortName(std::string_view name)
{
    if (name.empty() || name == "." || name == ".." || name.size() > 255)
        return false;
    if (!IsValidUtf8(name))
        return false;
    for (const char ch : name) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7F || ch == '/')
            return false;
    }
    return true;
}

std::string UartTypeName(long type)
{
    // The numbering of the kernel's serial core.
    static constexpr const char* kNames[] = {
        "",        "8250",      "16450",    "16550",    "16550A",     "Cirrus",
        "ST16650", "ST16650V2", "TI16750",  "Startech", "16C950/954", "ST16654",
        "XR16850", "RSA",       "NS16550A", "XScale",
    };
    if (type <= 0 || type >= static_cast<long>(std::size(kNames)))
        return {};
    return kNames[type];
}

}  // namespace imconf
