#pragma once
// The window's other windows: the general error report, the yes/no question and the file
// dialog. The Qt shell shows real dialogs; tests answer them.

#include <optional>
#include <string>

namespace imconf {

struct OpenFileRequest {
    std::string Title;
    std::string FileName;  // pre-filled text of the file-name box
    std::string Filter;    // "description|pattern", e.g. "hex файлы|*.hex"
    std::string InitialDir;
};

class IDialogs {
public:
    virtual ~IDialogs() = default;
    // The general error report: a message box with the error's text.
    virtual void ShowError(const std::string& text) = 0;
    // A modal question with a warning icon and the buttons Yes and No; true for Yes.
    virtual bool AskYesNoWarning(const std::string& text) = 0;
    // The file-open dialog; the chosen file's full path, or nothing when cancelled.
    virtual std::optional<std::string> OpenFile(const OpenFileRequest& request) = 0;
};

// What the window needs to know of the screen.
class IScreen {
public:
    virtual ~IScreen() = default;
    virtual int Height() const = 0;
    // Width of a vertical scroll bar.
    virtual int VScrollBarWidth() const = 0;
    // Height the window's frame (title bar and borders) adds to the client height.
    virtual int FrameHeight() const = 0;
};

}  // namespace imconf
