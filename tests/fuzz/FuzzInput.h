#pragma once
// Reads a fuzz input front to back; past its end every read gives 0.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace imconf::fuzz {

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool Empty() const { return at_ >= size_; }
    std::size_t Left() const { return size_ - at_; }
    std::uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    std::uint16_t Word()
    {
        const std::uint16_t low = Byte();
        return static_cast<std::uint16_t>(low | (Byte() << 8));
    }
    std::vector<std::uint8_t> Bytes(std::size_t count)
    {
        count = std::min(count, Left());
        std::vector<std::uint8_t> bytes(data_ + at_, data_ + at_ + count);
        at_ += count;
        return bytes;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

}  // namespace imconf::fuzz
