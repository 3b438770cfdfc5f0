#pragma once
// Cuts the byte stream of a serial line into frames. RTU has no frame markers, so:
//
// Modbus: once the function code is known, a frame is complete by its length (3 and 6:
// 8 bytes; 16: 9 + byte count). A complete frame with a good CRC is taken at once; with a
// bad CRC its first byte is dropped as noise and the rest looked at again. An unknown function
// or a frame cut short waits for the line to fall silent; then the buffer is searched for
// frames with a good CRC (at any offset, so noise in front of a request does not lose it)
// and the rest is thrown away.
//
// Bootloader: frames of 515, 19 or 8 bytes carry neither address nor length. 515 bytes with a
// good CRC end a FLASH page at once. A shorter match counts only when the line then stays
// silent for the gap, so a page whose first 8 bytes look like the closing frame is not cut.
//
// Time is passed in by the caller (any fixed origin): the assembler reads no clock.

#include "LineTiming.h"
#include "ModuleSimulator.h"  // TMode

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace imconf::sim {

using TFrame = std::vector<std::uint8_t>;

class TFrameAssembler {
public:
    explicit TFrameAssembler(TMode mode = TMode::Modbus, unsigned baud = 9600,
                             TMicros minimumGap = kMinimumGap);

    // Both drop whatever is buffered.
    void SetMode(TMode mode);
    void SetBaud(unsigned baud);
    TMode Mode() const { return mode_; }
    TMicros Gap() const { return gap_; }

    // Bytes that arrived at `now`. Returns the frames they complete (a silence since the
    // last bytes is accounted for first).
    std::vector<TFrame> Push(std::span<const std::uint8_t> bytes, TMicros now);
    // Frames that the silence up to `now` completes.
    std::vector<TFrame> Poll(TMicros now);
    // When Poll() may have something to do; empty while nothing is buffered.
    std::optional<TMicros> Deadline() const;

    std::size_t Buffered() const { return buffer_.size(); }
    // Bytes thrown away as noise so far.
    std::size_t Discarded() const { return discarded_; }
    void Clear();

private:
    enum class TShape : std::uint8_t { NeedMore, Complete, Invalid, Unknown };
    struct TClass {
        TShape shape;
        std::size_t length = 0;
    };
    TClass ClassifyModbus(std::size_t at) const;
    bool CrcAt(std::size_t at, std::size_t length) const;
    void Drop(std::size_t count);
    void ScanModbus(std::vector<TFrame>& out);
    void SilenceModbus(std::vector<TFrame>& out);
    void ByteBootloader(std::vector<TFrame>& out);
    void SilenceBootloader(std::vector<TFrame>& out);
    void Silence(std::vector<TFrame>& out);
    void Emit(std::size_t at, std::size_t length, std::vector<TFrame>& out);

    TMode mode_;
    unsigned baud_;
    TMicros minimumGap_;
    TMicros gap_;
    std::vector<std::uint8_t> buffer_;
    TMicros last_{0};
    std::size_t discarded_ = 0;
};

}  // namespace imconf::sim
