#pragma once
// Hexadecimal trace of requests and replies:
//   "TX : 01 03 00 00 00 01 84 0A "   (every byte followed by one blank)
//   "RX :"                            (placeholder until the reply is in)
// Frames longer than 21 bytes continue on further lines that start with five blanks.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace imconf {

constexpr std::size_t kTraceBytesPerLine = 21;
inline constexpr std::string_view kTxPrefix = "TX : ";
inline constexpr std::string_view kRxPrefix = "RX : ";
inline constexpr std::string_view kRxPlaceholder = "RX :";
inline constexpr std::string_view kTraceContinuation = "     ";

// The lines of one frame: `prefix` on the first line, five blanks on every further one.
std::vector<std::string> HexTraceLines(std::string_view prefix, const std::uint8_t* bytes,
                                       std::size_t length);

// The request's lines followed by the "RX :" placeholder.
std::vector<std::string> RequestTraceLines(const std::uint8_t* frame, std::size_t length);

// The reply's lines, which take the placeholder's place.
std::vector<std::string> ReplyTraceLines(const std::uint8_t* reply, std::size_t length);

}  // namespace imconf
