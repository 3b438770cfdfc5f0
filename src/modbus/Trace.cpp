#include "modbus/Trace.h"

#include "modbus/Text.h"

#include <algorithm>

namespace imconf {

std::vector<std::string> HexTraceLines(std::string_view prefix, const std::uint8_t* bytes,
                                       std::size_t length)
{
    std::vector<std::string> lines;
    std::size_t at = 0;
    do {
        std::string line(lines.empty() ? prefix : kTraceContinuation);
        const std::size_t end = std::min(length, at + kTraceBytesPerLine);
        line.reserve(line.size() + 3 * (end - at));
        for (; at < end; ++at) {
            line += ByteToHex(bytes[at]);
            line += ' ';
        }
        lines.push_back(std::move(line));
    } while (at < length);
    return lines;
}

std::vector<std::string> RequestTraceLines(const std::uint8_t* frame, std::size_t length)
{
    std::vector<std::string> lines = HexTraceLines(kTxPrefix, frame, length);
    lines.emplace_back(kRxPlaceholder);
    return lines;
}

std::vector<std::string> ReplyTraceLines(const std::uint8_t* reply, std::size_t length)
{
    return HexTraceLines(kRxPrefix, reply, length);
}

}  // namespace imconf
