#pragma once
// The link's trace written into a log pane: a request clears the pane and sets the trace
// colour (blue), a reply replaces the "RX :" placeholder, outcome lines are appended.

#include "controls/Controls.h"
#include "modbus/TraceSink.h"

namespace imconf {

class MemoTrace : public TraceSink {
public:
    explicit MemoTrace(TMemo& memo) : memo_(memo) {}

    void ShowRequest(const std::vector<std::string>& lines) override
    {
        memo_.SetFontColor(colors::Blue);
        memo_.Lines.Clear();
        for (const std::string& line : lines)
            memo_.Lines.Add(line);
    }
    void ShowReply(const std::vector<std::string>& lines) override
    {
        if (!memo_.Lines.Empty())
            memo_.Lines.Delete(memo_.Lines.Count() - 1);
        for (const std::string& line : lines)
            memo_.Lines.Add(line);
    }
    void ShowLine(const std::string& line) override { memo_.Lines.Add(line); }

private:
    TMemo& memo_;
};

}  // namespace imconf
