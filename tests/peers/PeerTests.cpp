// The window's operations through the real serial component against Modbus implementations
// that are not ours: the libmodbus slave imconf-modbus-peer, and a small responder that
// answers with another address or another echo than the request's.

#include "AppTestSupport.h"
#include "modbus/Crc16.h"
#include "runtime/StdEventLoop.h"
#include "serial/ComPort.h"
#include "serial/ComPortLine.h"

#include "ChildProcess.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <poll.h>
#include <sstream>
#include <thread>
#include <unistd.h>

using namespace imconf;
using namespace imconf::testing;
using namespace std::chrono_literals;

namespace {

using TBytes = std::vector<std::uint8_t>;

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> LinesStartingWith(const std::string& text, const std::string& prefix)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (line.rfind(prefix, 0) == 0)
            out.push_back(line);
    return out;
}

// imconf-modbus-peer on its pseudo-terminal. Stop() ends it and collects its registers and
// its verdict on every request.
class TPeer {
public:
    explicit TPeer(std::vector<std::string> options)
        : child_(Args(std::move(options)), dir_.Path(), dir_.Path() + "/peer.stderr")
    {
        if (child_.Started())
            pty_ = child_.ReadLine(10s);
    }
    const std::string& Pty() const { return pty_; }

    struct TResult {
        std::map<unsigned, unsigned> registers;
        unsigned soundOffs = 0;
        unsigned accepted = 0;
        unsigned rejected = ~0u;
        int exitStatus = -1;
        std::string log;  // one line per request: OK, IGNORED or REJECT
        std::vector<std::string> Rejects() const { return LinesStartingWith(log, "REJECT"); }
        std::vector<std::string> Accepted() const { return LinesStartingWith(log, "OK "); }
        unsigned Reg(unsigned r) const
        {
            return registers.count(r) != 0 ? registers.at(r) : 0x10000;
        }
    };

    TResult Stop()
    {
        TResult result;
        child_.Signal(SIGTERM);
        for (std::string line = child_.ReadLine(5s); !line.empty() && line != "END";
             line = child_.ReadLine(5s)) {
            std::istringstream in(line);
            std::string key;
            in >> key;
            if (key == "R") {
                unsigned r = 0, v = 0;
                in >> r >> v;
                result.registers[r] = v;
            } else if (key == "soundoff") {
                in >> result.soundOffs;
            } else if (key == "accepted") {
                in >> result.accepted;
            } else if (key == "rejected") {
                in >> result.rejected;
            }
        }
        result.exitStatus = child_.Wait(5s);
        result.log = ReadFile(dir_.Path() + "/peer.stderr");
        return result;
    }

private:
    static std::vector<std::string> Args(std::vector<std::string> options)
    {
        std::vector<std::string> args{IMCONF_PEER_EXE};
        args.insert(args.end(), options.begin(), options.end());
        return args;
    }
    testsupport::TTempDir dir_;
    testsupport::TChild child_;
    std::string pty_;
};

// The headless window over the real port and the std event loop, on the port `pty`.
struct TWindow : RealPortWindow {
    explicit TWindow(const std::string& pty) { Start(pty, comLine, "peer"); }
    bool RunToIdle(Micros limit = 30s) { return RealPortWindow::RunToIdle(limit); }
    std::string Trace() const { return form->TeMemo1.Lines.Text(); }
};

std::string RejectList(const TPeer::TResult& r)
{
    std::string out;
    for (const auto& line : r.Rejects())
        out += line + "\n";
    return out + "--- peer log:\n" + r.log;
}

// The requests the peer answered begin, one by one, with the given bytes.
void ExpectAcceptedInOrder(const TPeer::TResult& result, const std::vector<std::string>& starts)
{
    const auto accepted = result.Accepted();
    ASSERT_EQ(accepted.size(), starts.size()) << result.log;
    for (std::size_t i = 0; i < starts.size(); ++i)
        EXPECT_EQ(accepted[i].rfind("OK " + starts[i], 0), 0u) << accepted[i];
}

}  // namespace

