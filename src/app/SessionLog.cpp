#include "app/SessionLog.h"

#include "app/Form1.h"
#include "modbus/Trace.h"

#include <utility>

namespace imconf {

namespace {

// A frame's trace lines as one: the continuation lines' five blanks dropped, the placeholder
// left out.
std::string Frame(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines) {
        if (line == kRxPlaceholder)
            continue;
        if (text.empty())
            text = line;
        else
            text += line.starts_with(kTraceContinuation) ? line.substr(kTraceContinuation.size())
                                                         : " " + line;
    }
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

}  // namespace

SessionLog::SessionLog(LogLines& out, std::function<LinkContext()> context,
                       std::function<std::string()> now)
    : out_(out),
      context_(std::move(context)),
      now_(std::move(now))
{
}

const char* SessionLog::OperationName(OperationKind operation)
{
    switch (operation) {
    case OperationKind::Read: return "read";
    case OperationKind::Write: return "write";
    case OperationKind::Search: return "search";
    case OperationKind::AddressChange: return "address change";
    case OperationKind::SpeedChange: return "speed change";
    case OperationKind::Block: return "block";
    case OperationKind::SoundOff: return "sound off";
    case OperationKind::Upgrade: return "upgrade";
    case OperationKind::Identify: return "identification";
    case OperationKind::Sweep: return "sweep";
    }
    return "operation";
}

const char* SessionLog::OutcomeName(OutcomeKind outcome)
{
    switch (outcome) {
    case OutcomeKind::Done: return "done";
    case OutcomeKind::Refused: return "refused";
    case OutcomeKind::NoAnswer: return "no answer";
    case OutcomeKind::BadLine: return "bad line";
    case OutcomeKind::PortError: return "port error";
    case OutcomeKind::Stopped: return "stopped";
    case OutcomeKind::NotFound: return "not found";
    case OutcomeKind::BadFile: return "bad file";
    }
    return "ended";
}

void SessionLog::Put(const std::string& text)
{
    const std::string stamp = now_();
    const LinkContext link = context_();
    std::string line;
    line.reserve(stamp.size() + link.Port.size() + text.size() + 16);
    line += stamp;
    line += ' ';
    line += link.Port.empty() ? "-" : link.Port;
    line += ' ';
    line += std::to_string(link.Baud);
    line += ' ';
    line += std::to_string(link.Address);
    line += ' ';
    line += text;
    line += '\n';
    out_.Write(stamp.substr(0, 10), line);
}

void SessionLog::ShowRequest(const std::vector<std::string>& lines)
{
    Put(Frame(lines));
}

void SessionLog::ShowReply(const std::vector<std::string>& lines)
{
    Put(Frame(lines));
}

void SessionLog::ShowLine(const std::string& line)
{
    Put(line);
}

void SessionLog::OperationStarted(OperationKind operation, const std::string& detail)
{
    Put(std::string("START ") + OperationName(operation) + (detail.empty() ? "" : ": " + detail));
}

void SessionLog::OperationEnded(const OperationOutcome& outcome)
{
    std::string text =
        std::string("END ") + OperationName(outcome.operation) + ": " + OutcomeName(outcome.result);
    if (outcome.address != 0)
        text += ", address " + std::to_string(outcome.address);
    if (!outcome.detail.empty())
        text += ", " + outcome.detail;
    Put(text);
}

WindowSessionLog::WindowSessionLog(TForm1& form, LogLines& out, std::function<std::string()> now)
    : form_(form),
      log_(
          out,
          [&form] {
              return LinkContext{form.ComPort1.Port(), BaudRateToInt(form.ComPort1.BaudRate()),
                                 form.State.DeviceAddress};
          },
          std::move(now))
{
    form_.Trace.SetTee(&log_);
    form_.Observers.Add(log_);
}

WindowSessionLog::~WindowSessionLog()
{
    form_.Observers.Remove(log_);
    form_.Trace.SetTee(nullptr);
}

}  // namespace imconf
