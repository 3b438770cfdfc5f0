// The serial component against pseudo-terminal pairs: the component opens the slave side,
// the test is the far end of the line on the master side.

#include "PtyPair.h"
#include "serial/ComPort.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <iterator>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace imconf {
namespace {

using test::ProcessCpuSeconds;
using test::PtyPair;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

long long MsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit = 3000ms)
{
    const auto deadline = Clock::now() + limit;
    while (!condition()) {
        if (Clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

// Closes the port after `limit` unless dismissed first, so that a read that would wait for
// ever fails the test (with code 3) instead of hanging it.
class Watchdog {
public:
    Watchdog(TCustomComPort& port, std::chrono::milliseconds limit)
        : thread_([this, &port, limit] {
              std::unique_lock lock(mutex_);
              if (!cv_.wait_for(lock, limit, [this] { return dismissed_; }))
                  port.Close();
          })
    {
    }
    ~Watchdog()
    {
        {
            std::lock_guard lock(mutex_);
            dismissed_ = true;
        }
        cv_.notify_all();
        thread_.join();
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool dismissed_ = false;
    std::thread thread_;
};

// Runs `call` and returns the EComPort it raised (code 0 when it raised none).
struct Raised {
    int code = 0;
    int os = 0;
    std::string text;
};
template <typename F>
Raised Catch(F&& call)
{
    try {
        call();
    } catch (const EComPort& e) {
        return {e.Code(), e.WinCode(), e.what()};
    }
    return {};
}

std::string Text(const char* prefix, int os)
{
    char suffix[48];
    std::snprintf(suffix, sizeof suffix, " (win error code: %d)", os);
    return std::string(prefix) + suffix;
}

std::string ReadString(TCustomComPort& port, int count)
{
    std::string buffer(static_cast<std::size_t>(count), '\0');
    buffer.resize(static_cast<std::size_t>(port.Read(buffer.data(), count)));
    return buffer;
}

class ComPortTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        port.SetPort(pty.SlavePath());
        port.Timeouts.ReadInterval = 150;  // the values the system runs with
    }

    PtyPair pty;
    TComPort port;
};

// --- open, close, exclusivity ---------------------------------------------------------------

TEST_F(ComPortTest, OpenAndCloseAreIdempotent)
{
    port.Open();
    ASSERT_TRUE(port.Connected());
    pty.Send("abc");
    ASSERT_TRUE(WaitUntil([&] { return port.InputCount() == 3; }));

    port.Open();  // no reopen: a reopen would have discarded the waiting bytes
    EXPECT_TRUE(port.Connected());
    EXPECT_EQ(port.InputCount(), 3);

    port.Close();
    EXPECT_FALSE(port.Connected());
    EXPECT_NO_THROW(port.Close());
    EXPECT_EQ(Catch([&] { port.InputCount(); }).code, comerr::ClearCommError);
    char byte = 0;
    EXPECT_EQ(Catch([&] { port.Read(&byte, 1); }).code, comerr::ReadFile);
    EXPECT_EQ(Catch([&] { port.Write("x", 1); }).code, comerr::WriteFile);
}

TEST_F(ComPortTest, StaleInputIsDiscardedAtOpen)
{
    pty.Send("stale");
    {
        // The bytes do wait in the slave's queue while nobody has it open.
        const int fd = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(fd, 0);
        int waiting = 0;
        ASSERT_TRUE(
            WaitUntil([&] { return ::ioctl(fd, FIONREAD, &waiting) == 0 && waiting == 5; }));
        ::close(fd);
    }
    port.Open();
    pty.Send("new");
    EXPECT_EQ(ReadString(port, 69), "new");
}

TEST_F(ComPortTest, MissingPortRaisesCode1WithTheErrorNumber)
{
    port.SetPort("/dev/imconf-no-such-tty");
    Raised r = Catch([&] { port.Open(); });
    EXPECT_EQ(r.code, comerr::Open);
    EXPECT_EQ(r.os, ENOENT);
    EXPECT_EQ(r.text, "Unable to open com port (win error code: 2)");
    EXPECT_FALSE(port.Connected());

    port.SetPort("imconf-no-such-tty");  // a bare name: /dev or the announced ports
    r = Catch([&] { port.Open(); });
    EXPECT_EQ(r.code, comerr::Open);
    EXPECT_EQ(r.os, ENOENT);
}

TEST_F(ComPortTest, NonTerminalsAreRefusedAndLeftUntouched)
{
    char dir[] = "/tmp/imconf-serial-XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    const std::string file = std::string(dir) + "/port.txt";
    const std::string fifo = std::string(dir) + "/port.fifo";
    std::ofstream(file) << "keep me";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int fifoReader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(fifoReader, 0);

    for (const std::string& path : {file, fifo, std::string(dir), std::string("/dev/null")}) {
        port.SetPort(path);
        const Raised r = Catch([&] { port.Open(); });
        EXPECT_EQ(r.code, comerr::Open) << path;
        EXPECT_NE(r.os, 0) << path;
        EXPECT_FALSE(port.Connected()) << path;
    }

    std::ifstream in(file);
    const std::string content((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
    EXPECT_EQ(content, "keep me");
    char byte = 0;
    EXPECT_LE(::read(fifoReader, &byte, 1), 0);  // nothing was written into the FIFO

    ::close(fifoReader);
    ::unlink(file.c_str());
    ::unlink(fifo.c_str());
    ::rmdir(dir);
}

TEST_F(ComPortTest, SecondOpenerIsRefusedUntilTheFirstCloses)
{
    TComPort second;
    second.SetPort(pty.SlavePath());
    port.Open();

    const Raised r = Catch([&] { second.Open(); });
    EXPECT_EQ(r.code, comerr::Open);
    EXPECT_EQ(r.os, EBUSY);
    EXPECT_FALSE(second.Connected());
    EXPECT_TRUE(port.Connected());

    port.Close();
    ASSERT_NO_THROW(second.Open());
    pty.Send("ok");
    EXPECT_EQ(ReadString(second, 2), "ok");
}

TEST_F(ComPortTest, HeldPortStaysOursBetweenUsesUntilLetGo)
{
    std::mutex mutex;
    std::string received;
    port.OnRxChar = [&](TCustomComPort& sender, int count) {
        char buffer[64];
        const int n = sender.Read(buffer, count < 64 ? count : 64);
        std::lock_guard lock(mutex);
        received.append(buffer, static_cast<std::size_t>(n));
    };
    auto got = [&] {
        std::lock_guard lock(mutex);
        return received;
    };
    TComPort other;
    other.SetPort(pty.SlavePath());

    port.SetHeld(true);
    port.Open();
    port.Close();
    EXPECT_FALSE(port.Connected());
    EXPECT_TRUE(port.Kept());
    EXPECT_EQ(Catch([&] { other.Open(); }).os, EBUSY) << "taken between two uses";

    // What came between two uses is stale; the next use reads and is told of bytes again.
    pty.Send("stale");
    std::this_thread::sleep_for(50ms);
    port.Open();
    pty.Send("new");
    EXPECT_TRUE(WaitUntil([&] { return got() == "new"; })) << got();
    port.Close();

    port.SetHeld(false);
    EXPECT_FALSE(port.Kept());
    EXPECT_NO_THROW(other.Open());
}

TEST_F(ComPortTest, KeptPortThatVanishedIsOpenedAfresh)
{
    port.SetHeld(true);
    port.Open();
    port.Close();
    pty.CloseMaster();  // the adapter pulled out between two uses
    EXPECT_EQ(Catch([&] { port.Open(); }).code, comerr::Open);
    EXPECT_FALSE(port.Connected());
    EXPECT_FALSE(port.Kept());
}

// --- line settings --------------------------------------------------------------------------

TEST_F(ComPortTest, OpenPutsTheLineInRaw8N1WithoutFlowControl)
{
    pty.MakeCooked();
    port.Open();
    const test::SlaveModes m = pty.Modes();
    EXPECT_EQ(m.speed, 9600u);
    EXPECT_EQ(m.dataBits, 8);
    EXPECT_FALSE(m.twoStopBits);
    EXPECT_FALSE(m.parity);
    EXPECT_FALSE(m.rtsCts);
    EXPECT_FALSE(m.xonXoffOut);
    EXPECT_FALSE(m.xonXoffIn);
    EXPECT_FALSE(m.hangupOnClose);
    EXPECT_TRUE(m.localLine);
    EXPECT_TRUE(m.receiver);
    EXPECT_FALSE(m.canonical);
    EXPECT_FALSE(m.echo);
    EXPECT_FALSE(m.signals);
    EXPECT_FALSE(m.crToNl);
    EXPECT_FALSE(m.outputProcessing);

    // Every byte value passes unchanged both ways (CR, XON/XOFF, interrupt characters...).
    std::string all;
    for (int b = 0; b < 256; ++b)
        all.push_back(static_cast<char>(b));
    pty.Send(all);
    std::string got;
    ASSERT_TRUE(WaitUntil([&] {
        got += ReadString(port, 256 - static_cast<int>(got.size()));
        return got.size() >= 256;
    }));
    EXPECT_EQ(got, all);
    EXPECT_EQ(port.Write(all.data(), 256), 256);
    EXPECT_EQ(pty.Receive(256, 2000), all);
}

TEST_F(ComPortTest, EverySpeedIsTakenAndChangesApplyAtOnceOrAtNextOpen)
{
    port.Open();
    EXPECT_EQ(pty.Modes().speed, 9600u);
    const std::pair<TBaudRate, std::uint32_t> speeds[] = {
        {TBaudRate::br110, 110},       {TBaudRate::br300, 300},       {TBaudRate::br600, 600},
        {TBaudRate::br1200, 1200},     {TBaudRate::br2400, 2400},     {TBaudRate::br4800, 4800},
        {TBaudRate::br14400, 14400},   {TBaudRate::br19200, 19200},   {TBaudRate::br38400, 38400},
        {TBaudRate::br56000, 56000},   {TBaudRate::br57600, 57600},   {TBaudRate::br115200, 115200},
        {TBaudRate::br128000, 128000}, {TBaudRate::br256000, 256000}, {TBaudRate::br9600, 9600}};
    for (const auto& [rate, bps] : speeds) {
        port.SetBaudRate(rate);
        EXPECT_EQ(pty.Modes().speed, bps);
    }
    port.SetCustomBaudRate(31250);  // not in use yet
    EXPECT_EQ(pty.Modes().speed, 9600u);
    port.SetBaudRate(TBaudRate::brCustom);
    EXPECT_EQ(pty.Modes().speed, 31250u);

    // An unchanged value is not applied again.
    pty.SetSpeed(4800);
    port.SetBaudRate(TBaudRate::brCustom);
    EXPECT_EQ(pty.Modes().speed, 4800u);

    // While closed the value waits for the next open.
    port.Close();
    port.SetBaudRate(TBaudRate::br14400);
    EXPECT_EQ(pty.Modes().speed, 4800u);
    port.Open();
    EXPECT_EQ(pty.Modes().speed, 14400u);
}

TEST_F(ComPortTest, RefusedSettingsLeaveThePortClosedAndFree)
{
    // A pseudo-terminal always runs 8 bits without parity: the read-back catches it.
    port.DataBits = TDataBits::dbSeven;
    Raised r = Catch([&] { port.Open(); });
    EXPECT_EQ(r.code, comerr::SetCommState);
    EXPECT_EQ(r.text, Text("SetCommState function failed", EINVAL));
    EXPECT_FALSE(port.Connected());
    port.DataBits = TDataBits::dbEight;
    port.Parity.Bits = TParityBits::prEven;
    EXPECT_EQ(Catch([&] { port.Open(); }).code, comerr::SetCommState);
    port.Parity.Bits = TParityBits::prNone;

    port.Buffer.InputSize = 0;
    EXPECT_EQ(Catch([&] { port.Open(); }).code, comerr::SetupComm);
    port.Buffer.InputSize = 1024;
    port.Timeouts.ReadInterval = -2;
    EXPECT_EQ(Catch([&] { port.Open(); }).code, comerr::SetCommTimeouts);
    port.Timeouts.ReadInterval = 150;
    EXPECT_FALSE(port.Connected());

    // Nothing stayed locked by the failed opens.
    TComPort other;
    other.SetPort(pty.SlavePath());
    ASSERT_NO_THROW(other.Open());
    other.Close();

    // A speed the device refuses while open.
    port.Open();
    port.SetBaudRate(TBaudRate::brCustom);
    r = Catch([&] { port.SetCustomBaudRate(0); });
    EXPECT_EQ(r.code, comerr::SetCommState);
    EXPECT_TRUE(port.Connected());
}

// --- read -----------------------------------------------------------------------------------

TEST_F(ComPortTest, ReadReturnsAsSoonAsTheCountHasArrived)
{
    port.Timeouts.ReadInterval = 3000;  // so that waiting for the interval would show
    port.Open();
    Watchdog dog(port, 10s);
    std::atomic<long long> lastSentNs{0};
    std::thread sender([&] {
        for (char c = '1'; c <= '8'; ++c) {
            std::this_thread::sleep_for(30ms);
            pty.Send(std::string(1, c));
        }
        lastSentNs = Clock::now().time_since_epoch().count();
    });
    const std::string got = ReadString(port, 8);
    const auto returned = Clock::now().time_since_epoch();
    sender.join();
    EXPECT_EQ(got, "12345678");
    EXPECT_LT(returned.count() - lastSentNs.load(), std::chrono::nanoseconds(1500ms).count());
}

TEST_F(ComPortTest, ShortReplyEndsAnIntervalAfterItsLastByte)
{
    port.Open();
    Watchdog dog(port, 10s);
    pty.Send("12345");
    const auto sent = Clock::now();
    EXPECT_EQ(ReadString(port, 69), "12345");
    const long long ms = MsSince(sent);
    EXPECT_GE(ms, 140);
    EXPECT_LT(ms, 1000);

    // Bytes beyond the count stay for the next read.
    pty.Send("abcdefghijkl");
    EXPECT_EQ(ReadString(port, 8), "abcdefgh");
    EXPECT_EQ(ReadString(port, 8), "ijkl");
}

TEST_F(ComPortTest, IntervalRestartsWithEveryByte)
{
    port.Timeouts.ReadInterval = 300;
    port.Open();
    Watchdog dog(port, 10s);
    std::thread sender([&] {
        for (char c = 'a'; c <= 'f'; ++c) {
            pty.Send(std::string(1, c));
            std::this_thread::sleep_for(100ms);
        }
    });
    EXPECT_EQ(ReadString(port, 69), "abcdef");  // spans 500 ms, more than one interval
    sender.join();
}

TEST_F(ComPortTest, ReadWithoutIntervalAndWithTotalLimit)
{
    // -1: whatever is there as soon as something is there.
    port.Timeouts.ReadInterval = -1;
    port.Open();
    {
        Watchdog dog(port, 5s);
        pty.Send("12345");
        std::string got;
        const auto start = Clock::now();
        while (got.size() < 5 && MsSince(start) < 3000)
            got += ReadString(port, 69);
        EXPECT_EQ(got, "12345");
    }
    port.Close();

    // A total limit ends a read that gets nothing.
    port.Timeouts.ReadInterval = 150;
    port.Timeouts.ReadTotalConstant = 200;
    port.Open();
    const auto start = Clock::now();
    char buffer[8];
    EXPECT_EQ(port.Read(buffer, 8), 0);
    EXPECT_GE(MsSince(start), 190);
    EXPECT_LT(MsSince(start), 2000);
}

TEST_F(ComPortTest, CloseFromAnotherThreadAbortsAWaitingRead)
{
    port.Open();
    std::thread closer([&] {
        std::this_thread::sleep_for(200ms);
        port.Close();
    });
    const auto start = Clock::now();
    char buffer[69];
    const Raised r = Catch([&] { port.Read(buffer, 69); });
    closer.join();
    EXPECT_EQ(r.code, comerr::ReadFile);
    EXPECT_EQ(r.os, ECANCELED);
    EXPECT_EQ(r.text, Text("ReadFile function failed", ECANCELED));
    EXPECT_LT(MsSince(start), 2000);
    EXPECT_FALSE(port.Connected());
}

// --- write ----------------------------------------------------------------------------------

TEST_F(ComPortTest, WriteDeliversFailsOnItsTimeLimitAndIsAbortedByClose)
{
    port.Open();
    EXPECT_EQ(port.Write("hello", 5), 5);
    EXPECT_EQ(pty.Receive(5, 2000), "hello");
    port.Close();

    // Nobody reads the master side: the slave's output queue fills and the write stalls.
    const std::string block(1 << 20, 'x');
    port.Timeouts.WriteTotalMultiplier = 0;
    port.Timeouts.WriteTotalConstant = 300;
    port.Open();
    auto start = Clock::now();
    Raised r = Catch([&] { port.Write(block.data(), static_cast<int>(block.size())); });
    EXPECT_EQ(r.code, comerr::WriteFile);
    EXPECT_EQ(r.os, ETIMEDOUT);
    EXPECT_EQ(r.text, Text("WriteFile function failed", ETIMEDOUT));
    EXPECT_GE(MsSince(start), 280);
    EXPECT_LT(MsSince(start), 3000);
    port.Close();

    port.Timeouts.WriteTotalConstant = 0;  // no limit: only Close ends it
    port.Open();
    std::thread closer([&] {
        std::this_thread::sleep_for(200ms);
        port.Close();
    });
    start = Clock::now();
    r = Catch([&] { port.Write(block.data(), static_cast<int>(block.size())); });
    closer.join();
    EXPECT_EQ(r.code, comerr::WriteFile);
    EXPECT_EQ(r.os, ECANCELED);
    EXPECT_LT(MsSince(start), 2000);
}

// --- port name ------------------------------------------------------------------------------

TEST_F(ComPortTest, NewPortNameReopensUnderIt)
{
    PtyPair other;
    port.Open();
    pty.Send("x");
    ASSERT_TRUE(WaitUntil([&] { return port.InputCount() == 1; }));
    port.SetPort(pty.SlavePath());  // same name: no reopen, the byte is still there
    EXPECT_EQ(port.InputCount(), 1);

    port.SetPort(other.SlavePath());
    EXPECT_TRUE(port.Connected());
    EXPECT_EQ(port.InputCount(), 0);
    other.Send("hi");
    EXPECT_EQ(ReadString(port, 2), "hi");

    TComPort first;  // the old port is free again
    first.SetPort(pty.SlavePath());
    EXPECT_NO_THROW(first.Open());

    port.Close();
    port.SetPort(pty.SlavePath());  // while closed: only stored
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(port.Port(), pty.SlavePath());
}

// --- monitoring thread ----------------------------------------------------------------------

TEST_F(ComPortTest, ReceiveHandlerReadsOnTheMonitoringThread)
{
    std::mutex mutex;
    std::string received;
    std::thread::id handlerThread;
    port.OnRxChar = [&](TCustomComPort& sender, int count) {
        EXPECT_GT(count, 0);
        const std::string got = ReadString(sender, 8);
        std::lock_guard lock(mutex);
        received += got;
        handlerThread = std::this_thread::get_id();
    };
    port.Open();
    const std::string reply("\x01\x06\x00\x24\x00\x01\x09\xC1", 8);
    pty.Send(reply);
    ASSERT_TRUE(WaitUntil([&] {
        std::lock_guard lock(mutex);
        return received.size() == 8;
    }));
    std::lock_guard lock(mutex);
    EXPECT_EQ(received, reply);
    EXPECT_NE(handlerThread, std::this_thread::get_id());
}

TEST_F(ComPortTest, CloseAbortsAReadInsideTheReceiveHandler)
{
    port.Timeouts.ReadInterval = 0;  // the handler's read waits for all 69 bytes
    std::atomic<bool> reading{false};
    std::atomic<int> caught{0};
    port.OnRxChar = [&](TCustomComPort& sender, int) {
        reading = true;
        char buffer[69];
        try {
            sender.Read(buffer, 69);
        } catch (const EComPort& e) {
            caught = e.Code();
            throw;  // ends the monitoring thread's loop
        }
    };
    port.Open();
    pty.Send("12");
    ASSERT_TRUE(WaitUntil([&] { return reading.load(); }));
    std::this_thread::sleep_for(50ms);
    const auto start = Clock::now();
    port.Close();
    EXPECT_LT(MsSince(start), 2000);
    EXPECT_EQ(caught.load(), comerr::ReadFile);
    EXPECT_FALSE(port.Connected());

    // A new open has a new monitoring thread.
    std::atomic<int> events{0};
    port.OnRxChar = [&](TCustomComPort& sender, int count) {
        char buffer[16];
        sender.Read(buffer, count < 16 ? count : 16);
        ++events;
    };
    port.Open();
    pty.Send("3");
    EXPECT_TRUE(WaitUntil([&] { return events.load() >= 1; }));
}

TEST_F(ComPortTest, ReceiveHandlerMayCloseThePort)
{
    std::atomic<int> events{0};
    std::atomic<bool> closing{true};
    port.OnRxChar = [&](TCustomComPort& sender, int) {
        ++events;
        if (closing.load())
            sender.Close();
        else
            ReadString(sender, 16);
    };
    port.Open();
    pty.Send("a");
    ASSERT_TRUE(WaitUntil([&] { return !port.Connected(); }));
    EXPECT_EQ(events.load(), 1);

    closing = false;
    port.Open();
    pty.Send("b");
    EXPECT_TRUE(WaitUntil([&] { return events.load() == 2; }));
    port.Close();
}

TEST_F(ComPortTest, UnreadBytesAreReportedOnceAndDoNotMakeTheThreadSpin)
{
    std::atomic<int> events{0};
    std::atomic<int> lastCount{0};
    port.OnRxChar = [&](TCustomComPort&, int count) {  // reads nothing
        lastCount = count;
        ++events;
    };
    port.Open();
    pty.Send("0123456789");
    ASSERT_TRUE(WaitUntil([&] { return lastCount.load() == 10; }));

    const double cpu = ProcessCpuSeconds();
    std::this_thread::sleep_for(1s);
    EXPECT_LT(ProcessCpuSeconds() - cpu, 0.2);
    EXPECT_LE(events.load(), 10);
    const int before = events.load();

    EXPECT_EQ(port.InputCount(), 10);
    EXPECT_EQ(ReadString(port, 10), "0123456789");
    pty.Send("abc");
    ASSERT_TRUE(WaitUntil([&] { return events.load() > before && lastCount.load() == 3; }));
    EXPECT_EQ(ReadString(port, 3), "abc");
}

TEST_F(ComPortTest, InputQueueKeepsInputSizeBytesAndDropsTheRest)
{
    port.Buffer.InputSize = 16;
    port.Open();
    std::string sent;
    for (int i = 0; i < 40; ++i)
        sent.push_back(static_cast<char>('A' + i));
    pty.Send(sent);
    ASSERT_TRUE(WaitUntil([&] { return port.InputCount() >= 16; }));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(port.InputCount(), 16);
    EXPECT_EQ(ReadString(port, 40), sent.substr(0, 16));
}

TEST_F(ComPortTest, VanishedDeviceEndsTheThreadAndFailsTheOperations)
{
    std::atomic<int> events{0};
    port.OnRxChar = [&](TCustomComPort&, int) { ++events; };
    port.Open();
    pty.CloseMaster();  // as a USB adapter pulled out while open

    const double cpu = ProcessCpuSeconds();
    std::this_thread::sleep_for(1s);
    EXPECT_LT(ProcessCpuSeconds() - cpu, 0.2);

    EXPECT_TRUE(port.Connected());
    char buffer[8];
    Watchdog dog(port, 3s);
    const auto start = Clock::now();
    EXPECT_EQ(Catch([&] { port.Read(buffer, 8); }).code, comerr::ReadFile);
    EXPECT_EQ(Catch([&] { port.Write("x", 1); }).code, comerr::WriteFile);
    EXPECT_EQ(Catch([&] { port.InputCount(); }).code, comerr::ClearCommError);
    EXPECT_LT(MsSince(start), 1000);
    EXPECT_NO_THROW(port.Close());
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(events.load(), 0);
}

TEST_F(ComPortTest, DestroyingAnOpenPortClosesIt)
{
    {
        TComPort temporary;
        temporary.SetPort(pty.SlavePath());
        temporary.OnRxChar = [](TCustomComPort& sender, int count) {
            char buffer[64];
            sender.Read(buffer, count < 64 ? count : 64);
        };
        temporary.Open();
        pty.Send("data");
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_NO_THROW(port.Open());  // the lock went with it
}

}  // namespace
}  // namespace imconf
