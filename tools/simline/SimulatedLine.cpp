#include "SimulatedLine.h"

#include "LineTiming.h"

#include <cerrno>

namespace imconf {

SimulatedLine::SimulatedLine(VirtualEventLoop& loop, sim::TModuleSimulator& module)
    : loop_(loop),
      module_(module)
{
}

SimulatedLine::~SimulatedLine()
{
    CancelReadTimer();
    if (burstTimer_)
        loop_.Cancel(*burstTimer_);
}

unsigned SimulatedLine::PortBaud() const
{
    return BaudRateToInt(baudRate_);
}

void SimulatedLine::Open()
{
    if (connected_)
        return;
    if (OpenError != 0) {
        kept_ = false;  // a kept device that vanished is closed
        throw EComPort(comerr::Open, OpenError);
    }
    if (!kept_)
        ++deviceOpenCount_;
    kept_ = false;
    connected_ = true;
    ++openCount_;
    queue_.clear();  // a port opens with empty queues
}

void SimulatedLine::SetHeld(bool held)
{
    held_ = held;
    if (!held)
        kept_ = false;
}

void SimulatedLine::Close()
{
    if (!connected_)
        return;
    if (CloseError != 0)
        throw EComPort(comerr::PurgeComm, CloseError);
    connected_ = false;
    kept_ = held_;
    ++closeCount_;
    // Closing aborts the read in progress: nothing of it is handed over.
    CancelReadTimer();
    reading_ = false;
    readBytes_.clear();
    queue_.clear();
    if (burstTimer_)
        loop_.Cancel(*burstTimer_);
    burstTimer_.reset();
    burst_.reset();  // what the adapter held goes with the port
}

void SimulatedLine::SetBaudRate(TBaudRate rate)
{
    baudRate_ = rate;
}

void SimulatedLine::SetPort(const std::string& name)
{
    if (name == port_)
        return;
    port_ = name;
    const bool reopen = connected_;
    if (reopen)
        Close();
    kept_ = false;  // the device of the old name
    if (reopen)
        Open();
}

void SimulatedLine::ExpectReply(std::uint8_t length, std::uint64_t tag)
{
    expected_ = length;
    tag_ = tag;
}

void SimulatedLine::Write(const std::uint8_t* bytes, std::size_t count)
{
    if (!connected_)
        throw EComPort(comerr::WriteFile, EBADF);
    if (WriteError != 0)
        throw EComPort(comerr::WriteFile, WriteError);
    const unsigned baud = PortBaud();
    const Micros start = std::max(loop_.Now(), txFreeAt_);
    const Micros done = start + sim::LineTime(count, baud);
    txFreeAt_ = done;
    std::vector<std::uint8_t> frame(bytes, bytes + count);
    requests_.push_back({loop_.Now(), done, frame, baud});
    echoReads_.Written(frame, echoRead_);
    if (Adapter.echo)
        ScheduleBytes(frame, start, baud, false);  // the adapter hears its own request
    loop_.ScheduleAt(done, Guarded([this, frame = std::move(frame), baud]() mutable {
                         RequestThrough(std::move(frame), baud);
                     }));
}

void SimulatedLine::RequestThrough(std::vector<std::uint8_t> frame, unsigned baud)
{
    std::optional<sim::TReply> reply;
    unsigned replyBaud = module_.LineBaud();
    if (Intercept)
        reply = Intercept(frame);
    if (!reply) {
        // A device listening at another speed sees only noise and keeps silent; the devices
        // at this speed answer at it.
        if (!module_.Listens(baud))
            return;
        reply = module_.Receive(frame, baud);
        replyBaud = baud;
    }
    if (reply->Empty()) {
        module_.ReplySent();
        return;
    }
    ScheduleBytes(reply->bytes, loop_.Now() + reply->delay, replyBaud, true);
}

void SimulatedLine::InjectFromLine(std::vector<std::uint8_t> bytes, Micros delay)
{
    ScheduleBytes(bytes, loop_.Now() + delay, PortBaud(), false);
}

void SimulatedLine::ScheduleBytes(const std::vector<std::uint8_t>& bytes, Micros start,
                                  unsigned baud, bool fromModule)
{
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const Micros at = start + sim::LineTime(i + 1, baud);
        const std::uint8_t byte = bytes[i];
        const bool last = i + 1 == bytes.size();
        loop_.ScheduleAt(at, Guarded([this, byte, last, fromModule] {
                             ByteArrives(byte);
                             if (last && fromModule)
                                 module_.ReplySent();
                         }));
    }
}

void SimulatedLine::ByteArrives(std::uint8_t byte)
{
    if (!connected_)
        return;  // nobody listens: the byte is lost
    if (Adapter.latency.count() <= 0) {
        Received({&byte, 1});
        return;
    }
    if (!burst_)
        burst_.emplace(Adapter.latency);
    if (const auto packet = burst_->Push({&byte, 1}, loop_.Now()); !packet.empty())
        Received(packet);
    ArmBurst();
}

void SimulatedLine::ArmBurst()
{
    const auto due = burst_ ? burst_->Deadline() : std::nullopt;
    if (!due || burstTimer_)
        return;
    burstTimer_ = loop_.ScheduleAt(*due, Guarded([this] {
        burstTimer_.reset();
        if (!burst_)
            return;
        if (const auto bytes = burst_->Poll(loop_.Now()); !bytes.empty())
            Received(bytes);
        ArmBurst();
    }));
}

void SimulatedLine::Received(std::span<const std::uint8_t> bytes)
{
    queue_.insert(queue_.end(), bytes.begin(), bytes.end());
    Pump();
}

void SimulatedLine::Pump()
{
    for (;;) {
        if (!reading_) {
            if (queue_.empty())
                return;
            // The receive event: a read for what the current transaction expects.
            reading_ = true;
            readLength_ = echoReads_.NextLength(expected_ != 0 ? expected_ : 0xFF);
            readTag_ = tag_;
            readBytes_.clear();
            if (!echoReads_.EchoNext())
                Hand(ReceivedBlock{readTag_, {}});  // the read's announcement
        }
        bool took = false;
        while (!queue_.empty() && readBytes_.size() < readLength_) {
            readBytes_.push_back(queue_.front());
            queue_.pop_front();
            took = true;
        }
        if (readBytes_.size() >= readLength_) {
            FinishRead();
            continue;  // bytes beyond the count start the next receive event
        }
        if (took) {
            CancelReadTimer();
            readTimer_ = loop_.ScheduleAt(loop_.Now() + kReadInterval, Guarded([this] {
                                              readTimer_.reset();
                                              FinishRead();
                                              Pump();
                                          }));
        }
        return;
    }
}

void SimulatedLine::FinishRead()
{
    CancelReadTimer();
    reading_ = false;
    echoReads_.Read(readBytes_, readLength_);
    ReceivedBlock block{readTag_, std::move(readBytes_)};
    readBytes_.clear();
    deliveries_.push_back({loop_.Now(), block.bytes.size()});
    Hand(std::move(block));
}

void SimulatedLine::Hand(ReceivedBlock block)
{
    loop_.Post(Guarded([this, block = std::move(block)]() mutable {
        if (handler_)
            handler_(std::move(block));
    }));
}

void SimulatedLine::CancelReadTimer()
{
    if (readTimer_) {
        loop_.Cancel(*readTimer_);
        readTimer_.reset();
    }
}

}  // namespace imconf
