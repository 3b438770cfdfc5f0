// Per-transaction cost of the engine over a pseudo-terminal against the paced simulator.
//
// For a 32-register read and a function-6 write at 9600 baud it prints the time from the
// reply's last byte (the moment the receive handler's read completes) to the dispatch, the
// request-to-dispatch time, and that time divided by the line-time floor (request and reply
// bytes at 10 bits a byte).
//
// Built with libmodbus, it also runs a libmodbus RTU master doing the same 32-register read
// against the same simulator, in blocks that alternate with the engine's rounds so that both
// see the same load on the machine, and prints the ratio of the two medians.

#include "modbus/Engine.h"
#include "runtime/StdEventLoop.h"
#include "serial/ComPort.h"
#include "serial/ComPortLine.h"

#include "ChildProcess.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#ifdef IMCONF_HAVE_LIBMODBUS
#include <modbus.h>
#endif

using namespace imconf;
using namespace std::chrono_literals;

namespace {

class Stamps : public EngineClient {
public:
    explicit Stamps(EventLoop& loop) : loop_(loop) {}
    Micros dispatchedAt{0};
    int dispatched = 0;
    void DispatchReply() override
    {
        dispatchedAt = loop_.Now();
        ++dispatched;
    }
    bool TakeReply() override { return false; }
    bool TransactionFailed() override { return false; }
    void Timer_ProgrammTimer() override {}
    void ShowGeneralError(const std::string& /*text*/) override {}

private:
    EventLoop& loop_;
};

double Percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}

struct Samples {
    std::vector<double> tailMs;   // last reply byte to dispatch
    std::vector<double> totalMs;  // request to dispatch
};

