#include "Adapter.h"

namespace imconf::sim {

std::vector<std::uint8_t> TUsbBurst::Push(std::span<const std::uint8_t> bytes, TMicros now)
{
    std::vector<std::uint8_t> out;
    for (const std::uint8_t byte : bytes) {
        if (held_.empty())
            heldSince_ = now;
        held_.push_back(byte);
        if (held_.size() == kUsbPacketBytes) {
            out.insert(out.end(), held_.begin(), held_.end());
            held_.clear();
        }
    }
    return out;
}

std::optional<TMicros> TUsbBurst::Deadline() const
{
    if (held_.empty())
        return std::nullopt;
    if (latency_.count() <= 0)
        return heldSince_;
    return (heldSince_ / latency_ + 1) * latency_;
}

std::vector<std::uint8_t> TUsbBurst::Poll(TMicros now)
{
    const auto due = Deadline();
    if (!due || now < *due)
        return {};
    std::vector<std::uint8_t> out;
    out.swap(held_);
    return out;
}

}  // namespace imconf::sim
