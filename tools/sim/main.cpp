// imconf-sim: the simulated indication module on a pseudo-terminal.

#include "Adapter.h"
#include "Bootloader.h"
#include "FrameAssembler.h"
#include "LineTiming.h"
#include "ModuleSimulator.h"
#include "PtyLine.h"
#include "SimConfig.h"
#include "SimOptions.h"
#include "TcpBridge.h"
#include "serial/PortNames.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <iostream>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <ctime>
#include <unistd.h>
#include <vector>

using namespace imconf;
using namespace imconf::sim;

namespace {

volatile std::sig_atomic_t gSignal = 0;
int gWakeFd = -1;

extern "C" void OnSignal(int sig)
{
    gSignal = sig;
    if (gWakeFd >= 0) {
        const char c = 1;
        [[maybe_unused]] const ssize_t n = ::write(gWakeFd, &c, 1);
    }
}

TMicros Now()
{
    return std::chrono::duration_cast<TMicros>(std::chrono::steady_clock::now().time_since_epoch());
}

std::string Hex(std::span<const std::uint8_t> bytes, std::size_t limit = 24)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (std::size_t i = 0; i < bytes.size() && i < limit; ++i) {
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 0xF];
        out += ' ';
    }
    if (bytes.size() > limit)
        out += "... (" + std::to_string(bytes.size()) + " bytes)";
    return out;
}

// Symbolic links that go away with the process.
class TLinks {
public:
    ~TLinks() { RemoveAll(); }
    // Replaces a stale link at `path`; refuses to replace anything else.
    std::string Make(const std::string& target, const std::string& path)
    {
        struct stat st {};
        if (::lstat(path.c_str(), &st) == 0) {
            if (!S_ISLNK(st.st_mode))
                return path + " exists and is not a symbolic link";
            if (::unlink(path.c_str()) != 0)
                return path + ": " + std::strerror(errno);
        }
        if (::symlink(target.c_str(), path.c_str()) != 0)
            return path + ": " + std::strerror(errno);
        paths_.push_back(path);
        return {};
    }
    void RemoveAll()
    {
        for (const auto& path : paths_)
            ::unlink(path.c_str());
        paths_.clear();
    }

private:
    std::vector<std::string> paths_;
};

class TServer {
public:
    TServer(TModuleSimulator& sim, int master, const TSimOptions& options)
        : sim_(sim),
          master_(master),
          options_(options),
          assembler_(sim.Mode(), sim.LineBaud())
    {
        if (options.usbLatencyMs > 0)
            burst_.emplace(std::chrono::milliseconds(options.usbLatencyMs));
    }

