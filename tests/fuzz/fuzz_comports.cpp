// The "comports.txt" reader on arbitrary file contents. Besides no crash: never more lines
// than asked for, every line valid UTF-8 without control characters, and the lines the same
// as a plain reference split of the bytes (LF, CRLF or CR; a leading byte order mark dropped).

#include "FuzzCheck.h"
#include "FuzzTempFile.h"

#include "serial/PortFile.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

using namespace imconf;

namespace {

std::vector<std::string> ReferenceLines(std::string_view text, std::size_t maxLines)
{
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    std::vector<std::string> lines;
    std::string current;
    for (std::size_t i = 0; i < text.size() && lines.size() < maxLines; ++i) {
        const char ch = text[i];
        if (ch == '\r' || ch == '\n') {
            lines.push_back(current);
            current.clear();
            if (ch == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            current += ch;
        }
    }
    if (!current.empty() && lines.size() < maxLines)
        lines.push_back(current);
    return lines;
}

void CheckLine(const std::string& line)
{
    FUZZ_CHECK(IsValidUtf8(line));
    for (const char ch : line) {
        const auto c = static_cast<unsigned char>(ch);
        FUZZ_CHECK(c == '\t' || (c >= 0x20 && c != 0x7F));
    }
    // At most kMaxPortFileLineBytes source bytes, each of which becomes at most three.
    FUZZ_CHECK(line.size() <= 3 * kMaxPortFileLineBytes);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string path = fuzz::ScratchFolder().Write("comports.txt", data, size);
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    for (const std::size_t maxLines : {std::size_t{10}, std::size_t{1000}}) {
        const PortFileResult result = ReadPortFile(path, maxLines);
        FUZZ_CHECK(!result.error);
        FUZZ_CHECK(result.lines.size() <= maxLines);
        const auto reference = ReferenceLines(text, maxLines);
        FUZZ_CHECK(result.lines.size() == reference.size());
        for (std::size_t i = 0; i < result.lines.size(); ++i) {
            CheckLine(result.lines[i]);
            if (reference[i].size() <= kMaxPortFileLineBytes)
                FUZZ_CHECK(result.lines[i] == DecodePortFileLine(reference[i]));
        }
    }

    // The decoders on their own, on the raw bytes.
    FUZZ_CHECK(IsValidUtf8(Cp1251ToUtf8(text)));
    if (size <= kMaxPortFileLineBytes)
        CheckLine(DecodePortFileLine(text));
    ::unlink(path.c_str());
    return 0;
}