TEST(LibmodbusPeer, ConfigurationReadShowsThePeersRegisters)
{
    // Links: device 5, parameter A of device 5, zone 17, device 5 switched off; two nodes.
    TPeer peer({"--set", "0x0100=0x0205,0x1205,17,0x0A05", "--set", "0x0118=0x4242", "--set",
                "0x0120=2", "--set", "0x0121=22,8", "--set", "0x0141=10,11"});
    ASSERT_FALSE(peer.Pty().empty());
    TWindow w(peer.Pty());
    ASSERT_EQ(w.port.Port(), peer.Pty());

    w.form->TeButton5.Click();
    ASSERT_TRUE(w.RunToIdle());
    EXPECT_EQ(w.LastLine(), "   : ОК.") << w.Trace();
    EXPECT_EQ(w.config.LinkTable[0], 0x0205);
    EXPECT_EQ(w.config.LinkTable[3], 0x0A05);
    EXPECT_EQ(w.config.LinkTable[23], 23);
    EXPECT_EQ(w.form->LINK_Grid.Cell(1, 1), "ПР.-05");
    EXPECT_EQ(w.form->LINK_Grid.Cell(1, 2), "ПР.-05 /A");
    EXPECT_EQ(w.form->LINK_Grid.Cell(1, 3), "0017");
    EXPECT_EQ(w.form->LINK_Grid.Cell(1, 4), "<ОТКЛ.>");
    EXPECT_EQ(w.form->LINK_Grid.Cell(7, 8), "0023");
    ASSERT_EQ(w.config.NodeCount, 2);
    EXPECT_EQ(w.config.NodeTable[0].TypeCode, 22);
    EXPECT_EQ(w.config.NodeTable[1].TypeCode, 8);
    EXPECT_EQ(w.form->NodesGrid.Cell(2, 1), "010");
    EXPECT_EQ(w.form->NodesGrid.Cell(2, 2), "011");

    const auto result = peer.Stop();
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.rejected, 0u) << RejectList(result);
    EXPECT_EQ(result.accepted, 4u) << result.log;
}

TEST(LibmodbusPeer, ConfigurationWriteLandsInThePeersRegisters)
{
    TPeer peer({"--set", "0x0120=5", "--set", "0x0141=9,9,9"});
    ASSERT_FALSE(peer.Pty().empty());
    TWindow w(peer.Pty());

    w.form->TePopupMenu1.Items.Item(0).Item(0).Click();  // a node of 16 loops
    w.form->TePopupMenu1.Items.Item(0).Item(2).Click();  // a node of 4 loops
    ASSERT_EQ(w.config.NodeCount, 2);
    for (std::size_t i = 0; i < w.config.LinkTable.size(); ++i)
        w.config.LinkTable[i] = static_cast<std::uint16_t>(i % 2 == 0 ? 0x0200 + i : 0x4200 + i);
    w.config.LinkTable[23] = 0x01FF;
    w.form->TeButton2.Click();
    ASSERT_TRUE(w.RunToIdle());
    EXPECT_EQ(w.LastLine(), "   : ОК.") << w.Trace();

    const auto result = peer.Stop();
    EXPECT_EQ(result.rejected, 0u) << RejectList(result);
    EXPECT_EQ(result.accepted, 4u) << result.log;
    for (unsigned i = 0; i < 24; ++i)
        EXPECT_EQ(result.Reg(0x0100 + i), w.config.LinkTable[i]) << i;
    for (unsigned i = 24; i < 32; ++i)
        EXPECT_EQ(result.Reg(0x0100 + i), i) << "registers 0x0118.. are never written";
    EXPECT_EQ(result.Reg(0x0120), 2u);
    EXPECT_EQ(result.Reg(0x0121), 22u);
    EXPECT_EQ(result.Reg(0x0122), 8u);
    EXPECT_EQ(result.Reg(0x0141), w.config.NodeTable[0].Address);
    EXPECT_EQ(result.Reg(0x0142), w.config.NodeTable[1].Address);
    for (unsigned i = 2; i < 32; ++i) {
        EXPECT_EQ(result.Reg(0x0121 + i), 0x00FFu) << i;
        EXPECT_EQ(result.Reg(0x0141 + i), 0x00FFu) << i;
    }
}

TEST(LibmodbusPeer, BusSearchFindsThePeersAddress)
{
    TPeer peer({"--address", "6"});
    ASSERT_FALSE(peer.Pty().empty());
    TWindow w(peer.Pty());
    w.form->CustomItem7->Click();  // 100 ms a probe
    w.form->CustomItem5->Click();
    ASSERT_TRUE(w.RunToIdle());
    EXPECT_EQ(w.state.DeviceAddress, 6);
    EXPECT_NE(w.Trace().find("ПО АДРЕСУ 006"), std::string::npos) << w.Trace();
    EXPECT_EQ(w.LastLine(), "   : ОК.");
    EXPECT_FALSE(w.port.Connected());

    const auto result = peer.Stop();
    EXPECT_EQ(result.rejected, 0u) << RejectList(result);
    EXPECT_EQ(result.accepted, 1u) << result.log;
    // Each of the five probes before was a whole frame for another slave.
    EXPECT_EQ(LinesStartingWith(result.log, "IGNORED for slave ").size(), 5u) << result.log;
}

