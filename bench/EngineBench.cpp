// Per-transaction cost of the engine over a pseudo-terminal against the paced simulator.
//
// For a 32-register read and a function-6 write at 9600 baud it prints the time from the
// reply's last byte (the moment the receive handler's read completes) to the dispatch, and
// the request-to-dispatch time divided by the line-time floor (request and reply bytes at
// 10 bits a byte).

#include "modbus/Engine.h"
#include "runtime/StdEventLoop.h"
#include "serial/ComPort.h"
#include "serial/ComPortLine.h"

#include "ChildProcess.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

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

}  // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100;
    constexpr unsigned baud = 9600;
    testsupport::TSimProcess sim({"--address", "247", "--pace", "--think", "1"});
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
    TMemo memo("TeMemo1");
    Stamps client(loop);
    TransactionEngine engine(loop, state, line, memo, client);

    struct Kind {
        const char* name;
        std::size_t requestBytes;
        std::size_t replyBytes;
        std::function<void()> send;
    };
    const std::vector<Kind> kinds{
        {"read 32 registers (fn 3)", 8, 69, [&] { engine.SendReadRegisters(0x0100, 32); }},
        {"write one register (fn 6)", 8, 8, [&] { engine.SendWriteRegister(0x0023, 255); }},
    };

    std::printf("Engine per-transaction cost, pty + paced simulator at %u baud, %d rounds each\n", baud, rounds);
    std::printf("%-28s %14s %14s %12s %12s\n", "transaction", "lastbyte>disp", "lastbyte>disp",
                "total/floor", "total/floor");
    std::printf("%-28s %14s %14s %12s %12s\n", "", "p50 ms", "p99 ms", "p50", "p99");
    for (const auto& kind : kinds) {
        std::vector<double> tail;
        std::vector<double> ratio;
        const double floorMs =
            static_cast<double>((kind.requestBytes + kind.replyBytes) * 10) * 1000.0 / baud;
        for (int i = 0; i < rounds; ++i) {
            const int before = client.dispatched;
            const Micros start = loop.Now();
            kind.send();
            if (!loop.RunUntil([&] { return client.dispatched > before && !engine.TransactionInFlight(); }, 5s)) {
                std::fprintf(stderr, "engine_bench: no reply in round %d\n", i);
                return 1;
            }
            tail.push_back(static_cast<double>(client.dispatchedAt.count() - readDoneUs.load()) / 1000.0);
            ratio.push_back(static_cast<double>((client.dispatchedAt - start).count()) / 1000.0 / floorMs);
        }
        std::printf("%-28s %14.2f %14.2f %12.2f %12.2f\n", kind.name, Percentile(tail, 0.5),
                    Percentile(tail, 0.99), Percentile(ratio, 0.5), Percentile(ratio, 0.99));
    }
    std::printf("(the end-of-reply delay of 5 ms and the module's 1 ms think time are included in the totals)\n");
    return 0;
}
