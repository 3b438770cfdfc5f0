#pragma once
// What the multi-step operations show of themselves in the window: the progress bar, the
// operation pane over the trace pane, and the trace pane's lines. The window implements it.

#include <string>
#include <vector>

namespace imconf {

class OperationPanes {
public:
    virtual ~OperationPanes() = default;
    // The progress bar and the operation pane with its title line, over the trace pane.
    virtual void ShowOperationPanes(int progressMin, int progressMax, int position,
                                    const std::string& title) = 0;
    virtual int ProgressPosition() const = 0;
    virtual void SetProgressPosition(int position) = 0;
    // A line appended to the trace pane, shown or not.
    virtual void AddTraceLine(const std::string& line) = 0;
    // The trace pane's last line; empty when it has none.
    virtual std::string LastTraceLine() const = 0;
    // An operation's ending: the progress bar and the operation pane go, the trace pane
    // shows just these lines.
    virtual void ShowEnding(const std::vector<std::string>& lines) = 0;
};

}  // namespace imconf
