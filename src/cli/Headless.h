#pragma once
// What the window needs around it when it runs without a display: dialogs answered from the
// command line, a screen, a watch on its trace pane, and a serial line that keeps the reason
// why the port could not be opened.

#include "app/Dialogs.h"
#include "controls/Controls.h"
#include "serial/SerialLine.h"

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace imconf::cli {

// The general error report goes to `onError`; the speed question is answered with
// `answerYes`; the file dialog takes the queued names in turn (cancelled when none is left).
class HeadlessDialogs : public IDialogs {
public:
    std::function<void(const std::string&)> onError;
    bool answerYes = false;
    std::deque<std::string> fileAnswers;
    std::vector<std::string> errors;
    std::vector<std::string> questions;

    void ShowError(const std::string& text) override;
    bool AskYesNoWarning(const std::string& text) override;
    std::optional<std::string> OpenFile(const OpenFileRequest& request) override;
};

// A screen tall enough for the window: nothing is fitted.
class HeadlessScreen : public IScreen {
public:
    int Height() const override { return 2000; }
    int VScrollBarWidth() const override { return 17; }
    int FrameHeight() const override { return 30; }
};

// Follows the trace pane's lines as the window writes them. A line is passed on once it
// stands: the "RX :" placeholder only when no reply replaced it.
class TraceWatcher {
public:
    // `onLine` gets every line as the pane shows it (may be empty: lines are not passed on).
    TraceWatcher(TMemo& memo, std::function<void(const std::string&)> onLine);
    // The pane's message lines: every line that is no request or reply trace.
    std::vector<std::string> Messages() const;

    static bool IsTraceLine(const std::string& line);

private:
    void Changed();

    TMemo& memo_;
    std::function<void(const std::string&)> onLine_;
    std::vector<std::string> shown_;
    bool placeholderHeld_ = false;
};

// Why the port could not be opened: the serial component's error code and the system's error
// number (errno on Linux, GetLastError on Windows).
struct OpenFailure {
    std::string port;
    int code = 0;
    int osError = 0;
    std::string holder;  // who holds it, when known (a lock file and its process id)
};

// The reason in words, with what to do about it.
std::string DescribeOpenFailure(const OpenFailure& failure);

// A serial line that passes everything on and keeps the last failure of Open.
class DiagnosingLine : public ForwardingLine {
public:
    using ForwardingLine::ForwardingLine;

    void Open() override;

    const std::optional<OpenFailure>& LastOpenFailure() const { return failure_; }

private:
    std::optional<OpenFailure> failure_;
};

}  // namespace imconf::cli
