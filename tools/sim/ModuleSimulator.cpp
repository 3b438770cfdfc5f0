#include "ModuleSimulator.h"

#include <algorithm>

namespace imconf::sim {

TModbusSlave& TBus::Add(std::uint8_t address, std::uint16_t id)
{
    return devices_.emplace_back(address, id);
}

TReply TBus::Offer(std::span<const std::uint8_t> frame)
{
    return Offer(frame, 0);
}

bool TBus::Listens(unsigned baud) const
{
    return std::any_of(devices_.begin(), devices_.end(),
                       [baud](const TModbusSlave& device) { return device.Baud() == baud; });
}

TReply TBus::Offer(std::span<const std::uint8_t> frame, unsigned baud)
{
    TReply line;
    bool any = false;
    for (auto& device : devices_) {
        if (baud != 0 && device.Baud() != baud)
            continue;  // noise to a device set to another speed
        TReply reply = device.Handle(frame);
        if (reply.Empty())
            continue;
        if (!any) {
            line = std::move(reply);
            any = true;
            continue;
        }
        line.delay = std::min(line.delay, reply.delay);
        if (reply.bytes.size() > line.bytes.size())
            std::swap(line.bytes, reply.bytes);
        for (std::size_t i = 0; i < reply.bytes.size(); ++i)
            line.bytes[i] &= reply.bytes[i];
    }
    return line;
}

void TBus::ReplySent()
{
    for (auto& device : devices_)
        device.ReplySent();
}

TModuleSimulator::TModuleSimulator(std::uint8_t address, std::uint16_t id)
{
    bus_.Add(address, id);
}

TModbusSlave& TModuleSimulator::AddDevice(std::uint8_t address, std::uint16_t id)
{
    TModbusSlave& device = bus_.Add(address, id);
    device.SetThinkTime(think_);
    return device;
}

unsigned TModuleSimulator::LineBaud() const
{
    return mode_ == TMode::Bootloader ? kBootloaderBaud : Module().Baud();
}

void TModuleSimulator::SetThinkTime(TMicros t)
{
    think_ = t;
    for (std::size_t i = 0; i < bus_.Size(); ++i)
        bus_.Device(i).SetThinkTime(t);
    boot_.SetThinkTime(t);
}

TReply TModuleSimulator::Receive(std::span<const std::uint8_t> frame)
{
    return Receive(frame, 0);
}

bool TModuleSimulator::Listens(unsigned baud) const
{
    return mode_ == TMode::Bootloader ? baud == kBootloaderBaud : bus_.Listens(baud);
}

TReply TModuleSimulator::Receive(std::span<const std::uint8_t> frame, unsigned baud)
{
    TReply reply = mode_ == TMode::Bootloader ? boot_.Handle(frame) : bus_.Offer(frame, baud);
    lastFaults_ = faults_.Apply(reply);
    if (reply.Empty())
        ReplySent();  // nothing goes out (or it was lost): the module has done its work
    return reply;
}

void TModuleSimulator::ReplySent()
{
    bus_.ReplySent();
}

}  // namespace imconf::sim
