// The serial component on Windows: the communications functions against the module simulator,
// over the COM port named by IMCONF_WINE_PORT (under wine, a pseudo-terminal the simulator
// serves: address 247, 9600 baud, bytes sent at another speed ignored), and a configuration
// read of the main window through it.

#include "AppTestSupport.h"
#include "modbus/Crc16.h"
#include "modbus/Frames.h"
#include "serial/ComDeviceWin32.h"
#include "serial/ComPort.h"
#include "serial/ComPortLine.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

using namespace imconf;
using namespace imconf::testing;
using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

namespace {

constexpr std::uint8_t kAddress = 247;

std::string SimPort()
{
    const char* name = std::getenv("IMCONF_WINE_PORT");
    return name != nullptr ? name : "";
}

bool UnderWine()
{
    const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// Read of `count` registers from `first`.
Bytes ReadRequest(std::uint16_t first, std::uint16_t count)
{
    Bytes frame(8);
    frame.resize(BuildReadRegisters(frame, kAddress, first, count));
    return frame;
}

// The error Open raised, or nothing when the port opened.
std::optional<EComPort> OpenError(TComPort& port)
{
    try {
        port.Open();
    } catch (const EComPort& e) {
        return e;
    }
    return std::nullopt;
}

// The port with the settings the tool runs with, and the blocks its receive event read.
class WinComPort : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (SimPort().empty())
            GTEST_SKIP() << "IMCONF_WINE_PORT names no simulator port";
        port.SetPort(SimPort());
        ApplyToolPortSettings(port);
    }

    // Reads what each receive event announces, up to `expected` bytes, on the monitoring
    // thread.
    void CollectReplies(int expected)
    {
        port.OnRxChar = [this, expected](TCustomComPort& sender, int count) {
            Bytes block(static_cast<std::size_t>(expected));
            const int got = sender.Read(block.data(), expected);
            block.resize(static_cast<std::size_t>(got));
            std::lock_guard lock(mutex);
            EXPECT_GT(count, 0);
            handlerThreads.push_back(std::this_thread::get_id());
            blocks.push_back(std::move(block));
            changed.notify_all();
        };
    }

    std::optional<Bytes> NextBlock(std::chrono::milliseconds limit = 10s)
    {
        std::unique_lock lock(mutex);
        if (!changed.wait_for(lock, limit, [this] { return !blocks.empty(); }))
            return std::nullopt;
        Bytes block = std::move(blocks.front());
        blocks.erase(blocks.begin());
        return block;
    }

    TComPort port;
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<Bytes> blocks;
    std::vector<std::thread::id> handlerThreads;
};

}  // namespace