    void Run(int wakeFd)
    {
        while (gSignal == 0) {
            TMicros now = Now();
            ServeOutput(now);
            Handle(assembler_.Poll(now), now);
            if (burst_)
                ToPort(burst_->Poll(now));
            FlushToPort();

            std::optional<TMicros> next = assembler_.Deadline();
            if (const auto out = OutputDeadline(); out && (!next || *out < *next))
                next = out;
            if (const auto out = burst_ ? burst_->Deadline() : std::nullopt;
                out && (!next || *out < *next))
                next = out;
            // Microsecond wake-ups: paced bytes at 57600 baud are 174 us apart.
            timespec timeout{};
            if (next) {
                const auto wait = std::clamp<TMicros::rep>((*next - Now()).count(), 0, 60'000'000);
                timeout.tv_sec = static_cast<time_t>(wait / 1'000'000);
                timeout.tv_nsec = static_cast<long>(wait % 1'000'000) * 1000;
            }
            pollfd fds[2] = {{master_, static_cast<short>(POLLIN | (blocked_ ? POLLOUT : 0)), 0},
                             {wakeFd, POLLIN, 0}};
            const int ready = ::ppoll(fds, 2, next ? &timeout : nullptr, nullptr);
            if (ready < 0) {
                if (errno == EINTR)
                    continue;
                std::perror("imconf-sim: ppoll");
                return;
            }
            if (fds[1].revents != 0) {
                char drain[16];
                while (::read(wakeFd, drain, sizeof drain) > 0) {
                }
            }
            if (fds[0].revents & POLLOUT)
                blocked_ = false;
            if (fds[0].revents & POLLIN)
                ReadInput();
            else if (fds[0].revents & (POLLHUP | POLLERR))
                ::usleep(10'000);  // not expected while our own slave descriptor is open
        }
    }

private:
    struct TOutgoing {
        std::vector<std::uint8_t> bytes;
        TMicros start{0};
        unsigned baud = 0;
        bool paced = false;
        std::size_t sent = 0;
        TMicros End() const { return paced ? start + LineTime(bytes.size(), baud) : start; }
    };

    void Log(const std::string& text) const
    {
        if (options_.verbose)
            std::cerr << "imconf-sim: " << text << std::endl;
    }

    void ReadInput()
    {
        std::uint8_t chunk[4096];
        for (;;) {
            const ssize_t n = ::read(master_, chunk, sizeof chunk);
            if (n <= 0)
                return;  // EAGAIN: all read; EIO: nobody has the port open
            const TMicros now = Now();
            const std::span<const std::uint8_t> bytes(chunk, static_cast<std::size_t>(n));
            if (options_.echo) {
                // The adapter hears its own request, whatever the module makes of it.
                Deliver(bytes, now);
                FlushToPort();
            }
            if (options_.strictBaud) {
                const unsigned speed = LineSpeed(master_);
                if (speed != sim_.LineBaud()) {
                    Log("ignored " + std::to_string(n) + " bytes sent at " + std::to_string(speed) +
                        " baud, the module listens at " + std::to_string(sim_.LineBaud()));
                    continue;
                }
            }
            const std::size_t discardedBefore = assembler_.Discarded();
            Handle(assembler_.Push(bytes, now), now);
            if (assembler_.Discarded() != discardedBefore)
                Log("noise: " + std::to_string(assembler_.Discarded() - discardedBefore) +
                    " bytes dropped");
        }
    }

    void Handle(const std::vector<TFrame>& frames, TMicros now)
    {
        for (const auto& frame : frames) {
            Log("<- " + Hex(frame));
            const unsigned closingsBefore = sim_.Bootloader().ClosingFramesReceived();
            TReply reply = sim_.Receive(frame);
            for (TFaultKind kind : sim_.LastFaults())
                Log(std::string("fault: ") + FaultName(kind));
            if (sim_.Bootloader().ClosingFramesReceived() != closingsBefore) {
                Log("bootloader: transfer complete");
                DumpStore();
            }
            if (reply.Empty()) {
                Log("   (no reply)");
                FollowLineSpeed();
                continue;
            }
            TOutgoing out;
            out.bytes = std::move(reply.bytes);
            out.baud = sim_.LineBaud();
            out.paced = options_.pace;
            // A pseudo-terminal delivers the request at once; on a paced line its bytes take
            // their line time before the module can have heard all of it.
            const TMicros heard = options_.pace ? now + LineTime(frame.size(), out.baud) : now;
            out.start = std::max(heard + reply.delay, lineFree_);
            lineFree_ = out.End();
            outgoing_.push_back(std::move(out));
        }
    }

    std::optional<TMicros> OutputDeadline() const
    {
        if (outgoing_.empty() || blocked_)
            return std::nullopt;
        const TOutgoing& out = outgoing_.front();
        if (!out.paced)
            return out.start;
        if (out.sent < out.bytes.size())
            return out.start + LineTime(out.sent, out.baud);
        return out.End();
    }

    void ServeOutput(TMicros now)
    {
        while (!outgoing_.empty() && !blocked_) {
            TOutgoing& out = outgoing_.front();
            if (now < out.start)
                return;
            std::size_t due = out.bytes.size();
            if (out.paced) {
                // Byte i leaves at start + i byte times: deadlines from the start, never from
                // the previous write, so a late wake-up does not shift the bytes after it.
                const auto elapsed = static_cast<std::uint64_t>((now - out.start).count());
                const std::uint64_t started =
                    elapsed * out.baud / (1'000'000ull * kBitsPerByte) + 1;
                due = static_cast<std::size_t>(std::min<std::uint64_t>(started, out.bytes.size()));
            }
            if (out.sent < due) {
                Deliver({out.bytes.data() + out.sent, due - out.sent}, now);
                out.sent = due;
            }
            if (out.sent < out.bytes.size())
                return;  // more bytes due later (paced) or the write was partial
            if (now < out.End())
                return;  // the last byte is still on the line
            Log("-> " + Hex(out.bytes));
            outgoing_.pop_front();
            sim_.ReplySent();
            FollowLineSpeed();
        }
    }

    // Bytes on their way to the PC: through the USB adapter's bursts when it plays one.
    void Deliver(std::span<const std::uint8_t> bytes, TMicros now)
    {
        if (burst_)
            ToPort(burst_->Push(bytes, now));
        else
            ToPort({bytes.begin(), bytes.end()});
    }
    void ToPort(const std::vector<std::uint8_t>& bytes)
    {
        toPort_.insert(toPort_.end(), bytes.begin(), bytes.end());
    }
    void FlushToPort()
    {
        while (!toPort_.empty() && !blocked_) {
            const std::vector<std::uint8_t> chunk(toPort_.begin(), toPort_.end());
            const ssize_t n = ::write(master_, chunk.data(), chunk.size());
            if (n < 0) {
                if (errno == EAGAIN || errno == EWOULDBLOCK) {
                    blocked_ = true;
                    return;
                }
                Log(std::string("write failed: ") + std::strerror(errno));
                toPort_.clear();  // the bytes are lost
                return;
            }
            toPort_.erase(toPort_.begin(), toPort_.begin() + n);
        }
    }

    // After a speed write took effect, the module listens at its new speed.
    void FollowLineSpeed()
    {
        if (sim_.LineBaud() != assemblerBaud_) {
            assemblerBaud_ = sim_.LineBaud();
            assembler_.SetBaud(assemblerBaud_);
            Log("line speed now " + std::to_string(assemblerBaud_) + " baud, address " +
                std::to_string(sim_.Module().Address()));
        }
    }

public:
    void DumpStore() const
    {
        if (options_.dump.empty())
            return;
        if (const std::string error = sim_.Bootloader().Dump(options_.dump); !error.empty())
            std::cerr << "imconf-sim: dump: " << error << std::endl;
        else
            Log("bootloader store written to " + options_.dump);
    }

private:
    TModuleSimulator& sim_;
    int master_;
    const TSimOptions& options_;
    TFrameAssembler assembler_;
    unsigned assemblerBaud_ = sim_.LineBaud();
    std::deque<TOutgoing> outgoing_;
    std::optional<TUsbBurst> burst_;
    std::deque<std::uint8_t> toPort_;  // bytes for the PC not yet taken by the terminal
    TMicros lineFree_{0};
    bool blocked_ = false;
};

int Fail(const std::string& text)
{
    std::cerr << "imconf-sim: " << text << std::endl;
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    const TParsedOptions parsed = ParseOptions(args);
    if (!parsed.error.empty()) {
        std::cerr << "imconf-sim: " << parsed.error << std::endl;
        return 2;
    }
    TSimOptions served = parsed.options;
    if (!served.tcp.empty()) {
        // Behind a device server the PC's speed never reaches the module's line.
        served.announce = false;
        served.strictBaud = false;
    }
    const TSimOptions& options = served;
    if (options.help) {
        std::cout << UsageText("imconf-sim");
        return 0;
    }

    // The module: the file first, then what the command line says explicitly.
    TModuleSimulator sim;
    TModbusSlave& module = sim.Module();
    if (!options.config.empty()) {
        const TConfig config = LoadConfigFile(options.config);
        if (!config.Ok())
            return Fail(config.error);
        ApplyConfig(config, module);
    }
    if (options.address)
        module.Set(reg::Address, *options.address);
    if (options.id)
        module.Set(reg::Id, *options.id);
    if (options.baud)
        module.Set(reg::Speed, CodeFromBaud(*options.baud));
    for (const auto& [address, id] : options.devices)
        sim.AddDevice(address, id);
    if (options.thinkMs)
        sim.SetThinkTime(std::chrono::milliseconds(*options.thinkMs));
    sim.Faults().Seed(options.seed);
    for (const auto& rule : options.faults)
        sim.Faults().Add(rule);
    if (options.bootloader)
        sim.SetMode(TMode::Bootloader);

    // The pseudo-terminal. The slave side stays open here for the whole run, so the master
    // never sees a hang-up when the tool closes its port; it is never read.
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
        return Fail(std::string("pseudo-terminal: ") + std::strerror(errno));
    const char* slaveName = ::ptsname(master);
    if (slaveName == nullptr)
        return Fail(std::string("ptsname: ") + std::strerror(errno));
    const std::string slavePath = slaveName;
    const int slave = ::open(slavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0)
        return Fail(slavePath + ": " + std::strerror(errno));
    if (!SetRawLine(slave, sim.LineBaud()))
        return Fail(slavePath + ": cannot set the line: " + std::strerror(errno));
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);

