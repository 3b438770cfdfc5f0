#pragma once
// The tool's event loop on the Qt GUI thread: one precise single-shot QTimer wakes it for the
// next scheduled task (to the millisecond), posted tasks arrive through the Qt event queue. An
// exception that escapes a task goes to the error handler; nothing escapes into Qt.

#include "runtime/WindowEventLoop.h"

#include <memory>
#include <string>

class QObject;
class QTimer;

namespace imconf {

class QtEventLoop final : public WindowEventLoop {
public:
    // Create on the GUI thread, after the QApplication. It must outlive every thread that
    // posts to it.
    QtEventLoop();
    ~QtEventLoop() override;

private:
    void Arm() override;
    void WakeForPosted() override;
    void ReportUnhandled(const std::string& text) override;

    std::unique_ptr<QObject> context_;
    QTimer* timer_ = nullptr;  // owned by context_
};

}  // namespace imconf
