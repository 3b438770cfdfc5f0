#pragma once
// The session log: every transaction of the window and every line its trace pane shows, with
// the time, the port, the PC speed and the module's address, and each operation's start and
// ending, written to a file for the service records.
//
//   2026-12-10T13:03:41.123+01:00 ttyUSB0 9600 247 START read
//   2026-12-10T13:03:41.145+01:00 ttyUSB0 9600 247 TX : F7 03 01 00 00 20 51 78
//   2026-12-10T13:03:41.226+01:00 ttyUSB0 9600 247 RX : F7 03 40 00 00 00 01 ...
//   2026-12-10T13:03:41.226+01:00 ttyUSB0 9600 247    : ОК.
//   2026-12-10T13:03:41.702+01:00 ttyUSB0 9600 247 END read: done
//
// A frame of several trace lines is one log line. The log follows the window's trace pane as
// its tee (MemoTrace) and the window's operations as an observer; it never changes what they
// do, and a log that cannot be written costs the operation nothing.

#include "app/Outcome.h"
#include "modbus/TraceSink.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace imconf {

class TForm1;

// Where the log's lines go: a day's text of whole lines ("...\n"), with the day they belong
// to ("2026-12-10"). One call a transaction event, so a file may flush once per call.
class LogLines {
public:
    virtual ~LogLines() = default;
    virtual void Write(const std::string& day, const std::string& lines) = 0;
};

// What every line says the link was talking through, at the moment of the line.
struct LinkContext {
    std::string Port;
    std::uint32_t Baud = 0;
    std::uint8_t Address = 0;
};

class SessionLog : public TraceSink, public OperationObserver {
public:
    // `now`: the local time stamp of a line (LocalTimeStamp of the clock), starting with the day.
    SessionLog(LogLines& out, std::function<LinkContext()> context,
               std::function<std::string()> now);

    void ShowRequest(const std::vector<std::string>& lines) override;
    void ShowReply(const std::vector<std::string>& lines) override;
    void ShowLine(const std::string& line) override;

    void OperationStarted(OperationKind operation, const std::string& detail) override;
    void OperationEnded(const OperationOutcome& outcome) override;

    // The operation's and the outcome's names in the log ("read", "no answer").
    static const char* OperationName(OperationKind operation);
    static const char* OutcomeName(OutcomeKind outcome);

private:
    void Put(const std::string& text);

    LogLines& out_;
    std::function<LinkContext()> context_;
    std::function<std::string()> now_;
};

// The log following one window: its trace pane's tee and one of its observers, from
// construction to destruction.
class WindowSessionLog {
public:
    WindowSessionLog(TForm1& form, LogLines& out, std::function<std::string()> now);
    ~WindowSessionLog();
    WindowSessionLog(const WindowSessionLog&) = delete;
    WindowSessionLog& operator=(const WindowSessionLog&) = delete;

private:
    TForm1& form_;
    SessionLog log_;
};

}  // namespace imconf
