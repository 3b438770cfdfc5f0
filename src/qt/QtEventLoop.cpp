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

QtEventLoop::QtEventLoop() : context_(std::make_unique<WakeTarget>([this] { RunPosted(); }))
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

void QtEventLoop::WakeForPosted()
{
    QCoreApplication::postEvent(context_.get(), new QEvent(kWakeEvent));
}

void QtEventLoop::ReportUnhandled(const std::string& text)
{
    qWarning("imconf: %s", text.c_str());
}

void QtEventLoop::Arm()
{
    const std::optional<Micros> wait = WaitTime();
    if (!wait) {
        timer_->stop();
        return;
    }
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(*wait).count();
    timer_->start(static_cast<int>(std::min<long long>(ms, 24LL * 3600 * 1000)));
}

}  // namespace imconf
