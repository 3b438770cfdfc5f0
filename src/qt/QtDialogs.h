#pragma once
// The window's other windows and what it knows of the screen, over Qt.

#include "app/Dialogs.h"

#include <QPointer>
#include <QString>
#include <QWidget>

namespace imconf {

// "description|pattern|description|pattern..." as Qt writes filters:
// "description (pattern);;description (pattern)". A description without a pattern stands
// alone; an empty filter gives an empty string (all files).
QString ToQtFileFilter(const std::string& filter);

class QtDialogs final : public IDialogs {
public:
    explicit QtDialogs(QWidget* parentWindow = nullptr) : parent_(parentWindow) {}
    // The window the boxes belong to (centred over it, modal to it).
    void SetParentWindow(QWidget* window) { parent_ = window; }

    void ShowError(const std::string& text) override;
    bool AskYesNoWarning(const std::string& text) override;
    std::optional<std::string> OpenFile(const OpenFileRequest& request) override;

private:
    QString Title() const;
    QPointer<QWidget> parent_;
};

class QtScreen final : public IScreen {
public:
    explicit QtScreen(const QWidget* window = nullptr) : window_(window) {}
    // The window whose frame is measured once it is shown.
    void SetWindow(const QWidget* window) { window_ = window; }

    int Height() const override;
    int VScrollBarWidth() const override;
    // The measured frame of the shown window; before that an estimate: a title bar of the
    // style's height (at least 24) and borders of 3 pixels.
    int FrameHeight() const override;

private:
    QPointer<const QWidget> window_;
};

}  // namespace imconf
