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

void TraceRequest(TMemo& memo, const std::uint8_t* frame, std::size_t length)
{
    memo.SetFontColor(colors::Blue);
    memo.Lines.Clear();
    for (auto& line : HexTraceLines(kTxPrefix, frame, length))
        memo.Lines.Add(std::move(line));
    memo.Lines.Add(std::string(kRxPlaceholder));
}

void TraceReplyBytes(TMemo& memo, const std::uint8_t* reply, std::size_t length)
{
    if (!memo.Lines.Empty())
        memo.Lines.Delete(memo.Lines.Count() - 1);
    for (auto& line : HexTraceLines(kRxPrefix, reply, length))
        memo.Lines.Add(std::move(line));
}

}  // namespace imconf
