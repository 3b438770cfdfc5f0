#pragma once
// The main window over the headless TForm1: every control of the form as a child widget at
// its bounds in its parent's client area (objectName = the control's Name()), re-rendered on
// each change notification; user input forwarded to the controls through form.HandleEvent.

#include "app/Form1.h"
#include "qt/ControlWidgets.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <unordered_map>

class QAction;
class QActionGroup;
class QMenuBar;
class QScrollArea;

namespace imconf {

class MainWindow final : public QWidget, private TFormBuilder {
public:
    // The form must outlive the window. Build it after FormCreate; FormActivate runs on the
    // window's first activation.
    explicit MainWindow(TForm1& form, QWidget* parent = nullptr);
    ~MainWindow() override;

    TForm1& Form() const { return form_; }
    // The widget the form's own controls lie on (objectName "Form1").
    QWidget* ClientArea() const { return client_; }
    // The widget that renders a control, or nullptr.
    QWidget* WidgetOf(const TControl& control) const;
    QMenuBar* MenuBar() const { return menuBar_; }
    // The action that shows a menu item now, or nullptr.
    QAction* ActionOf(const TMenuItem& item) const;
    // How often the window ran FormActivate by itself (only on its first activation).
    int FormActivations() const { return formActivations_; }

    // Puts the window in the middle of its screen's work area.
    void Centre();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Dispatch(const std::function<void()>& event);
    // Subscribes `refresh` to the notifier and runs it once now.
    void Watch(TNotifier& notifier, std::function<void()> refresh);
    QWidget* ParentWidgetOf(const TControl& control) const;
    template <typename W>
    W* Place(TControl& control, W* widget);
    void RefreshCommon(const TControl& control, QWidget* widget);
    QFont FontOf(const TControl& control, QWidget* widget) const;

    // TFormBuilder: a widget a control, at its place in its parent's widget.
    void AddMenuBar(TMenuBar& bar) override;
    void AddGroupBox(TGroupBox& box) override;
    void AddPageControl(TPageControl& pages) override;
    void AddLabel(TLabel& label) override;
    void AddButton(TButton& button) override;
    void AddCheckBox(TCheckBox& box) override;
    void AddSpinEdit(TSpinEdit& spin) override;
    void AddComboBox(TComboBox& combo) override;
    void AddMemo(TMemo& memo) override;
    void AddProgressBar(TProgressBar& bar) override;
    void AddStatusBar(TStatusBar& bar) override;
    void AddGrid(TStringGrid& grid) override;
    void AddPopupMenu(TPopupMenu& menu) override;
    void LayOnTop(TControl& control) override;
    void OpenPopup(TPopupMenu& menu, const QPoint& at);

    void ApplyWindowSize();
    void SyncMenus();
    void SyncMenu(QWidget* container, TMenuItem& parent);
    QAction* CreateAction(QWidget* container, bool submenu);
    void DiscardAction(QWidget* container, QAction* action);
    void UpdateAction(QWidget* container, QAction* action, const TMenuItem& item);
    void ActionTriggered(QAction* action);

    TForm1& form_;
    QWidget* client_ = nullptr;
    QScrollArea* scroll_ = nullptr;
    QMenuBar* menuBar_ = nullptr;
    std::unordered_map<const TControl*, QWidget*> widgets_;
    std::unordered_map<const QAction*, TMenuItem*> items_;
    std::unordered_map<const QWidget*, QActionGroup*> radioGroups_;
    bool activated_ = false;
    int formActivations_ = 0;
    bool menuFocused_ = false;
    bool closing_ = false;
};

}  // namespace imconf
