#include "ModbusSlave.h"

#include "modbus/Crc16.h"
#include "modbus/Frames.h"

namespace imconf::sim {

namespace {

constexpr std::uint16_t kMaxReadCount = 125;   // 250 data bytes in a reply
constexpr std::uint16_t kMaxWriteCount = 123;  // 246 data bytes in a request

bool InLinkOrNodes(std::uint16_t r)
{
    return r >= reg::LinkFirst && r <= reg::Last;
}

std::vector<std::uint8_t> Exception(std::uint8_t address, std::uint8_t function, std::uint8_t code)
{
    std::vector<std::uint8_t> out{address, static_cast<std::uint8_t>(function | fn::ExceptionFlag),
                                  code, 0, 0};
    PlaceCrc(out.data(), 3);
    return out;
}

}  // namespace

TModbusSlave::TModbusSlave(std::uint8_t address, std::uint16_t id)
{
    regs_[reg::Id] = id;
    regs_[reg::Address] = address;
    regs_[reg::Speed] = kDefaultSpeedCode;
    regs_[reg::Block] = reg::BlockOff;
    for (std::uint16_t i = 0; i < reg::LinkCount; ++i)
        regs_[reg::LinkFirst + i] = i;
    regs_[reg::NodeCount] = 0;
    for (std::uint16_t i = 0; i < reg::NodeSlots; ++i) {
        regs_[reg::NodeTypesFirst + i] = reg::EmptyNode;
        regs_[reg::NodeAddressesFirst + i] = reg::EmptyNode;
    }
}

bool TModbusSlave::InMap(std::uint16_t r)
{
    return r == reg::Id || r == reg::Address || r == reg::Speed || r == reg::Block ||
           r == reg::SoundOff || InLinkOrNodes(r);
}

bool TModbusSlave::Writable(std::uint16_t r)
{
    return r != reg::Id && InMap(r);
}

std::string TModbusSlave::CheckValue(std::uint16_t r, std::uint16_t value)
{
    switch (r) {
    case reg::Address:
        if (value < 1 || value > kMaxSlaveAddress)
            return "address must be 1..247";
        break;
    case reg::Speed:
        if (BaudFromCode(value) == 0)
            return "speed code must be 1..8";
        break;
    case reg::Block:
        if (value != reg::BlockOn && value != reg::BlockOff)
            return "block takes 255 or 0";
        break;
    case reg::SoundOff:
        if (value != reg::SoundOffValue)
            return "sound off takes 0xA55A";
        break;
    case reg::NodeCount:
        if (value > reg::MaxNodeCount)
            return "node count must be 0..32";
        break;
    default: break;
    }
    return {};
}

std::string TModbusSlave::CheckSetting(std::uint16_t r, std::uint16_t value)
{
    if (!InMap(r))
        return "register is not in the map";
    if (r == reg::SoundOff)
        return "sound off is a command, not a setting";
    return CheckValue(r, value);
}

std::string TModbusSlave::Set(std::uint16_t r, std::uint16_t value)
{
    if (std::string why = CheckSetting(r, value); !why.empty())
        return why;
    if (r == reg::Address)
        pendingAddress_.reset();
    if (r == reg::Speed)
        pendingSpeed_.reset();
    regs_[r] = value;
    return {};
}

std::optional<std::uint16_t> TModbusSlave::Get(std::uint16_t r) const
{
    if (!InMap(r))
        return std::nullopt;
    return regs_[r];
}

void TModbusSlave::ReplySent()
{
    ApplyPending();
}

void TModbusSlave::ApplyPending()
{
    if (pendingAddress_)
        regs_[reg::Address] = *pendingAddress_;
    if (pendingSpeed_)
        regs_[reg::Speed] = *pendingSpeed_;
    pendingAddress_.reset();
    pendingSpeed_.reset();
}

std::uint8_t TModbusSlave::Read(std::uint16_t first, std::uint16_t count,
                                std::vector<std::uint8_t>& out) const
{
    if (count < 1 || count > kMaxReadCount)
        return exc::IllegalDataValue;
    for (unsigned r = first; r < unsigned{first} + count; ++r)
        if (r > 0xFFFF || !InMap(static_cast<std::uint16_t>(r)))
            return exc::IllegalDataAddress;
    out.push_back(static_cast<std::uint8_t>(2 * count));
    for (unsigned r = first; r < unsigned{first} + count; ++r) {
        // The sound-off register is a command: it reads 0.
        const std::uint16_t value = r == reg::SoundOff ? 0 : regs_[r];
        out.push_back(static_cast<std::uint8_t>(value >> 8));
        out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    }
    return 0;
}

std::uint8_t TModbusSlave::Write(std::uint16_t first, std::span<const std::uint16_t> values)
{
    for (std::size_t i = 0; i < values.size(); ++i) {
        const unsigned r = first + i;
        if (r > 0xFFFF || !Writable(static_cast<std::uint16_t>(r)))
            return exc::IllegalDataAddress;
    }
    for (std::size_t i = 0; i < values.size(); ++i)
        if (!CheckValue(static_cast<std::uint16_t>(first + i), values[i]).empty())
            return exc::IllegalDataValue;
    // All checks passed: the write is done as a whole.
    for (std::size_t i = 0; i < values.size(); ++i)
        Store(static_cast<std::uint16_t>(first + i), values[i]);
    return 0;
}

void TModbusSlave::Store(std::uint16_t r, std::uint16_t value)
{
    switch (r) {
    case reg::Address:
        if (deferChanges_)
            pendingAddress_ = value;
        else
            regs_[r] = value;
        break;
    case reg::Speed:
        if (deferChanges_)
            pendingSpeed_ = value;
        else
            regs_[r] = value;
        break;
    case reg::SoundOff: ++soundOffs_; break;
    default: regs_[r] = value; break;
    }
}

TReply TModbusSlave::Handle(std::span<const std::uint8_t> frame)
{
    // A new request means the previous reply is long gone.
    ApplyPending();

    TReply reply;
    if (frame.size() < 4)
        return reply;
    const std::uint8_t address = frame[0];
    if (address != Address() && address != kBroadcastAddress)
        return reply;
    if (!CrcMatches(frame.data(), frame.size())) {
        ++crcErrors_;
        return reply;
    }
    ++requests_;
    const bool broadcast = address == kBroadcastAddress;
    const std::uint8_t function = frame[1];
    const std::uint8_t me = Address();
    const std::size_t length = frame.size();
    std::vector<std::uint8_t> out{me, function};
    std::uint8_t code = 0;

    deferChanges_ = !broadcast;
    switch (function) {
    case fn::ReadHoldingRegisters:
        if (broadcast)
            break;  // nothing to answer, nothing to do
        if (length != 8)
            code = exc::IllegalDataValue;
        else
            code = Read(ReadBe16(frame.data(), 2), ReadBe16(frame.data(), 4), out);
        break;
    case fn::WriteSingleRegister:
        if (length != 8) {
            code = exc::IllegalDataValue;
        } else {
            const std::uint16_t value = ReadBe16(frame.data(), 4);
            code = Write(ReadBe16(frame.data(), 2), std::span<const std::uint16_t>(&value, 1));
            out.assign(frame.begin(), frame.begin() + 6);  // the echo
            out[0] = me;
        }
        break;
    case fn::WriteMultipleRegisters: {
        const std::uint16_t quantity = length >= 7 ? ReadBe16(frame.data(), 4) : 0;
        const std::size_t byteCount = length >= 7 ? frame[6] : 0;
        if (length < 9 || quantity < 1 || quantity > kMaxWriteCount || byteCount != 2u * quantity ||
            length != 9 + byteCount) {
            code = exc::IllegalDataValue;
            break;
        }
        std::vector<std::uint16_t> values(quantity);
        for (std::size_t i = 0; i < quantity; ++i)
            values[i] = ReadBe16(frame.data(), 7 + 2 * i);
        code = Write(ReadBe16(frame.data(), 2), values);
        out.assign(frame.begin(), frame.begin() + 6);
        out[0] = me;
        break;
    }
    default: code = exc::IllegalFunction; break;
    }
    deferChanges_ = false;

    if (broadcast)
        return reply;
    if (code != 0) {
        reply.bytes = Exception(me, function, code);
    } else {
        out.resize(out.size() + 2);
        PlaceCrc(out.data(), static_cast<std::uint16_t>(out.size() - 2));
        reply.bytes = std::move(out);
    }
    reply.delay = think_;
    return reply;
}

}  // namespace imconf::sim