TEST(WinComSettings, DeviceControlBlockAndTimeoutsOfTheToolsSettings)
{
    TComPort defaults;
    ComLineSettings line;
    line.baud = 9600;
    line.dataBits = defaults.DataBits;
    line.stopBits = defaults.StopBits;
    line.parity = defaults.Parity;
    line.flow = defaults.FlowControl;
    line.inputSize = defaults.Buffer.InputSize;
    const DCB dcb = win32::MakeDcb(line);
    EXPECT_EQ(dcb.DCBlength, sizeof(DCB));
    EXPECT_EQ(dcb.BaudRate, 9600u);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, NOPARITY);
    EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
    EXPECT_EQ(dcb.fBinary, 1u);
    EXPECT_EQ(dcb.fParity, 0u);
    EXPECT_EQ(dcb.fOutxCtsFlow, 0u);
    EXPECT_EQ(dcb.fOutxDsrFlow, 0u);
    EXPECT_EQ(dcb.fDtrControl, static_cast<DWORD>(DTR_CONTROL_DISABLE));
    EXPECT_EQ(dcb.fRtsControl, static_cast<DWORD>(RTS_CONTROL_DISABLE));
    EXPECT_EQ(dcb.fDsrSensitivity, 0u);
    EXPECT_EQ(dcb.fTXContinueOnXoff, 0u);
    EXPECT_EQ(dcb.fOutX, 0u);
    EXPECT_EQ(dcb.fInX, 0u);
    EXPECT_EQ(dcb.fErrorChar, 0u);
    EXPECT_EQ(dcb.fNull, 0u);
    EXPECT_EQ(dcb.fAbortOnError, 0u);
    EXPECT_EQ(dcb.XonLim, 256);
    EXPECT_EQ(dcb.XoffLim, 256);
    EXPECT_EQ(dcb.XonChar, 0x11);
    EXPECT_EQ(dcb.XoffChar, 0x13);
    EXPECT_EQ(dcb.EofChar, 0);
    EXPECT_EQ(dcb.EvtChar, 0);

    // The other values each reach their own field.
    line.dataBits = TDataBits::dbSeven;
    line.stopBits = TStopBits::sbTwoStopBits;
    line.parity = {TParityBits::prEven, true, true, '?'};
    line.flow.ControlDTR = TDTRFlowControl::dtrHandshake;
    line.flow.ControlRTS = TRTSFlowControl::rtsToggle;
    line.flow.XonXoffIn = true;
    line.discardNull = true;
    line.eventChar = 0x7E;
    line.inputSize = 4096;
    const DCB other = win32::MakeDcb(line);
    EXPECT_EQ(other.ByteSize, 7);
    EXPECT_EQ(other.StopBits, TWOSTOPBITS);
    EXPECT_EQ(other.Parity, EVENPARITY);
    EXPECT_EQ(other.fParity, 1u);
    EXPECT_EQ(other.fErrorChar, 1u);
    EXPECT_EQ(other.ErrorChar, '?');
    EXPECT_EQ(other.fDtrControl, static_cast<DWORD>(DTR_CONTROL_HANDSHAKE));
    EXPECT_EQ(other.fRtsControl, static_cast<DWORD>(RTS_CONTROL_TOGGLE));
    EXPECT_EQ(other.fInX, 1u);
    EXPECT_EQ(other.fNull, 1u);
    EXPECT_EQ(other.EvtChar, 0x7E);
    EXPECT_EQ(other.XonLim, 1024);
    line.stopBits = static_cast<TStopBits>(9);
    EXPECT_THROW(win32::MakeDcb(line), EComPort);

    COMMTIMEOUTS timeouts{};
    TComTimeouts tool;
    tool.ReadInterval = 150;
    ASSERT_TRUE(win32::MakeTimeouts(tool, timeouts));
    EXPECT_EQ(timeouts.ReadIntervalTimeout, 150u);
    EXPECT_EQ(timeouts.ReadTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(timeouts.ReadTotalTimeoutConstant, 0u);
    EXPECT_EQ(timeouts.WriteTotalTimeoutMultiplier, 100u);
    EXPECT_EQ(timeouts.WriteTotalTimeoutConstant, 1000u);
    ASSERT_TRUE(win32::MakeTimeouts(TComTimeouts{}, timeouts));
    EXPECT_EQ(timeouts.ReadIntervalTimeout, MAXDWORD);  // the component's own default, -1
    tool.ReadInterval = -2;
    EXPECT_FALSE(win32::MakeTimeouts(tool, timeouts));
}

TEST(WinComSettings, EventMasksBothWays)
{
    EXPECT_EQ(win32::ToWindowsMask(kAllComEvents),
              static_cast<DWORD>(EV_RXCHAR | EV_RXFLAG | EV_TXEMPTY | EV_CTS | EV_DSR | EV_RLSD |
                                 EV_BREAK | EV_ERR | EV_RING | EV_RX80FULL));
    for (int bit = 0; bit < 10; ++bit) {
        const auto event = static_cast<TComEvents>(1u << bit);
        const DWORD mask = win32::ToWindowsMask(event);
        EXPECT_NE(mask, 0u) << bit;
        EXPECT_EQ(mask & (mask - 1), 0u) << "one bit for event " << bit;
        EXPECT_EQ(win32::FromWindowsMask(mask), event) << bit;
    }
    EXPECT_EQ(win32::FromWindowsMask(EV_EVENT1 | EV_PERR), 0);
}

