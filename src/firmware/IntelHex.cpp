#include "firmware/IntelHex.h"

#include <algorithm>
#include <cstdio>

namespace imconf {

namespace {

constexpr std::uint8_t kData = 0x00;
constexpr std::uint8_t kEndOfFile = 0x01;
constexpr std::uint8_t kSegmentAddress = 0x02;
constexpr std::uint8_t kLinearAddress = 0x04;
constexpr std::size_t kRecordOverhead = 5;  // length, address high and low, type, checksum

bool IsBlank(std::uint8_t c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

int HexDigit(std::uint8_t c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// The text's lines without their line ends and trailing blanks.
std::vector<std::span<const std::uint8_t>> Lines(std::span<const std::uint8_t> text)
{
    std::vector<std::span<const std::uint8_t>> lines;
    std::size_t start = 0;
    while (start <= text.size()) {
        const auto end = std::find(text.begin() + static_cast<std::ptrdiff_t>(start), text.end(),
                                   std::uint8_t{'\n'});
        std::size_t stop = static_cast<std::size_t>(end - text.begin());
        const std::size_t next = stop + 1;
        while (stop > start && IsBlank(text[stop - 1]))
            --stop;
        lines.push_back(text.subspan(start, stop - start));
        start = next;
    }
    return lines;
}

// The record's bytes from the hexadecimal digits after ':'; nothing when the line is no record.
std::optional<std::vector<std::uint8_t>> RecordBytes(std::span<const std::uint8_t> line)
{
    if (line.empty() || line[0] != ':' || (line.size() - 1) % 2 != 0)
        return std::nullopt;
    std::vector<std::uint8_t> bytes;
    bytes.reserve((line.size() - 1) / 2);
    for (std::size_t i = 1; i + 1 < line.size(); i += 2) {
        const int high = HexDigit(line[i]);
        const int low = HexDigit(line[i + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
    }
    if (bytes.size() < kRecordOverhead || bytes.size() != kRecordOverhead + bytes[0])
        return std::nullopt;
    return bytes;
}

HexImage Refused(HexFault fault, std::size_t line, std::uint32_t address = 0,
                 std::uint8_t value = 0, std::uint8_t expected = 0)
{
    return {{}, HexError{fault, line, address, value, expected}};
}

std::string Hex(std::uint32_t value, int digits)
{
    char text[16];
    std::snprintf(text, sizeof text, "%0*X", digits, static_cast<unsigned>(value));
    return text;
}

}  // namespace

bool IsTextFile(std::span<const std::uint8_t> bytes)
{
    bool lineEnd = false;
    for (const std::uint8_t c : bytes) {
        if (c == '\n' || c == '\r')
            lineEnd = true;
        else if (c != '\t' && (c < 0x20 || c == 0x7F))
            return false;
    }
    return lineEnd;
}

bool LooksLikeIntelHex(std::span<const std::uint8_t> text)
{
    const auto first = std::find_if(text.begin(), text.end(),
                                    [](std::uint8_t c) { return !IsBlank(c) && c != '\n'; });
    return first != text.end() && *first == ':';
}

HexImage ReadIntelHex(std::span<const std::uint8_t> text, std::size_t memorySize)
{
    std::vector<std::uint8_t> memory(memorySize, kHexGapFill);
    std::vector<bool> given(memorySize, false);
    std::size_t used = 0;  // one past the highest address given
    std::uint32_t base = 0;
    std::optional<std::size_t> endLine;

    const auto lines = Lines(text);
    for (std::size_t n = 0; n < lines.size(); ++n) {
        const std::size_t lineNumber = n + 1;
        if (lines[n].empty())
            continue;
        if (endLine)
            return Refused(HexFault::AfterEnd, lineNumber);
        const auto record = RecordBytes(lines[n]);
        if (!record)
            return Refused(HexFault::BadLine, lineNumber);
        const std::vector<std::uint8_t>& r = *record;
        std::uint8_t sum = 0;
        for (std::size_t i = 0; i + 1 < r.size(); ++i)
            sum = static_cast<std::uint8_t>(sum + r[i]);
        const auto expected = static_cast<std::uint8_t>(0x100 - sum);
        if (r.back() != expected)
            return Refused(HexFault::BadChecksum, lineNumber, 0, r.back(), expected);

        const std::uint8_t length = r[0];
        const std::uint32_t offset = static_cast<std::uint32_t>(r[1] << 8 | r[2]);
        const std::uint8_t type = r[3];
        const std::uint8_t* data = r.data() + 4;
        switch (type) {
        case kData:
            for (std::uint32_t i = 0; i < length; ++i) {
                // 64 bits: a linear base near 4 GiB plus the offset must not wrap into range.
                const std::uint64_t wide = std::uint64_t{base} + offset + i;
                if (wide >= memorySize)
                    return Refused(
                        HexFault::OutOfRange, lineNumber,
                        static_cast<std::uint32_t>(std::min<std::uint64_t>(wide, UINT32_MAX)));
                const auto address = static_cast<std::size_t>(wide);
                if (given[address])
                    return Refused(HexFault::GivenTwice, lineNumber, address);
                given[address] = true;
                memory[address] = data[i];
                used = std::max(used, address + 1);
            }
            break;
        case kEndOfFile:
            if (length != 0)
                return Refused(HexFault::BadLength, lineNumber);
            endLine = lineNumber;
            break;
        case kSegmentAddress:
        case kLinearAddress:
            if (length != 2)
                return Refused(HexFault::BadLength, lineNumber);
            base = static_cast<std::uint32_t>(data[0] << 8 | data[1])
                   << (type == kLinearAddress ? 16 : 4);
            break;
        default: return Refused(HexFault::UnknownRecord, lineNumber, 0, type);
        }
    }
    if (!endLine)
        return Refused(HexFault::NoEnd, 0);
    if (used == 0)
        return Refused(HexFault::NoData, 0);
    memory.resize(used);
    return {std::move(memory), std::nullopt};
}

std::string DescribeHexError(const HexError& error, std::size_t memorySize)
{
    const std::string line = "line " + std::to_string(error.Line) + ": ";
    switch (error.Fault) {
    case HexFault::BadLine:
        return line + "not an Intel HEX record (':' and pairs of hexadecimal digits, as many as "
                      "its length byte says)";
    case HexFault::BadChecksum:
        return line + "checksum " + Hex(error.Value, 2) + ", the record's bytes give " +
               Hex(error.Expected, 2);
    case HexFault::UnknownRecord:
        return line + "record type " + Hex(error.Value, 2) + " is not one of 00, 01, 02, 04";
    case HexFault::BadLength: return line + "an end-of-file or address record of the wrong length";
    case HexFault::OutOfRange:
        return line + "address " + Hex(error.Address, 4) + " is past the end of the memory (" +
               std::to_string(memorySize) + " bytes)";
    case HexFault::GivenTwice:
        return line + "address " + Hex(error.Address, 4) + " was given by an earlier record";
    case HexFault::AfterEnd: return line + "a record after the end-of-file record";
    case HexFault::NoEnd: return "no end-of-file record (:00000001FF): the file is cut short";
    case HexFault::NoData: return "no data record: the file describes no byte";
    }
    return "not Intel HEX";
}

}  // namespace imconf
