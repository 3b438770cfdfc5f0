#pragma once
// The port list file "comports.txt": one port name per line, read when the machine's own
// list of serial ports cannot be read.
//
// Lines. A line ends at LF, CRLF or a lone CR; a last line without a line end counts, a final
// line end adds no empty line, an empty line in the middle is an (empty) line. A line is kept
// exactly as written (blanks and case untouched), with these exceptions:
//   - a UTF-8 byte order mark at the very start of the file is dropped (editors on Windows
//     write one, and it would otherwise end up in the first port name);
//   - a line longer than kMaxPortFileLineBytes bytes is cut to that many bytes (less an
//     incomplete UTF-8 sequence at the cut); the rest of it is skipped, not turned into
//     further lines;
//   - the text is returned as UTF-8: a line that is valid UTF-8 is kept, any other line is
//     decoded as Windows-1251 (the Cyrillic code page); the choice is made line by line;
//   - control characters other than TAB (NUL, 0x01..0x1F, DEL) are replaced by U+FFFD, so a
//     port name never carries bytes that would cut or garble it further on.
//
// Memory stays bounded whatever the file holds: at most `maxLines` lines of at most
// kMaxPortFileLineBytes bytes are kept, the file itself is read in fixed-size chunks.

#include "runtime/TextEncoding.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace imconf {

inline constexpr std::size_t kMaxPortFileLineBytes = 4096;

struct PortFileResult {
    std::vector<std::string> lines;    // UTF-8
    std::optional<std::string> error;  // the file error's text; unset when all went well
};

// Reads up to `maxLines` lines of the file at `path`.
// Errors: a missing file gives "File not found"; no permission, a directory, or anything that
// is not a regular file (FIFO, device, socket) gives "File access denied"; any other failure
// gives "I/O error N" with the errno. Lines completed before a read error are kept. The file
// is never opened unless it is a regular file, and it is opened non-blocking, so a FIFO or a
// device under that name cannot hang the caller.
PortFileResult ReadPortFile(const std::string& path, std::size_t maxLines = 10);

// One raw line of the file as the caller gets it: UTF-8 kept, otherwise Windows-1251 decoded,
// then the control characters replaced (see above).
std::string DecodePortFileLine(std::string_view bytes);

}  // namespace imconf