TEST(LibmodbusPeer, BlockAndSoundOffCommands)
{
    TPeer peer({});
    ASSERT_FALSE(peer.Pty().empty());
    TWindow w(peer.Pty());

    w.form->TeButton3.Click();
    ASSERT_TRUE(w.RunToIdle());
    EXPECT_EQ(w.LastLine(), "   : ОК.") << w.Trace();
    EXPECT_TRUE(w.form->TeCheckBox1.Checked());
    w.form->TeButton3.Click();
    ASSERT_TRUE(w.RunToIdle());
    EXPECT_FALSE(w.form->TeCheckBox1.Checked());
    w.form->Sound_Butt.Click();
    ASSERT_TRUE(w.RunToIdle());
    EXPECT_EQ(w.LastLine(), "   : ОК.") << w.Trace();

    const auto result = peer.Stop();
    EXPECT_EQ(result.rejected, 0u) << RejectList(result);
    ExpectAcceptedInOrder(
        result, {"F7 06 00 23 00 FF 2C D6", "F7 06 00 23 00 00", "F7 06 00 24 A5 5A 26 3C"});
    EXPECT_EQ(result.Reg(0x0023), 0u);
    EXPECT_EQ(result.soundOffs, 1u);
}

TEST(LibmodbusPeer, AddressAndSpeedChangesAreFollowed)
{
    TPeer peer({"--address", "247"});
    ASSERT_FALSE(peer.Pty().empty());
    TWindow w(peer.Pty());

    w.form->TeSpinEdit2.SetValue(77);
    w.form->TeButton1.Click();
    ASSERT_TRUE(w.RunToIdle());
    ASSERT_EQ(w.state.DeviceAddress, 77) << w.Trace();
    w.dialogs.answerYes = true;
    w.form->TeSComboBox1.ChooseByUser(5);  // 19200
    ASSERT_TRUE(w.RunToIdle());
    EXPECT_EQ(w.port.BaudRate(), TBaudRate::br19200);
    w.form->TeButton3.Click();  // at the new address and speed
    ASSERT_TRUE(w.RunToIdle());
    EXPECT_TRUE(w.form->TeCheckBox1.Checked()) << w.Trace();

    // "No": the module moves to 57600 baud, the PC stays at 19200, and the module no longer
    // understands the PC.
    w.dialogs.answerYes = false;
    w.form->TeSComboBox1.ChooseByUser(7);
    ASSERT_TRUE(w.RunToIdle());
    EXPECT_EQ(w.port.BaudRate(), TBaudRate::br19200);
    w.form->Sound_Butt.Click();
    ASSERT_TRUE(w.RunToIdle());
    EXPECT_EQ(w.LastLine(), "   : TIME OUT.");

    const auto result = peer.Stop();
    ExpectAcceptedInOrder(result, {"F7 06 00 01 00 4D", "4D 06 00 02 00 06", "4D 06 00 23 00 FF",
                                   "4D 06 00 02 00 08"});
    EXPECT_EQ(result.Reg(0x0001), 77u);
    EXPECT_EQ(result.Reg(0x0002), 8u);
    EXPECT_EQ(result.Reg(0x0023), 255u);
    ASSERT_EQ(result.Rejects().size(), 1u) << result.log;
    EXPECT_NE(result.Rejects()[0].find(
                  "sent at 19200 baud, the module listens at 57600: 4D 06 00 24 A5 5A"),
              std::string::npos)
        << result.Rejects()[0];
}

namespace {

// A responder on a pseudo-terminal that answers each request (a burst of bytes ended by
// 20 ms of silence) with what `answer` makes of it; an empty answer is no reply.
class TResponder {
public:
    using TAnswer = std::function<TBytes(const TBytes&)>;
    explicit TResponder(TAnswer answer) : answer_(std::move(answer))
    {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0)
            return;
        const char* name = ::ptsname(master_);
        if (name == nullptr)
            return;
        slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);  // held, so no hang-ups
        if (slave_ < 0 || ::pipe2(wake_, O_CLOEXEC) != 0)
            return;
        path_ = name;
        thread_ = std::thread([this] { Run(); });
    }
    ~TResponder()
    {
        if (thread_.joinable()) {
            const char c = 1;
            [[maybe_unused]] const ssize_t n = ::write(wake_[1], &c, 1);
            thread_.join();
        }
        for (int fd : {master_, slave_, wake_[0], wake_[1]})
            if (fd >= 0)
                ::close(fd);
    }
    const std::string& Path() const { return path_; }
    std::vector<TBytes> Requests() const
    {
        std::lock_guard lock(mutex_);
        return requests_;
    }

