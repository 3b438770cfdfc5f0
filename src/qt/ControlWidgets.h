#pragma once
// Qt widgets that render one headless control each and forward the user's input to it. They
// hold no behaviour: every input goes to the control through the dispatcher (the window's
// HandleEvent), and what they show is read back from the control in Refresh().

#include "controls/Controls.h"
#include "controls/Widgets.h"

#include <QComboBox>
#include <QFrame>
#include <QIcon>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QLabel;
class QToolButton;

namespace imconf::qtui {

// Runs one forwarded user event (the window's HandleEvent).
using Dispatcher = std::function<void(const std::function<void()>& event)>;

// Qt's input in the controls' raw terms: the virtual-key code of a key (0 for keys no control
// knows), the modifier keys, a mouse button and the cause of a focus change.
std::uint16_t VirtualKey(int qtKey);
TShiftState ShiftOf(Qt::KeyboardModifiers modifiers);
TMouseButton ButtonOf(Qt::MouseButton button);
TFocusCause CauseOf(Qt::FocusReason reason);

// The small icons of the window's buttons, by TButton::Icon name: "read", "write", "block",
// "sound-off". Unknown names give a null icon.
QIcon MakeIcon(const std::string& name);

// A numeric spin editor: a line edit with two arrow buttons on its right end. The line edit
// only shows the control's text, caret and selection and places the caret under the mouse;
// keys, typed characters, pasted text, the buttons and the focus go to the control.
class SpinEditWidget final : public QFrame {
public:
    SpinEditWidget(TSpinEdit& control, Dispatcher dispatch, QWidget* parent);
    ~SpinEditWidget() override;
    void Refresh();
    QLineEdit* Editor() const { return editor_; }
    QToolButton* UpButton() const { return up_; }
    QToolButton* DownButton() const { return down_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    class LineEdit;
    void Forward(const std::function<void()>& event);
    bool ForwardKey(QKeyEvent* event);  // true when the control used the key
    void ForwardSelection();
    void ForwardText(const QString& text);

    TSpinEdit& control_;
    Dispatcher dispatch_;
    QLineEdit* editor_ = nullptr;
    QToolButton* up_ = nullptr;
    QToolButton* down_ = nullptr;
    bool rendering_ = false;
};

// A drop-down list whose text is drawn centred; the list opens when the list gets the focus
// from the keyboard and closes on a choice.
class ComboBoxWidget final : public QComboBox {
public:
    ComboBoxWidget(TComboBox& control, Dispatcher dispatch, QWidget* parent);
    void Refresh();

protected:
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    TComboBox& control_;
    Dispatcher dispatch_;
};

// A read-only pane of lines: no scroll bars, arrow cursor, no text input; the last line in view.
class MemoWidget final : public QPlainTextEdit {
public:
    MemoWidget(TMemo& control, QWidget* parent);
    void Refresh();

private:
    TMemo& control_;
    std::vector<std::string> shown_;
};

// A status bar of sunken panels laid out from left to right; the last one takes the rest.
class StatusBarWidget final : public QFrame {
public:
    StatusBarWidget(TStatusBar& control, QWidget* parent);
    void Refresh();
    QLabel* PanelLabel(std::size_t index) const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void LayOutPanels();
    void FitTexts();

    TStatusBar& control_;
    std::vector<QLabel*> panels_;
};

}  // namespace imconf::qtui