#ifdef IMCONF_HAVE_LIBMODBUS
// `count` reads of 32 registers from 0x0100 by a libmodbus master on `pty`, each timed from
// the call to its return. The port is opened for the block and closed after it, because the
// tool's own port takes the terminal exclusively while it is open.
bool PeerBlock(const std::string& pty, int address, unsigned baud, int count,
               std::vector<double>& totalMs)
{
    modbus_t* ctx = modbus_new_rtu(pty.c_str(), static_cast<int>(baud), 'N', 8, 1);
    if (ctx == nullptr) {
        std::fprintf(stderr, "engine_bench: modbus_new_rtu: %s\n", modbus_strerror(errno));
        return false;
    }
    modbus_set_slave(ctx, address);
    modbus_set_response_timeout(ctx, 1, 0);
    if (modbus_connect(ctx) != 0) {
        std::fprintf(stderr, "engine_bench: modbus_connect %s: %s\n", pty.c_str(),
                     modbus_strerror(errno));
        modbus_free(ctx);
        return false;
    }
    bool ok = true;
    std::uint16_t registers[32];
    for (int i = 0; i < count && ok; ++i) {
        const auto start = std::chrono::steady_clock::now();
        const int n = modbus_read_registers(ctx, 0x0100, 32, registers);
        const auto end = std::chrono::steady_clock::now();
        if (n != 32) {
            std::fprintf(stderr, "engine_bench: libmodbus read: %s\n",
                         n < 0 ? modbus_strerror(errno) : "short");
            ok = false;
        }
        totalMs.push_back(std::chrono::duration<double, std::milli>(end - start).count());
    }
    modbus_close(ctx);
    modbus_free(ctx);
    return ok;
}
#endif

}  // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100;
    constexpr unsigned baud = 9600;
    constexpr int address = 247;
    constexpr int block = 10;
    testsupport::TSimProcess sim({"--address", std::to_string(address), "--pace", "--think", "1"});
    if (!sim.Running()) {
        std::fprintf(stderr, "engine_bench: the simulator did not start\n");
        return 1;
    }
    StdEventLoop loop;
    ProgramState state;
    TComPort port;
    port.SetPort(sim.Pty());
    port.Timeouts.ReadInterval = 150;
    ComPortLine line(port, loop);
    std::atomic<std::int64_t> readDoneUs{0};
    auto handler = port.OnRxChar;
    port.OnRxChar = [&](TCustomComPort& sender, int count) {
        handler(sender, count);
        readDoneUs.store(loop.Now().count());
    };
    TraceLog memo;
    Stamps client(loop);
    TransactionEngine engine(loop, state, line, memo, client);

    struct Kind {
        const char* name;
        std::size_t requestBytes;
        std::size_t replyBytes;
        std::function<void()> send;
        bool withPeer;
    };
    const std::vector<Kind> kinds{
        {"read 32 registers (fn 3)", 8, 69, [&] { engine.SendReadRegisters(0x0100, 32); }, true},
        {"write one register (fn 6)", 8, 8, [&] { engine.SendWriteRegister(0x0023, 255); }, false},
    };

    auto toolRound = [&](const Kind& kind, Samples& samples) {
        const int before = client.dispatched;
        const Micros start = loop.Now();
        kind.send();
        if (!loop.RunUntil(
                [&] { return client.dispatched > before && !engine.TransactionInFlight(); }, 5s))
            return false;
        samples.tailMs.push_back(
            static_cast<double>(client.dispatchedAt.count() - readDoneUs.load()) / 1000.0);
        samples.totalMs.push_back(static_cast<double>((client.dispatchedAt - start).count()) /
                                  1000.0);
        return true;
    };

    std::printf("Engine per-transaction cost, pty + paced simulator at %u baud, %d rounds each\n",
                baud, rounds);
    std::printf("%-28s %14s %14s %10s %10s %12s %12s\n", "transaction", "lastbyte>disp",
                "lastbyte>disp", "total", "floor", "total/floor", "total/floor");
    std::printf("%-28s %14s %14s %10s %10s %12s %12s\n", "", "p50 ms", "p99 ms", "p50 ms", "ms",
                "p50", "p99");
    double toolReadP50 = 0;
    double toolReadP99 = 0;
    std::vector<double> peerMs;
    for (const auto& kind : kinds) {
        Samples samples;
        const double floorMs =
            static_cast<double>((kind.requestBytes + kind.replyBytes) * 10) * 1000.0 / baud;
        for (int done = 0; done < rounds;) {
            const int n = std::min(block, rounds - done);
            for (int i = 0; i < n; ++i) {
                if (!toolRound(kind, samples)) {
                    std::fprintf(stderr, "engine_bench: no reply in round %d\n", done + i);
                    return 1;
                }
            }
#ifdef IMCONF_HAVE_LIBMODBUS
            if (kind.withPeer && !PeerBlock(sim.Pty(), address, baud, n, peerMs))
                return 1;
#endif
            done += n;
        }
        std::vector<double> ratio;
        for (double ms : samples.totalMs)
            ratio.push_back(ms / floorMs);
        const double totalP50 = Percentile(samples.totalMs, 0.5);
        if (kind.withPeer) {
            toolReadP50 = totalP50;
            toolReadP99 = Percentile(samples.totalMs, 0.99);
        }
        std::printf("%-28s %14.2f %14.2f %10.2f %10.2f %12.2f %12.2f\n", kind.name,
                    Percentile(samples.tailMs, 0.5), Percentile(samples.tailMs, 0.99), totalP50,
                    floorMs, Percentile(ratio, 0.5), Percentile(ratio, 0.99));
    }
    std::printf("(the end-of-reply delay of 5 ms and the module's 1 ms think time are included in "
                "the totals)\n");
#ifdef IMCONF_HAVE_LIBMODBUS
    const double floorMs = static_cast<double>((8 + 69) * 10) * 1000.0 / baud;
    const double peerP50 = Percentile(peerMs, 0.5);
    std::printf(
        "\nThe same 32-register read by a libmodbus %s RTU master (port kept open), %zu rounds\n",
        LIBMODBUS_VERSION_STRING, peerMs.size());
    std::printf("%-28s %10s %10s %10s %12s\n", "master", "p50 ms", "p99 ms", "floor ms",
                "p50/floor");
    std::printf("%-28s %10.2f %10.2f %10.2f %12.2f\n", "imconf engine", toolReadP50, toolReadP99,
                floorMs, toolReadP50 / floorMs);
    std::printf("%-28s %10.2f %10.2f %10.2f %12.2f\n", "libmodbus", peerP50,
                Percentile(peerMs, 0.99), floorMs, peerP50 / floorMs);
    std::printf("engine/libmodbus p50 ratio: %.2f\n", peerP50 > 0 ? toolReadP50 / peerP50 : 0.0);
#else
    static_cast<void>(toolReadP50);
    static_cast<void>(toolReadP99);
    std::printf("(built without libmodbus: no comparison with a libmodbus master)\n");
#endif
    return 0;
}
