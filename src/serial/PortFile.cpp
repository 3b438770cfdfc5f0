#include "serial/PortFile.h"

#include "runtime/FileErrors.h"
#include "runtime/TextEncoding.h"
#include "runtime/UniqueFd.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>

namespace imconf {

namespace {

constexpr std::size_t kReadChunk = 16 * 1024;
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

bool IsControl(unsigned char c)
{
    return (c < 0x20 && c != '\t') || c == 0x7F;
}

// Replaces the control characters of a UTF-8 (or ASCII) text.
std::string ReplaceControls(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (const char ch : text) {
        if (IsControl(static_cast<unsigned char>(ch)))
            out += kReplacement;
        else
            out += ch;
    }
    return out;
}

// A line cut at the length limit may end inside a multi-byte sequence; this drops such a
// trailing fragment (at most three bytes that a lead byte starts but does not complete).
std::string_view DropIncompleteTail(std::string_view bytes)
{
    const std::size_t n = bytes.size();
    for (std::size_t back = 1; back <= 3 && back <= n; ++back) {
        const auto c = static_cast<unsigned char>(bytes[n - back]);
        if ((c & 0xC0) == 0x80)
            continue;  // continuation byte: keep looking for the lead byte
        std::size_t need = 0;
        if ((c & 0xE0) == 0xC0)
            need = 2;
        else if ((c & 0xF0) == 0xE0)
            need = 3;
        else if ((c & 0xF8) == 0xF0)
            need = 4;
        if (need > back)
            return bytes.substr(0, n - back);
        return bytes;
    }
    return bytes;
}

std::string DecodeCutLine(std::string_view bytes, bool cut)
{
    if (cut) {
        const std::string_view trimmed = DropIncompleteTail(bytes);
        if (trimmed.size() != bytes.size() && IsValidUtf8(trimmed))
            return ReplaceControls(trimmed);
    }
    return DecodePortFileLine(bytes);
}

// Splits the file's bytes into lines, keeping at most `maxLines` of at most
// kMaxPortFileLineBytes bytes each.
class LineSplitter {
public:
    LineSplitter(std::vector<std::string>& lines, std::size_t maxLines)
        : lines_(lines),
          maxLines_(maxLines)
    {
    }

    bool Full() const { return lines_.size() >= maxLines_; }

    void Feed(std::string_view bytes)
    {
        if (!bomChecked_) {
            // The first bytes of the file may be a byte order mark; hold them until it is known.
            const std::size_t take = std::min(kUtf8Bom.size() - head_.size(), bytes.size());
            head_.append(bytes.substr(0, take));
            bytes.remove_prefix(take);
            if (head_.size() < kUtf8Bom.size())
                return;
            ReleaseHead();
        }
        Process(bytes);
    }

    // End of file: a last line without a line end counts.
    void Finish()
    {
        if (!bomChecked_)
            ReleaseHead();
        if (!current_.empty() && !Full())
            EndLine();
    }

private:
    void ReleaseHead()
    {
        bomChecked_ = true;
        if (head_ != kUtf8Bom)
            Process(head_);
        head_.clear();
    }

    void Process(std::string_view bytes)
    {
        for (std::size_t i = 0; i < bytes.size() && !Full(); ++i) {
            const char ch = bytes[i];
            if (afterCr_) {
                afterCr_ = false;
                if (ch == '\n')
                    continue;  // the LF of a CRLF
            }
            if (ch == '\n') {
                EndLine();
            } else if (ch == '\r') {
                EndLine();
                afterCr_ = true;
            } else {
                Take(ch);
            }
        }
    }

    void Take(char ch)
    {
        if (current_.size() < kMaxPortFileLineBytes)
            current_ += ch;
        else
            cut_ = true;
    }

    void EndLine()
    {
        lines_.push_back(DecodeCutLine(current_, cut_));
        current_.clear();
        cut_ = false;
    }

    std::vector<std::string>& lines_;
    const std::size_t maxLines_;
    std::string current_;
    bool cut_ = false;
    bool afterCr_ = false;
    bool bomChecked_ = false;
    std::string head_;
};

}  // namespace

std::string DecodePortFileLine(std::string_view bytes)
{
    if (IsValidUtf8(bytes))
        return ReplaceControls(bytes);
    return ReplaceControls(Cp1251ToUtf8(bytes));
}

PortFileResult ReadPortFile(const std::string& path, std::size_t maxLines)
{
    PortFileResult result;

    // Only a regular file is opened at all, without blocking (runtime/FileAccess.h).
    files::FileHandle file = files::kNoFile;
    if (const int error = files::OpenForReading(path, file)) {
        result.error = FileErrorText(error);
        return result;
    }
    const UniqueFd fd(file);

    LineSplitter splitter(result.lines, maxLines);
    std::string chunk(kReadChunk, '\0');
    while (!splitter.Full()) {
        std::size_t got = 0;
        if (const int error = files::Read(fd.Get(), chunk.data(), chunk.size(), got)) {
            // The line being read when the error came is incomplete and is dropped.
            result.error = FileErrorText(error);
            return result;
        }
        if (got == 0) {
            splitter.Finish();
            break;
        }
        splitter.Feed(std::string_view(chunk.data(), got));
    }
    return result;
}

}  // namespace imconf
