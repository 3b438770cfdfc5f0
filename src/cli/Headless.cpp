#include "cli/Headless.h"

#include "modbus/Engine.h"
#include "modbus/Trace.h"
#include "serial/ComPort.h"

#include <cerrno>

#ifndef _WIN32
#include "serial/PortNames.h"
#endif

namespace imconf::cli {

void HeadlessDialogs::ShowError(const std::string& text)
{
    errors.push_back(text);
    if (onError)
        onError(text);
}

bool HeadlessDialogs::AskYesNoWarning(const std::string& text)
{
    questions.push_back(text);
    return answerYes;
}

std::optional<std::string> HeadlessDialogs::OpenFile(const OpenFileRequest& /*request*/)
{
    if (fileAnswers.empty())
        return std::nullopt;
    std::string answer = std::move(fileAnswers.front());
    fileAnswers.pop_front();
    return answer;
}

TraceWatcher::TraceWatcher(TMemo& memo, std::function<void(const std::string&)> onLine)
    : memo_(memo),
      onLine_(std::move(onLine)),
      shown_(memo.Lines.Items())
{
    memo_.Lines.Subscribe([this] { Changed(); });
}

bool TraceWatcher::IsTraceLine(const std::string& line)
{
    // "TX :" alone is the pane's text at start, before any request.
    return line == "TX :" || line.starts_with(kTxPrefix) || line.starts_with(kRxPlaceholder) ||
           line.starts_with(kTraceContinuation);
}

std::vector<std::string> TraceWatcher::Messages() const
{
    std::vector<std::string> messages;
    for (const std::string& line : memo_.Lines.Items())
        if (!IsTraceLine(line))
            messages.push_back(line);
    return messages;
}

void TraceWatcher::Changed()
{
    const std::vector<std::string>& lines = memo_.Lines.Items();
    auto pass = [this](const std::string& line) {
        if (onLine_)
            onLine_(line);
    };
    // The lines passed on that the pane still shows.
    std::size_t kept = 0;
    while (kept < shown_.size() && kept < lines.size() && shown_[kept] == lines[kept])
        ++kept;
    if (placeholderHeld_) {
        const bool before = kept == shown_.size();  // the lines before it are all there
        if (before && lines.size() == kept) {
            placeholderHeld_ = false;  // removed for the reply's lines
        } else if (before && lines.size() == kept + 1 && lines[kept] == kRxPlaceholder) {
            return;  // still waiting
        } else {
            // No reply replaced it: it stood in the pane.
            placeholderHeld_ = false;
            pass(std::string(kRxPlaceholder));
            if (before && lines[kept] == kRxPlaceholder) {
                shown_.push_back(std::string(kRxPlaceholder));
                ++kept;
            }
        }
    }
    shown_.resize(kept);
    for (std::size_t i = kept; i < lines.size(); ++i) {
        if (i + 1 == lines.size() && lines[i] == kRxPlaceholder) {
            placeholderHeld_ = true;
            break;
        }
        shown_.push_back(lines[i]);
        pass(lines[i]);
    }
}

void DiagnosingLine::Open()
{
    try {
        Inner().Open();
        failure_.reset();
    } catch (const EComPort& error) {
        failure_ = OpenFailure{Inner().Port(), error.Code(), error.WinCode(), error.Detail()};
        throw;
    }
}

std::string DescribeOpenFailure(const OpenFailure& f)
{
#ifdef _WIN32
    const std::string port = "port " + f.port;
    // ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION.
    switch (f.code == comerr::Open ? f.osError : 0) {
    case 2:
    case 3: return port + " does not exist; 'imconf-cli ports' lists the ports of this PC.";
    case 5:
    case 32:
        return port + " is in use by another program; close that program (or its terminal "
                      "window) and try again.";
    default:
        return port + " could not be opened (" + EComPort::CodeText(f.code) + ", system error " +
               std::to_string(f.osError) + ").";
    }
#else
    const std::string resolved = ResolvePortPath(f.port);
    const std::string path = resolved;
    const std::string port = "port " + f.port + (resolved == f.port ? "" : " (" + resolved + ")");
    switch (f.code == comerr::Open ? f.osError : 0) {
    case ENOENT:
    case ENODEV:
    case ENXIO: return port + " does not exist; 'imconf-cli ports' lists the ports of this PC.";
    case EACCES:
    case EPERM:
        return "no permission to open " + port +
               ": serial ports belong to the group 'dialout'; add yourself with 'sudo adduser "
               "$USER "
               "dialout', then log out and in again ('ls -l " +
               path + "' shows the port's group).";
    case EBUSY:
        if (!f.holder.empty())
            return port + " is in use by another program: the " + f.holder +
                   ". Close that program and try again.";
        return port + " is in use by another program; 'fuser " + path +
               "' shows who holds it. Close that program and try again.";
    case ENOTTY: return port + " is no serial port.";
    default:
        return port + " could not be opened (" + EComPort::CodeText(f.code) + ", error " +
               std::to_string(f.osError) + ").";
    }
#endif
}

}  // namespace imconf::cli
