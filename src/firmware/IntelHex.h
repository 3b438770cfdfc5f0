#pragma once
// Intel HEX, the text a compiler writes for a FLASH or EEPROM image: one record a line,
// ":LLAAAATT<data>CC". The reader is strict and bounded: records 00 (data), 01 (end of file),
// 02 (extended segment address) and 04 (extended linear address), every checksum tested,
// every byte inside the memory it is meant for, no byte given twice, an end-of-file record
// and nothing after it. Anything else is refused with the line that is wrong.
//
// Bytes between the records are 0xFF: what an erased FLASH or EEPROM cell holds, and what a
// device programmer leaves there. The builder pads the FLASH part past the file with 0xFF
// too, so a HEX file and the plain bytes a programmer would put into the chip give the same
// image and the same CRC.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace imconf {

constexpr std::uint8_t kHexGapFill = 0xFF;

enum class HexFault : std::uint8_t {
    BadLine,        // not ':' and pairs of hexadecimal digits, or fewer or more than its length
    BadChecksum,    // the record's checksum does not match its bytes
    UnknownRecord,  // a record type other than 00, 01, 02, 04
    BadLength,      // an end-of-file or address record of the wrong length
    OutOfRange,     // a data byte at or past the end of the memory
    GivenTwice,     // a data byte whose address an earlier record gave already
    AfterEnd,       // a record after the end-of-file record
    NoEnd,          // no end-of-file record
    NoData,         // no data byte at all
};

struct HexError {
    HexFault Fault = HexFault::BadLine;
    std::size_t Line = 0;       // 1 for the first line; 0 when no line is to blame
    std::uint32_t Address = 0;  // OutOfRange, GivenTwice: the byte's address
    std::uint8_t Value = 0;     // BadChecksum: the checksum given; UnknownRecord: the type
    std::uint8_t Expected = 0;  // BadChecksum: the checksum the record's bytes give
};

struct HexImage {
    // The bytes from address 0 to the last address given, gaps filled with kHexGapFill.
    std::vector<std::uint8_t> Bytes;
    std::optional<HexError> Error;  // when set, Bytes is empty
};

// A text file: lines of characters with no control character but the tab, in any encoding
// (a README in UTF-8 or code page 1251 is text too), with at least one line end. A program's
// bytes hold zeros and other control bytes, so a real image is hardly ever taken for text.
bool IsTextFile(std::span<const std::uint8_t> bytes);

// Whether a text file means to be Intel HEX: its first line that is not blank starts with ':'.
bool LooksLikeIntelHex(std::span<const std::uint8_t> text);

// Reads Intel HEX text for a memory of `memorySize` bytes. Line ends may be LF or CR LF;
// blank lines and blanks at a line's end are let pass; hexadecimal digits in either case.
HexImage ReadIntelHex(std::span<const std::uint8_t> text, std::size_t memorySize);

// What is wrong, in a few words for the command line ("line 5: checksum 3B, the record's
// bytes give 3C").
std::string DescribeHexError(const HexError& error, std::size_t memorySize);

}  // namespace imconf