private:
    void Run()
    {
        TBytes frame;
        for (;;) {
            pollfd fds[2] = {{master_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
            const int ready = ::poll(fds, 2, frame.empty() ? -1 : 20);
            if (ready < 0 || fds[1].revents != 0)
                return;
            if (ready == 0) {  // silence: the frame is complete
                {
                    std::lock_guard lock(mutex_);
                    requests_.push_back(frame);
                }
                const TBytes reply = answer_(frame);
                if (!reply.empty() && ::write(master_, reply.data(), reply.size()) < 0)
                    return;
                frame.clear();
                continue;
            }
            std::uint8_t chunk[256];
            const ssize_t n = ::read(master_, chunk, sizeof chunk);
            if (n > 0)
                frame.insert(frame.end(), chunk, chunk + n);
        }
    }

    TAnswer answer_;
    int master_ = -1;
    int slave_ = -1;
    int wake_[2] = {-1, -1};
    std::string path_;
    mutable std::mutex mutex_;
    std::vector<TBytes> requests_;
    std::thread thread_;
};

TBytes WithCrc(TBytes bytes)
{
    const std::uint16_t crc = Crc16(bytes.data(), static_cast<std::uint16_t>(bytes.size()));
    bytes.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(crc >> 8));
    return bytes;
}

}  // namespace

// The search credits an identification to the address it came from: the probe of address 5
// answered from address 99 finds the module at 99, not at 5.
TEST(ForeignReplies, SearchCreditsAReplyToItsSender)
{
    TResponder responder([](const TBytes& request) {
        if (request.size() == 8 && request[0] == 5 && request[1] == 0x03)
            return WithCrc({99, 0x03, 0x02, 0x00, 0x18});
        return TBytes{};
    });
    ASSERT_FALSE(responder.Path().empty());
    TWindow w(responder.Path());
    w.form->CustomItem7->Click();
    w.form->CustomItem5->Click();
    ASSERT_TRUE(w.RunToIdle());
    EXPECT_EQ(w.state.DeviceAddress, 99);
    EXPECT_NE(w.Trace().find("RX : 63 03 02 00 18 "), std::string::npos) << w.Trace();
    EXPECT_NE(w.Trace().find("ПО АДРЕСУ 099"), std::string::npos) << w.Trace();
    EXPECT_EQ(responder.Requests().size(), 5u);
}

// The echo of a write is not compared with the request: the address command takes the new
// address from the echo, the block echo of another register and value still turns the mark
// over, and function-16 echoes of other registers and counts still carry the write on.
TEST(ForeignReplies, EchoesAreTakenAsTheyCome)
{
    TResponder responder([](const TBytes& request) -> TBytes {
        if (request.size() < 8)
            return {};
        switch (request[1]) {
        case 0x06:
            if (request[3] == 0x01)
                return WithCrc(
                    {request[0], 0x06, 0x00, 0x01, 0x00, 0x09});  // address 9, not the one asked
            if (request[3] == 0x23)
                return WithCrc({0x33, 0x06, 0x00, 0x99, 0x12, 0x34});
            return WithCrc(TBytes(request.begin(), request.begin() + 6));
        case 0x10: return WithCrc({0x01, 0x10, 0x7F, 0x00, 0x00, 0x01});
        default: return {};
        }
    });
    ASSERT_FALSE(responder.Path().empty());
    TWindow w(responder.Path());

    w.form->TeSpinEdit2.SetValue(5);
    w.form->TeButton1.Click();
    ASSERT_TRUE(w.RunToIdle());
    EXPECT_EQ(w.state.DeviceAddress, 9);
    EXPECT_EQ(w.form->TeSpinEdit1.Value(), 9);
    EXPECT_EQ(w.form->TeLabel5.Caption(), "АДРЕС ПРИБОРА - 009");
    EXPECT_EQ(w.LastLine(), "   : ОК.");

    w.form->TeButton3.Click();
    ASSERT_TRUE(w.RunToIdle());
    EXPECT_TRUE(w.form->TeCheckBox1.Checked());
    EXPECT_EQ(w.LastLine(), "   : ОК.");

    w.form->TeButton2.Click();
    ASSERT_TRUE(w.RunToIdle());
    const std::vector<std::string> ending{"   : запись конфигурации модуля...", "   : ОК."};
    EXPECT_EQ(w.form->TeMemo1.Lines.Items(), ending) << w.Trace();

    const auto requests = responder.Requests();
    ASSERT_EQ(requests.size(), 6u);
    EXPECT_EQ(requests[0][0], 247);
    EXPECT_EQ(requests[1][0], 9) << "the block command goes to the address of the echo";
    EXPECT_EQ(requests[5][0], 9);
}