TEST_F(WinComPort, RepliesEndOnTheirCountOrOnTheReadInterval)
{
    port.Open();
    ASSERT_TRUE(port.Connected());

    // Identification register: the 7-byte reply ends the read of 7 bytes.
    const Bytes request = ReadRequest(0, 1);
    EXPECT_EQ(port.Write(request.data(), static_cast<int>(request.size())), 8);
    Bytes reply(7);
    ASSERT_EQ(port.Read(reply.data(), 7), 7);
    EXPECT_EQ(reply[0], kAddress);
    EXPECT_EQ(reply[1], 3);
    EXPECT_EQ(reply[2], 2);
    EXPECT_EQ(ReadBe16(reply.data(), 3), 24);
    EXPECT_TRUE(CrcMatches(reply.data(), reply.size()));

    // Register 3 is a gap: the 5-byte exception reply is all that comes of a read of 69; the
    // read ends 150 ms after its last byte (it has no total limit and would wait for ever).
    const Bytes gap = ReadRequest(3, 1);
    port.Write(gap.data(), static_cast<int>(gap.size()));
    Bytes exception(69);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(port.Read(exception.data(), 69), 5);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 140ms);
    EXPECT_EQ(exception[1], 0x83);
    EXPECT_EQ(exception[2], 0x02);

    EXPECT_EQ(port.InputCount(), 0);
    port.Close();
    EXPECT_FALSE(port.Connected());
    port.Close();  // closing a closed port does nothing
}

TEST_F(WinComPort, ReceiveEventCountsTheWaitingBytesOnTheMonitoringThread)
{
    CollectReplies(7);
    port.Open();
    port.Open();  // opening an open port does nothing
    const Bytes request = ReadRequest(0, 1);
    for (int round = 0; round < 3; ++round) {
        port.Write(request.data(), static_cast<int>(request.size()));
        const auto block = NextBlock();
        ASSERT_TRUE(block) << "no receive event in round " << round;
        ASSERT_EQ(block->size(), 7u);
        EXPECT_TRUE(CrcMatches(block->data(), block->size()));
    }
    port.Close();
    for (const std::thread::id id : handlerThreads)
        EXPECT_NE(id, std::this_thread::get_id());
}

TEST_F(WinComPort, CloseEndsAPendingReadWithCode3)
{
    port.Open();
    std::optional<int> code;
    std::thread reader([&] {
        Bytes buffer(8);
        try {
            port.Read(buffer.data(), 8);  // nothing is sent, so nothing comes
        } catch (const EComPort& e) {
            code = e.Code();
        }
    });
    // Either order ends the read with code 3; the pause makes the abort of a read that is
    // already waiting the usual case.
    std::this_thread::sleep_for(300ms);
    port.Close();
    reader.join();
    ASSERT_TRUE(code);
    EXPECT_EQ(*code, comerr::ReadFile);
    EXPECT_FALSE(port.Connected());
}

TEST_F(WinComPort, SpeedChangesTakeEffectAtOnceWhileOpenAndAtTheNextOpenWhileClosed)
{
    CollectReplies(7);
    const Bytes request = ReadRequest(0, 1);

    // Opened at 19200 the module hears nothing; switched to 9600 while open, it answers.
    port.SetBaudRate(TBaudRate::br19200);
    port.Open();
    port.Write(request.data(), static_cast<int>(request.size()));
    port.SetBaudRate(TBaudRate::br9600);
    port.Write(request.data(), static_cast<int>(request.size()));
    auto block = NextBlock();
    ASSERT_TRUE(block) << "the new speed was not applied to the open port";
    EXPECT_EQ(block->size(), 7u);
    port.Close();

    // While closed the speed is only stored.
    port.SetBaudRate(TBaudRate::br19200);
    port.SetBaudRate(TBaudRate::br9600);
    EXPECT_FALSE(port.Connected());
    port.Open();
    port.Write(request.data(), static_cast<int>(request.size()));
    block = NextBlock();
    ASSERT_TRUE(block);
    EXPECT_EQ(block->size(), 7u);
    {
        std::lock_guard lock(mutex);
        EXPECT_TRUE(blocks.empty()) << "the request sent at 19200 was answered";
    }
    port.Close();
}

