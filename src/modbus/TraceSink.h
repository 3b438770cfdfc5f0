#pragma once
// Where the link shows what went over the line and what became of it. The window writes it
// into its trace pane; tests and the command line keep it as plain lines.

#include <string>
#include <vector>

namespace imconf {

class TraceSink {
public:
    virtual ~TraceSink() = default;
    // A new request: the trace starts afresh, in the trace colour, with these lines (the
    // request's lines and the "RX :" placeholder).
    virtual void ShowRequest(const std::vector<std::string>& lines) = 0;
    // The reply's lines take the place of the last line shown (the placeholder).
    virtual void ShowReply(const std::vector<std::string>& lines) = 0;
    // A line of the link's own: the port error, TIME OUT, CRC ERROR.
    virtual void ShowLine(const std::string& line) = 0;
};

// The trace as plain lines, kept by the same rules as the pane.
class TraceLog : public TraceSink {
public:
    void ShowRequest(const std::vector<std::string>& lines) override { lines_ = lines; }
    void ShowReply(const std::vector<std::string>& lines) override
    {
        if (!lines_.empty())
            lines_.pop_back();
        lines_.insert(lines_.end(), lines.begin(), lines.end());
    }
    void ShowLine(const std::string& line) override { lines_.push_back(line); }

    const std::vector<std::string>& Lines() const { return lines_; }
    // The last line; empty when there is none.
    std::string Last() const { return lines_.empty() ? std::string() : lines_.back(); }

private:
    std::vector<std::string> lines_;
};

}  // namespace imconf
