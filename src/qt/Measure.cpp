#include "qt/Measure.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QTimer>
#include <QWidget>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

namespace imconf::qtui {

namespace {

double ClockMs(clockid_t clock)
{
    timespec now{};
    ::clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// Milliseconds since the process was started (exec), or -1. The kernel keeps the start in
// clock ticks since boot (field 22 of /proc/self/stat), so this has the tick's resolution.
double MsSinceProcessStart()
{
    std::ifstream file("/proc/self/stat");
    const std::string text((std::istreambuf_iterator<char>(file)),
                           std::istreambuf_iterator<char>());
    const auto paren = text.rfind(')');
    if (paren == std::string::npos)
        return -1;
    std::istringstream fields(text.substr(paren + 1));
    std::string skip;
    for (int field = 3; field < 22; ++field)
        fields >> skip;
    unsigned long long startTicks = 0;
    if (!(fields >> startTicks))
        return -1;
    const long ticksPerSecond = ::sysconf(_SC_CLK_TCK);
    if (ticksPerSecond <= 0)
        return -1;
    return ClockMs(CLOCK_BOOTTIME) -
           static_cast<double>(startTicks) * 1e3 / static_cast<double>(ticksPerSecond);
}

struct MemoryKb {
    long rss = -1;  // VmRSS
    long hwm = -1;  // VmHWM
};

// VmRSS and VmHWM from one read of /proc/self/status (two reads could see the set grow
// in between, and show a peak below the current size).
MemoryKb ReadMemoryKb()
{
    MemoryKb memory;
    std::ifstream file("/proc/self/status");
    std::string line;
    while (std::getline(file, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            memory.rss = std::atol(line.c_str() + 6);
        else if (line.rfind("VmHWM:", 0) == 0)
            memory.hwm = std::atol(line.c_str() + 6);
    }
    return memory;
}

// User plus system CPU time of all the process's threads, in ms.
double CpuMs()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    auto ms = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) / 1e3;
    };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// Runs `then` once, after the first paint of any widget has been flushed to the screen.
class FirstPaintWatch final : public QObject {
public:
    explicit FirstPaintWatch(std::function<void()> then) : then_(std::move(then)) {}
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (!seen_ && event->type() == QEvent::Paint && watched->isWidgetType()) {
            seen_ = true;
            // Paint events of one pass are delivered together and flushed before the loop
            // takes the next event: a zero timer runs after the flush.
            QTimer::singleShot(0, this, [this] {
                QCoreApplication::instance()->removeEventFilter(this);
                then_();
            });
        }
        return false;
    }

private:
    std::function<void()> then_;
    bool seen_ = false;
};

// Taken during static initialisation, before main: the offset from the process start (tick
// resolution) and the monotonic clock at that moment.
const double gStartMsSinceExec = MsSinceProcessStart();
const double gStartMonoMs = ClockMs(CLOCK_MONOTONIC);

}  // namespace

void StartMeasurement(QWidget& windowRef, TForm1& formRef, ProgramState& stateRef, int idleSeconds)
{
    // The lambdas run after this function has returned: they hold pointers.
    QWidget* window = &windowRef;
    TForm1* form = &formRef;
    ProgramState* state = &stateRef;
    auto finish = [](int code) {
        std::fflush(stdout);
        QCoreApplication::exit(code);
    };
    auto idle = [window, idleSeconds, finish] {
        const double cpu0 = CpuMs();
        const double wall0 = ClockMs(CLOCK_MONOTONIC);
        QTimer::singleShot(idleSeconds * 1000, Qt::PreciseTimer, window, [cpu0, wall0, finish] {
            const double cpu = CpuMs() - cpu0;
            const double wall = ClockMs(CLOCK_MONOTONIC) - wall0;
            std::printf("idle-wall-ms: %.0f\nidle-cpu-ms: %.1f\nidle-cpu-percent: %.3f\n", wall,
                        cpu, wall > 0 ? 100.0 * cpu / wall : 0.0);
            finish(0);
        });
    };
    auto read = [window, form, state, idle, finish] {
        const double start = ClockMs(CLOCK_MONOTONIC);
        form->HandleEvent([form] { form->TeButton5.Click(); });
        auto* poll = new QTimer(window);
        poll->setInterval(1);
        QObject::connect(poll, &QTimer::timeout, window, [poll, start, form, state, idle, finish] {
            const double elapsed = ClockMs(CLOCK_MONOTONIC) - start;
            const bool done =
                state->OperationState == opstate::Idle && !form->Engine.TransactionInFlight();
            if (!done && elapsed < 60'000)
                return;
            poll->stop();
            poll->deleteLater();
            const std::string outcome =
                !form->TeMemo1.Lines.Empty() ? form->TeMemo1.Lines.Last() : "";
            const MemoryKb memory = ReadMemoryKb();
            std::printf("read-ms: %.1f\nread-outcome: %s\nvmrss-kb: %ld\nvmhwm-kb: %ld\n", elapsed,
                        done ? outcome.c_str() : "no end within 60 s", memory.rss, memory.hwm);
            if (!done) {
                finish(1);
                return;
            }
            idle();
        });
        poll->start();
    };
    auto* watch = new FirstPaintWatch([idleSeconds, read, finish] {
        const double sinceInit = ClockMs(CLOCK_MONOTONIC) - gStartMonoMs;
        std::printf(
            "first-paint-ms: %.1f\nfirst-paint-after-init-ms: %.1f\nfirst-paint-epoch-us: %.0f\n",
            gStartMsSinceExec + sinceInit, sinceInit, ClockMs(CLOCK_REALTIME) * 1e3);
        if (idleSeconds == 0)
            finish(0);
        else
            read();
    });
    watch->setParent(window);
    QCoreApplication::instance()->installEventFilter(watch);
}

}  // namespace imconf::qtui
