#include "Bootloader.h"

#include "modbus/Crc16.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace imconf::sim {

TBootloader::TBootloader()
{
    flash_.fill(boot::Erased);
    eeprom_.fill(boot::Erased);
}

TReply TBootloader::Ack() const
{
    TReply reply;
    reply.bytes.assign(boot::Ack.begin(), boot::Ack.end());
    reply.delay = think_;
    return reply;
}

TReply TBootloader::Handle(std::span<const std::uint8_t> frame)
{
    const std::size_t length = frame.size();
    const bool crcGood = CrcMatches(frame.data(), length);
    if (crcGood && length == boot::PageFrameLength) {
        const std::size_t page = frame[boot::PageSize];
        if (page < boot::PageCount) {
            std::copy_n(frame.begin(), boot::PageSize, flash_.begin() + page * boot::PageSize);
            ++pages_;
            pagesSeen_ |= 1u << page;
            return Ack();
        }
    } else if (crcGood && length == boot::BlockFrameLength) {
        const std::size_t block = frame[boot::BlockSize];
        if (block < boot::BlockCount) {
            std::copy_n(frame.begin(), boot::BlockSize, eeprom_.begin() + block * boot::BlockSize);
            ++blocks_;
            if (block < 32)
                blocksSeen_ |= 1u << block;
            return Ack();
        }
    } else if (crcGood && length == boot::ClosingFrameLength &&
               std::all_of(frame.begin(), frame.begin() + 6,
                           [](std::uint8_t b) { return b == 0; })) {
        ++closings_;
        return Ack();
    }
    ++rejected_;
    return {};
}

std::string TBootloader::Dump(const std::string& path) const
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return path + ": " + std::strerror(errno);
    bool ok = std::fwrite(flash_.data(), 1, flash_.size(), file) == flash_.size() &&
              std::fwrite(eeprom_.data(), 1, eeprom_.size(), file) == eeprom_.size();
    const int writeErrno = errno;
    if (std::fclose(file) != 0)
        ok = false;
    if (!ok)
        return path + ": " + std::strerror(writeErrno != 0 ? writeErrno : EIO);
    return {};
}

}  // namespace imconf::sim
