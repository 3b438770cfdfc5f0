#include "FrameAssembler.h"

#include "Bootloader.h"
#include "modbus/Crc16.h"
#include "modbus/Frames.h"

#include <algorithm>

namespace imconf::sim {

namespace {

// Longest Modbus frame the length rule can ask for: function 16 with a byte count of 255.
constexpr std::size_t kLongestModbusFrame = 9 + 255;
// Bytes kept while waiting; older ones are noise.
constexpr std::size_t kModbusKeep = 2 * kLongestModbusFrame;
constexpr std::size_t kBootloaderKeep = 2 * boot::PageFrameLength;

}  // namespace

TFrameAssembler::TFrameAssembler(TMode mode, unsigned baud, TMicros minimumGap)
    : mode_(mode),
      baud_(baud),
      minimumGap_(minimumGap),
      gap_(SilenceGap(baud, minimumGap))
{
}

void TFrameAssembler::SetMode(TMode mode)
{
    mode_ = mode;
    Clear();
}

void TFrameAssembler::SetBaud(unsigned baud)
{
    baud_ = baud;
    gap_ = SilenceGap(baud, minimumGap_);
    Clear();
}

void TFrameAssembler::Clear()
{
    discarded_ += buffer_.size();
    buffer_.clear();
}

std::optional<TMicros> TFrameAssembler::Deadline() const
{
    if (buffer_.empty())
        return std::nullopt;
    return last_ + gap_;
}

void TFrameAssembler::Drop(std::size_t count)
{
    count = std::min(count, buffer_.size());
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(count));
    discarded_ += count;
}

void TFrameAssembler::Emit(std::size_t at, std::size_t length, std::vector<TFrame>& out)
{
    Drop(at);
    out.emplace_back(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(length));
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(length));
}

bool TFrameAssembler::CrcAt(std::size_t at, std::size_t length) const
{
    return at + length <= buffer_.size() && CrcMatches(buffer_.data() + at, length);
}

TFrameAssembler::TClass TFrameAssembler::ClassifyModbus(std::size_t at) const
{
    const std::size_t have = buffer_.size() - at;
    if (have < 1)
        return {TShape::NeedMore};
    if (buffer_[at] > kMaxSlaveAddress)
        return {TShape::Invalid};
    if (have < 2)
        return {TShape::NeedMore};
    switch (buffer_[at + 1]) {
    case fn::ReadHoldingRegisters:
    case fn::WriteSingleRegister: return {have >= 8 ? TShape::Complete : TShape::NeedMore, 8};
    case fn::WriteMultipleRegisters: {
        if (have < 7)
            return {TShape::NeedMore};
        const std::size_t length = 9 + std::size_t{buffer_[at + 6]};
        return {have >= length ? TShape::Complete : TShape::NeedMore, length};
    }
    default: return {TShape::Unknown};
    }
}

void TFrameAssembler::ScanModbus(std::vector<TFrame>& out)
{
    while (!buffer_.empty()) {
        const TClass c = ClassifyModbus(0);
        if (c.shape == TShape::Complete) {
            if (CrcAt(0, c.length))
                Emit(0, c.length, out);
            else
                Drop(1);  // out of step: try again one byte later
        } else if (c.shape == TShape::Invalid) {
            Drop(1);
        } else {
            break;  // wait for more bytes or for silence
        }
    }
    if (buffer_.size() > kModbusKeep)
        Drop(buffer_.size() - kModbusKeep);
}

void TFrameAssembler::SilenceModbus(std::vector<TFrame>& out)
{
    // The line fell silent: whatever can still be a frame is one now, the rest is noise.
    std::size_t at = 0;
    while (at + 4 <= buffer_.size()) {
        const TClass c = ClassifyModbus(at);
        if (c.shape == TShape::Complete && CrcAt(at, c.length)) {
            Emit(at, c.length, out);
            at = 0;
            continue;
        }
        // A request with a function of its own length: everything up to the silence.
        if (c.shape == TShape::Unknown && CrcAt(at, buffer_.size() - at)) {
            Emit(at, buffer_.size() - at, out);
            at = 0;
            continue;
        }
        ++at;
    }
    Clear();
}

void TFrameAssembler::ByteBootloader(std::vector<TFrame>& out)
{
    // A page is the longest frame: once it is complete nothing else can be meant.
    const std::size_t size = buffer_.size();
    if (size >= boot::PageFrameLength &&
        CrcAt(size - boot::PageFrameLength, boot::PageFrameLength)) {
        Emit(size - boot::PageFrameLength, boot::PageFrameLength, out);
        return;
    }
    if (size > kBootloaderKeep)
        Drop(size - kBootloaderKeep);
}

void TFrameAssembler::SilenceBootloader(std::vector<TFrame>& out)
{
    const std::size_t size = buffer_.size();
    for (std::size_t length :
         {boot::PageFrameLength, boot::BlockFrameLength, boot::ClosingFrameLength}) {
        if (size >= length && CrcAt(size - length, length)) {
            Emit(size - length, length, out);
            break;
        }
    }
    Clear();
}

void TFrameAssembler::Silence(std::vector<TFrame>& out)
{
    if (mode_ == TMode::Modbus)
        SilenceModbus(out);
    else
        SilenceBootloader(out);
}

std::vector<TFrame> TFrameAssembler::Push(std::span<const std::uint8_t> bytes, TMicros now)
{
    std::vector<TFrame> out;
    if (bytes.empty())
        return out;
    if (!buffer_.empty() && now - last_ >= gap_)
        Silence(out);
    last_ = now;
    if (mode_ == TMode::Modbus) {
        buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
        ScanModbus(out);
    } else {
        for (std::uint8_t b : bytes) {
            buffer_.push_back(b);
            ByteBootloader(out);
        }
    }
    return out;
}

std::vector<TFrame> TFrameAssembler::Poll(TMicros now)
{
    std::vector<TFrame> out;
    if (!buffer_.empty() && now - last_ >= gap_)
        Silence(out);
    return out;
}

}  // namespace imconf::sim
