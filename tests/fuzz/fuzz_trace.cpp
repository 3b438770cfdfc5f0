// The hexadecimal trace of requests and replies: arbitrary frames of arbitrary lengths.
// The lines must hold every byte once, in order, 21 a line, and the pane must end up with
// the request's lines, the reply's lines in place of the placeholder, and nothing else.

#include "FuzzCheck.h"

#include "app/MemoTrace.h"
#include "modbus/Text.h"
#include "modbus/Trace.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

using namespace imconf;

namespace {

// Reads the bytes back from trace lines; checks the prefixes and the layout on the way.
std::vector<std::uint8_t> ParseLines(const std::vector<std::string>& lines, std::string_view prefix)
{
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view head = i == 0 ? prefix : kTraceContinuation;
        const std::string& line = lines[i];
        FUZZ_CHECK(line.compare(0, head.size(), head) == 0);
        const std::string_view body = std::string_view(line).substr(head.size());
        FUZZ_CHECK(body.size() % 3 == 0);
        FUZZ_CHECK(body.size() / 3 <= kTraceBytesPerLine);
        // Every line but the last is full.
        if (i + 1 < lines.size())
            FUZZ_CHECK(body.size() / 3 == kTraceBytesPerLine);
        for (std::size_t at = 0; at < body.size(); at += 3) {
            FUZZ_CHECK(body[at + 2] == ' ');
            const std::string pair(body.substr(at, 2));
            std::size_t used = 0;
            const unsigned long value = std::stoul(pair, &used, 16);
            FUZZ_CHECK(used == 2);
            FUZZ_CHECK(ByteToHex(static_cast<std::uint8_t>(value)) == pair);
            bytes.push_back(static_cast<std::uint8_t>(value));
        }
    }
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    // First byte: where the request ends and the reply begins (scaled to the input).
    const std::size_t rest = size - 1;
    const std::size_t split = rest == 0 ? 0 : (static_cast<std::size_t>(data[0]) * rest) / 255;
    const std::uint8_t* request = data + 1;
    const std::uint8_t* reply = data + 1 + split;
    const std::size_t requestLength = split;
    const std::size_t replyLength = rest - split;

    const auto txLines = HexTraceLines(kTxPrefix, request, requestLength);
    FUZZ_CHECK(!txLines.empty());
    FUZZ_CHECK(
        txLines.size() ==
        (requestLength == 0 ? 1 : (requestLength + kTraceBytesPerLine - 1) / kTraceBytesPerLine));
    const auto txBack = ParseLines(txLines, kTxPrefix);
    FUZZ_CHECK(txBack == std::vector<std::uint8_t>(request, request + requestLength));

    const auto rxLines = HexTraceLines(kRxPrefix, reply, replyLength);
    const auto rxBack = ParseLines(rxLines, kRxPrefix);
    FUZZ_CHECK(rxBack == std::vector<std::uint8_t>(reply, reply + replyLength));

    // The pane: the request with its placeholder, then the reply over the placeholder.
    TMemo memo("TeMemo1");
    MemoTrace pane(memo);
    memo.Lines.Add("an older line");
    pane.ShowRequest(RequestTraceLines(request, requestLength));
    FUZZ_CHECK(memo.Lines.Count() == txLines.size() + 1);
    FUZZ_CHECK(memo.Lines.Last() == kRxPlaceholder);
    pane.ShowReply(ReplyTraceLines(reply, replyLength));
    FUZZ_CHECK(memo.Lines.Count() == txLines.size() + rxLines.size());
    for (std::size_t i = 0; i < txLines.size(); ++i)
        FUZZ_CHECK(memo.Lines[i] == txLines[i]);
    for (std::size_t i = 0; i < rxLines.size(); ++i)
        FUZZ_CHECK(memo.Lines[txLines.size() + i] == rxLines[i]);

    // A reply traced into an empty pane (nothing to replace) only adds its lines.
    TMemo empty("TeMemo1");
    MemoTrace emptyPane(empty);
    emptyPane.ShowReply(ReplyTraceLines(reply, replyLength));
    FUZZ_CHECK(empty.Lines.Count() == rxLines.size());
    return 0;
}