TEST_F(WinComPort, PortNamesMissingOrNotSerialDevices)
{
    // A name the machine does not have: code 1 with the system's "file not found".
    port.SetPort("COM249");
    const auto missing = OpenError(port);
    ASSERT_TRUE(missing) << "COM249 opened";
    EXPECT_EQ(missing->Code(), comerr::Open);
    EXPECT_EQ(missing->WinCode(), ERROR_FILE_NOT_FOUND);
    EXPECT_STREQ(missing->what(), "Unable to open com port (win error code: 2)");
    EXPECT_FALSE(port.Connected());

    // A name that reaches a plain file is refused before anything is written to it.
    const std::filesystem::path file =
        std::filesystem::temp_directory_path() / "imconf-not-a-port.txt";
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out << "keep";
    }
    port.SetPort(file.string());
    const auto notAPort = OpenError(port);
    ASSERT_TRUE(notAPort) << file.string() << " opened as a port";
    EXPECT_EQ(notAPort->Code(), comerr::Open);
    EXPECT_EQ(notAPort->WinCode(), ERROR_BAD_DEVICE);
    EXPECT_FALSE(port.Connected());
    std::ifstream in(file, std::ios::binary);
    const std::string content((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
    EXPECT_EQ(content, "keep");
    in.close();
    std::filesystem::remove(file);
}

TEST_F(WinComPort, PortNameChangesReopenOnlyWhenOpenAndNew)
{
    CollectReplies(7);
    const Bytes request = ReadRequest(0, 1);
    port.Open();
    port.SetPort(SimPort());  // the same name: stays open as it is
    EXPECT_TRUE(port.Connected());
    port.Write(request.data(), static_cast<int>(request.size()));
    ASSERT_TRUE(NextBlock());

    // Another name while open: closed, and the open under that name fails.
    EXPECT_THROW(port.SetPort("COM249"), EComPort);
    EXPECT_FALSE(port.Connected());
    // While closed a name is only stored; the next open uses it.
    port.SetPort(SimPort());
    EXPECT_FALSE(port.Connected());
    port.Open();
    port.Write(request.data(), static_cast<int>(request.size()));
    ASSERT_TRUE(NextBlock());
    port.Close();
}

TEST_F(WinComPort, ASecondOpenerIsTurnedAway)
{
    if (UnderWine())
        GTEST_SKIP() << "wine does not refuse a second open of a serial device";
    port.Open();
    TComPort other;
    other.SetPort(SimPort());
    const auto refused = OpenError(other);
    ASSERT_TRUE(refused) << "the port opened twice";
    EXPECT_EQ(refused->Code(), comerr::Open);
    EXPECT_EQ(refused->WinCode(), ERROR_ACCESS_DENIED);
    port.Close();
}

TEST(WinComWindow, ConfigurationReadThroughTheWindowsComponent)
{
    const std::string name = SimPort();
    if (name.empty())
        GTEST_SKIP() << "IMCONF_WINE_PORT names no simulator port";
    RealPortWindow w;
    w.Start(name);
    ASSERT_EQ(w.port.Port(), name) << "the port list chose the simulator's port";

    w.form->TeButton5.Click();
    ASSERT_TRUE(w.RunToIdle(60s));
    ASSERT_EQ(w.LastLine(), "   : ОК.");
    EXPECT_EQ(w.config.NodeCount, 0);
    EXPECT_EQ(w.config.LinkTable[5], 5);
    EXPECT_FALSE(w.port.Connected()) << "the port is closed again after the transaction";
}
