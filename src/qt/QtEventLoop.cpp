#include "qt/QtEventLoop.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QTimer>
#include <QtGlobal>

#include <algorithm>

namespace imconf {

namespace {

// The wake-up of posted tasks: a bare event, made and queued by Qt itself, so that nothing
// of ours crosses threads except under our own lock.
const QEvent::Type kWakeEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

class WakeTarget final : public QObject {
public:
    explicit WakeTarget(std::function<void()> onWake) : onWake_(std::move(onWake)) {}

protected:
    bool event(QEvent* event) override
    {
        if (event->type() != kWakeEvent)
            return QObject::event(event);
        onWake_();
        return true;
    }

private:
    std::function<void()> onWake_;
};

}  // namespace

QtEventLoop::QtEventLoop()
    : start_(Clock::now()),
      context_(std::make_unique<WakeTarget>([this] { RunPosted(); }))
{
    timer_ = new QTimer(context_.get());
    timer_->setSingleShot(true);
    timer_->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer_, &QTimer::timeout, context_.get(), [this] { RunDueTimers(); });
}

QtEventLoop::~QtEventLoop()
{
    // Deleting the context drops its queued wake-ups with it.
    context_.reset();
}

Micros QtEventLoop::Now() const
{
    return std::chrono::duration_cast<Micros>(Clock::now() - start_);
}

EventLoop::TimerToken QtEventLoop::ScheduleAt(Micros due, Task task)
{
    const TimerToken token = timers_.Add(due, std::move(task));
    Arm();
    return token;
}

void QtEventLoop::Cancel(TimerToken token)
{
    timers_.Cancel(token);
    Arm();
}

void QtEventLoop::Post(Task task)
{
    // The wake-up carries no data: the tasks stay in our own queue under our own lock.
    if (posted_.Push(std::move(task)))
        QCoreApplication::postEvent(context_.get(), new QEvent(kWakeEvent));
}

void QtEventLoop::Run(Task& task) noexcept
{
    RunReportingErrors(task, [this](const std::string& text) {
        if (errorHandler_)
            errorHandler_(text);
        else
            qWarning("imconf: %s", text.c_str());
    });
}

void QtEventLoop::Arm()
{
    // Whole milliseconds, rounded up: a tick never comes before its time.
    const std::optional<Micros> wait = timers_.WaitTime(Now(), std::chrono::milliseconds(1));
    if (!wait) {
        timer_->stop();
        return;
    }
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(*wait).count();
    timer_->start(static_cast<int>(std::min<long long>(ms, 24LL * 3600 * 1000)));
}

void QtEventLoop::RunDueTimers()
{
    timers_.RunRound(Now(), [this](Task& task) { Run(task); });
    Arm();
}

void QtEventLoop::RunPosted()
{
    posted_.RunPending([this](Task& task) { Run(task); });
}

}  // namespace imconf
