#pragma once
// The link's trace written into a log pane: a request clears the pane and sets the trace
// colour (blue), a reply replaces the "RX :" placeholder, outcome lines are appended.
//
// A tee (the session log) may follow everything the pane shows: the link's own calls as they
// come, after the pane was written, and every line the operations add to the pane themselves
// (their outcome lines: "   : ОК.", "   : ОШИБКА.", an operation's ending) as ShowLine.

#include "controls/Controls.h"
#include "modbus/TraceSink.h"

namespace imconf {

class MemoTrace : public TraceSink {
public:
    explicit MemoTrace(TMemo& memo) : memo_(memo) {}

    // `tee` gets every line from now on; nullptr: none. Window's thread only.
    void SetTee(TraceSink* tee)
    {
        if (!subscribed_) {
            memo_.Lines.Subscribe([this] { PaneChanged(); });
            subscribed_ = true;
        }
        tee_ = tee;
        seen_ = memo_.Lines.Count();
    }

    void ShowRequest(const std::vector<std::string>& lines) override
    {
        writing_ = true;
        memo_.SetFontColor(colors::Blue);
        memo_.Lines.Clear();
        for (const std::string& line : lines)
            memo_.Lines.Add(line);
        Written();
        if (tee_ != nullptr)
            tee_->ShowRequest(lines);
    }
    void ShowReply(const std::vector<std::string>& lines) override
    {
        writing_ = true;
        if (!memo_.Lines.Empty())
            memo_.Lines.Delete(memo_.Lines.Count() - 1);
        for (const std::string& line : lines)
            memo_.Lines.Add(line);
        Written();
        if (tee_ != nullptr)
            tee_->ShowReply(lines);
    }
    void ShowLine(const std::string& line) override
    {
        writing_ = true;
        memo_.Lines.Add(line);
        Written();
        if (tee_ != nullptr)
            tee_->ShowLine(line);
    }

private:
    void Written()
    {
        writing_ = false;
        seen_ = memo_.Lines.Count();
    }
    // A line added by someone else: the tee gets it. A pane cleared or cut is seen again
    // from where it now ends.
    void PaneChanged()
    {
        if (writing_ || tee_ == nullptr)
            return;
        const std::size_t count = memo_.Lines.Count();
        if (count < seen_)
            seen_ = count;
        for (; seen_ < count; ++seen_)
            tee_->ShowLine(memo_.Lines[seen_]);
    }

    TMemo& memo_;
    TraceSink* tee_ = nullptr;
    bool subscribed_ = false;
    bool writing_ = false;
    // The pane's lines the tee has been given (or that stood before it came).
    std::size_t seen_ = 0;
};

}  // namespace imconf