    TLinks links;
    if (options.announce) {
        const std::string name =
            options.name.empty() ? "sim" + std::to_string(module.Address()) : options.name;
        // Not into a folder another user may have made.
        if (const std::string problem = EnsureAnnouncedPortsDir(); !problem.empty())
            return Fail(problem +
                        "; not announcing the port there (remove it, or use --no-announce)");
        if (const std::string error = links.Make(slavePath, AnnouncedPortsDir() + "/" + name);
            !error.empty())
            return Fail(error);
    }
    if (!options.link.empty())
        if (const std::string error = links.Make(slavePath, options.link); !error.empty())
            return Fail(error);

    int wake[2];
    if (::pipe2(wake, O_NONBLOCK | O_CLOEXEC) != 0)
        return Fail(std::string("pipe: ") + std::strerror(errno));
    gWakeFd = wake[1];
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(sig, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    TTcpBridge bridge;
    if (!options.tcp.empty()) {
        if (const std::string error = bridge.Listen(options.tcp); !error.empty())
            return Fail(error);
        if (const std::string error =
                bridge.Start(slave, options.netDelayMs, options.splitMs, options.verbose);
            !error.empty())
            return Fail(error);
    }
    // The first line: where to find the module.
    std::cout << (options.tcp.empty() ? slavePath : bridge.Url()) << std::endl;

    TServer server(sim, master, options);
    if (options.verbose)
        std::cerr << "imconf-sim: " << (options.bootloader ? "bootloader" : "module")
                  << " at address " << int{module.Address()} << ", " << sim.LineBaud()
                  << " baud on " << slavePath << std::endl;
    server.Run(wake[0]);

    bridge.Stop();
    server.DumpStore();
    links.RemoveAll();
    gWakeFd = -1;
    ::close(wake[0]);
    ::close(wake[1]);
    ::close(slave);
    ::close(master);
    return 0;
}
