#include "qt/MainWindow.h"

#include "qt/Look.h"

#include <QAction>
#include <QActionGroup>
#include <QCheckBox>
#include <QEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include "qt/GridWidget.h"

#include <algorithm>

#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QTabWidget>

namespace imconf {

namespace {

constexpr int kIconExtent = 16;
// What a push button keeps for its frame and padding beside the caption.
constexpr int kButtonPadding = 10;
// What a group frame keeps beside its caption.
constexpr int kGroupCaptionPadding = 16;
// The estimated title bar and borders before the window has a frame.
constexpr int kEstimatedFrameHeight = 30;

constexpr const char* kProgressStyle =
    "QProgressBar { border: 1px solid #7a7a7a; background: #ffffff; padding: 1px; }"
    "QProgressBar::chunk { background-color: #0a64ad; width: 7px; margin: 0px 1px; }";

QString Text(const std::string& text)
{
    return QString::fromStdString(text);
}

}  // namespace

MainWindow::MainWindow(TForm1& form, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      form_(form)
{
    setObjectName("MainWindow");
    setAttribute(Qt::WA_InputMethodEnabled, false);
    client_ = new QWidget(this);
    client_->setObjectName(Text(form.Name()));
    client_->setAutoFillBackground(true);
    client_->setFont(qtui::MakeFont(form.Font, font()));

    form_.BuildControls(*this);
    Watch(form_, [this] {
        setWindowTitle(Text(form_.Caption()));
        ApplyWindowSize();
    });
    Centre();
}

MainWindow::~MainWindow()
{
    // The controls' widgets go while the window is whole; what they would still forward on
    // the way out (a focus that leaves) is no user's input.
    closing_ = true;
    QWidget* content = scroll_ != nullptr ? static_cast<QWidget*>(scroll_) : client_;
    delete content;
}

void MainWindow::Dispatch(const std::function<void()>& event)
{
    if (!closing_)
        form_.HandleEvent(event);
}

void MainWindow::Watch(TNotifier& notifier, std::function<void()> refresh)
{
    // Subscriptions live as long as the control; a closed window no longer listens.
    notifier.Subscribe([self = QPointer<MainWindow>(this), refresh] {
        if (self && !self->closing_)
            refresh();
    });
    refresh();
}

QWidget* MainWindow::WidgetOf(const TControl& control) const
{
    const auto it = widgets_.find(&control);
    return it == widgets_.end() ? nullptr : it->second;
}

QAction* MainWindow::ActionOf(const TMenuItem& item) const
{
    for (const auto& [action, shown] : items_) {
        if (shown == &item)
            return const_cast<QAction*>(action);
    }
    return nullptr;
}

QWidget* MainWindow::ParentWidgetOf(const TControl& control) const
{
    const TControl* parent = control.Parent();
    if (parent == nullptr || parent == &form_)
        return client_;
    QWidget* widget = WidgetOf(*parent);
    return widget != nullptr ? widget : client_;
}

template <typename W>
W* MainWindow::Place(TControl& control, W* widget)
{
    widget->setObjectName(Text(control.Name()));
    widgets_[&control] = widget;
    return widget;
}

void MainWindow::RefreshCommon(const TControl& control, QWidget* widget)
{
    int width = control.Width();
    // The menu bar sizes itself to its items.
    if (widget == menuBar_ && menuBar_ != nullptr)
        width = std::max(width, menuBar_->sizeHint().width());
    widget->setGeometry(control.Left(), control.Top(), width, control.Height());
    widget->setHidden(!control.Visible());
    widget->setEnabled(control.Enabled());
}

QFont MainWindow::FontOf(const TControl& control, QWidget* widget) const
{
    const QWidget* parent = widget->parentWidget() != nullptr ? widget->parentWidget() : client_;
    return qtui::MakeFont(control.Font, parent->font());
}

// ---- controls ------------------------------------------------------------------------------

void MainWindow::LayOnTop(TControl& control)
{
    WidgetOf(control)->raise();
}

void MainWindow::AddGrid(TStringGrid& grid)
{
    Place(grid,
          new qtui::GridWidget(
              grid, [this](const std::function<void()>& e) { Dispatch(e); }, ParentWidgetOf(grid)));
}

void MainWindow::AddPopupMenu(TPopupMenu& menu)
{
    // The menu opens where its control says, and the forwarded press waits in it.
    menu.SubscribeShow([self = QPointer<MainWindow>(this)](TPopupMenu& shown) {
        if (!self || shown.PopupComponent() == nullptr)
            return;
        QWidget* over = self->WidgetOf(*shown.PopupComponent());
        const QPoint at(shown.PopupX(), shown.PopupY());
        self->OpenPopup(shown, over != nullptr ? over->mapToGlobal(at) : self->mapToGlobal(at));
    });
}

void MainWindow::OpenPopup(TPopupMenu& menu, const QPoint& at)
{
    QMenu popup(this);
    popup.setObjectName(Text(menu.Name()));
    popup.setToolTipsVisible(true);
    SyncMenu(&popup, menu.Items);
    popup.exec(at);
    // The popup's actions and submenus go with it.
    std::function<void(QWidget*)> forget = [&](QWidget* container) {
        for (QAction* action : container->actions()) {
            items_.erase(action);
            if (QMenu* sub = action->menu()) {
                forget(sub);
                sub->deleteLater();
            }
        }
        radioGroups_.erase(container);
    };
    forget(&popup);
}

void MainWindow::AddMenuBar(TMenuBar& bar)
{
    menuBar_ = Place(bar, new QMenuBar(ParentWidgetOf(bar)));
    menuBar_->setNativeMenuBar(false);
    // Any press on the bar reaches the control before a menu opens.
    menuBar_->installEventFilter(this);
    Watch(bar, [this, &bar] {
        SyncMenus();
        RefreshCommon(bar, menuBar_);
        if (bar.Focused() && !menuFocused_)
            menuBar_->setFocus(Qt::OtherFocusReason);
        menuFocused_ = bar.Focused();
    });
}

void MainWindow::AddGroupBox(TGroupBox& box)
{
    auto* widget = Place(box, new QGroupBox(ParentWidgetOf(box)));
    widget->setFlat(false);
    Watch(box, [this, &box, widget] {
        RefreshCommon(box, widget);
        const QString caption = Text(box.Caption());
        widget->setFont(
            qtui::FitFont(FontOf(box, widget), caption, box.Width() - kGroupCaptionPadding));
        widget->setTitle(caption);
        widget->setToolTip(Text(box.Hint()));
    });
}

void MainWindow::AddPageControl(TPageControl& pages)
{
    auto* tabs = Place(pages, new QTabWidget(ParentWidgetOf(pages)));
    tabs->setUsesScrollButtons(false);
    tabs->setDocumentMode(false);
    for (std::size_t i = 0; i < pages.PageCount(); ++i) {
        TTabSheet& sheet = pages.Page(i);
        auto* page = Place(sheet, new QWidget);
        page->setAutoFillBackground(true);
        const int index = tabs->addTab(page, Text(sheet.Caption()));
        Watch(sheet, [tabs, index, &sheet] {
            tabs->setTabText(index, Text(sheet.Caption()));
            tabs->setTabToolTip(index, Text(sheet.Hint()));
            tabs->setTabEnabled(index, sheet.Enabled());
        });
    }
    // A click on a tab goes to the control, which decides the page shown.
    connect(tabs, &QTabWidget::currentChanged, this, [this, &pages, tabs](int index) {
        if (index < 0)
            return;
        Dispatch([&pages, index] { pages.ClickTab(static_cast<std::size_t>(index)); });
        const QSignalBlocker block(tabs);
        tabs->setCurrentIndex(static_cast<int>(pages.ActivePageIndex()));
    });
    Watch(pages, [this, &pages, tabs] {
        RefreshCommon(pages, tabs);
        const QSignalBlocker block(tabs);
        tabs->setCurrentIndex(static_cast<int>(pages.ActivePageIndex()));
    });
}

void MainWindow::AddLabel(TLabel& label)
{
    auto* widget = Place(label, new QLabel(ParentWidgetOf(label)));
    widget->setTextFormat(Qt::PlainText);
    widget->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    Watch(label, [this, &label, widget] {
        RefreshCommon(label, widget);
        const QString caption = Text(label.Caption());
        widget->setFont(qtui::FitFont(FontOf(label, widget), caption, label.Width()));
        widget->setText(caption);
        widget->setToolTip(Text(label.Hint()));
    });
}

void MainWindow::AddButton(TButton& button)
{
    auto* widget = Place(button, new QPushButton(ParentWidgetOf(button)));
    widget->setAutoDefault(false);
    widget->setIconSize(QSize(kIconExtent, kIconExtent));
    connect(widget, &QPushButton::clicked, this,
            [this, &button] { Dispatch([&button] { button.Click(); }); });
    Watch(button, [this, &button, widget] {
        RefreshCommon(button, widget);
        const QIcon icon = qtui::MakeIcon(button.Icon);
        widget->setIcon(icon);
        const QString caption = Text(button.Caption());
        const int room = button.Width() - kButtonPadding - (icon.isNull() ? 0 : kIconExtent + 4);
        widget->setFont(qtui::FitFont(FontOf(button, widget), caption, room));
        widget->setText(caption);
        widget->setToolTip(Text(button.Hint()));
    });
}

void MainWindow::AddCheckBox(TCheckBox& box)
{
    auto* widget = Place(box, new QCheckBox(ParentWidgetOf(box)));
    // The box shows the control's state; there is no user change to forward.
    connect(widget, &QCheckBox::toggled, this, [widget, &box](bool checked) {
        if (checked != box.Checked()) {
            const QSignalBlocker block(widget);
            widget->setChecked(box.Checked());
        }
    });
    Watch(box, [this, &box, widget] {
        RefreshCommon(box, widget);
        widget->setText(Text(box.Caption()));
        widget->setToolTip(Text(box.Hint()));
        const QSignalBlocker block(widget);
        widget->setChecked(box.Checked());
    });
}

void MainWindow::AddSpinEdit(TSpinEdit& spin)
{
    auto* widget = Place(spin, new qtui::SpinEditWidget(
                                   spin, [this](const std::function<void()>& e) { Dispatch(e); },
                                   ParentWidgetOf(spin)));
    Watch(spin, [this, &spin, widget] {
        RefreshCommon(spin, widget);
        widget->setFont(FontOf(spin, widget));
        widget->Refresh();
    });
}

void MainWindow::AddComboBox(TComboBox& combo)
{
    auto* widget = Place(combo, new qtui::ComboBoxWidget(
                                    combo, [this](const std::function<void()>& e) { Dispatch(e); },
                                    ParentWidgetOf(combo)));
    Watch(combo, [this, &combo, widget] {
        RefreshCommon(combo, widget);
        widget->setFont(FontOf(combo, widget));
        widget->Refresh();
    });
}

void MainWindow::AddMemo(TMemo& memo)
{
    auto* widget = Place(memo, new qtui::MemoWidget(memo, ParentWidgetOf(memo)));
    Watch(memo, [this, &memo, widget] {
        RefreshCommon(memo, widget);
        widget->setFont(FontOf(memo, widget));
        widget->Refresh();
    });
}

void MainWindow::AddProgressBar(TProgressBar& bar)
{
    auto* widget = Place(bar, new QProgressBar(ParentWidgetOf(bar)));
    widget->setOrientation(Qt::Horizontal);
    widget->setTextVisible(false);
    widget->setStyleSheet(kProgressStyle);
    Watch(bar, [this, &bar, widget] {
        RefreshCommon(bar, widget);
        widget->setRange(bar.Min(), std::max(bar.Min(), bar.Max()));
        widget->setValue(std::clamp(bar.Position(), widget->minimum(), widget->maximum()));
    });
}

void MainWindow::AddStatusBar(TStatusBar& bar)
{
    auto* widget = Place(bar, new qtui::StatusBarWidget(bar, ParentWidgetOf(bar)));
    Watch(bar, [this, &bar, widget] {
        RefreshCommon(bar, widget);
        widget->Refresh();
    });
}

// ---- window --------------------------------------------------------------------------------

void MainWindow::ApplyWindowSize()
{
    // The form's client size (the small-screen fit may have cut it); the content keeps the
    // size of the layout and scrolls when the form says so.
    setFixedSize(form_.ClientWidth, form_.ClientHeight);
    client_->setFixedSize(kClientWidth, kClientHeight);
    if (form_.VertScrollBarVisible) {
        if (scroll_ == nullptr) {
            scroll_ = new QScrollArea(this);
            scroll_->setObjectName(Text(form_.Name()) + ".Scroll");
            scroll_->setFrameShape(QFrame::NoFrame);
            scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
            scroll_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
            scroll_->setWidgetResizable(false);
            scroll_->setWidget(client_);
            scroll_->show();
        }
        scroll_->setGeometry(rect());
    } else {
        if (scroll_ != nullptr) {
            scroll_->takeWidget();
            client_->setParent(this);
            client_->show();
            scroll_->deleteLater();
            scroll_ = nullptr;
        }
        client_->move(0, 0);
    }
}

void MainWindow::Centre()
{
    const QScreen* screen =
        this->screen() != nullptr ? this->screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr)
        return;
    const QRect area = screen->availableGeometry();
    const int frameHeight =
        isVisible() ? frameGeometry().height() - height() : kEstimatedFrameHeight;
    const int frameWidth = isVisible() ? frameGeometry().width() - width() : 0;
    move(area.x() + (area.width() - width() - frameWidth) / 2,
         area.y() + std::max(0, (area.height() - height() - frameHeight) / 2));
}

bool MainWindow::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate && !activated_) {
        // Only the first activation runs the activation steps by itself; the form runs them
        // again where it hands the activation back (after its question box).
        activated_ = true;
        ++formActivations_;
        Dispatch([this] { form_.FormActivate(); });
    }
    return QWidget::event(event);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == menuBar_ && (event->type() == QEvent::MouseButtonPress ||
                                event->type() == QEvent::MouseButtonDblClick)) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const QPoint at = mouse->position().toPoint();
        Dispatch([this, button = qtui::ButtonOf(mouse->button()), at] {
            form_.TeMenuBar1.MouseDown(button, at.x(), at.y());
        });
    }
    return QWidget::eventFilter(watched, event);
}

// ---- menus ---------------------------------------------------------------------------------

void MainWindow::SyncMenus()
{
    if (menuBar_ != nullptr)
        SyncMenu(menuBar_, form_.TeMenuBar1.Items);
}

// The actions of a menu follow its items by position. Actions are changed in place and only
// released later, so a change made while a menu is open or an action is firing is safe.
void MainWindow::SyncMenu(QWidget* container, TMenuItem& parent)
{
    for (std::size_t i = 0; i < parent.Count(); ++i) {
        TMenuItem& item = parent.Item(i);
        const bool submenu = item.Count() > 0 && !item.IsSeparator();
        const QList<QAction*> actions = container->actions();
        const auto position = static_cast<qsizetype>(i);
        QAction* action = position < actions.size() ? actions[position] : nullptr;
        if (action != nullptr && (action->menu() != nullptr) != submenu) {
            DiscardAction(container, action);
            action = nullptr;
        }
        if (action == nullptr) {
            action = CreateAction(container, submenu);
            const QList<QAction*> now = container->actions();
            container->insertAction(position < now.size() ? now[position] : nullptr, action);
        }
        items_[action] = &item;
        UpdateAction(container, action, item);
        if (submenu)
            SyncMenu(action->menu(), item);
    }
    QList<QAction*> actions = container->actions();
    for (auto i = static_cast<qsizetype>(parent.Count()); i < actions.size(); ++i)
        DiscardAction(container, actions[i]);
}

QAction* MainWindow::CreateAction(QWidget* container, bool submenu)
{
    if (submenu) {
        auto* menu = new QMenu(this);
        menu->setToolTipsVisible(true);
        return menu->menuAction();
    }
    auto* action = new QAction(container);
    connect(action, &QAction::triggered, this, [this, action] { ActionTriggered(action); });
    return action;
}

void MainWindow::DiscardAction(QWidget* container, QAction* action)
{
    container->removeAction(action);
    items_.erase(action);
    if (QMenu* menu = action->menu()) {
        for (QAction* child : menu->actions())
            DiscardAction(menu, child);
        radioGroups_.erase(menu);
        menu->deleteLater();
    } else {
        action->deleteLater();
    }
}

void MainWindow::UpdateAction(QWidget* container, QAction* action, const TMenuItem& item)
{
    action->setObjectName(Text(item.Name()));
    action->setVisible(item.Visible());
    action->setEnabled(item.Enabled());
    if (item.IsSeparator()) {
        action->setSeparator(true);
        return;
    }
    action->setSeparator(false);
    action->setText(Text(item.Caption()));
    action->setToolTip(Text(item.Hint()));
    action->setStatusTip(Text(item.Hint()));
    if (item.RadioItem()) {
        QActionGroup*& group = radioGroups_[container];
        if (group == nullptr) {
            group = new QActionGroup(container);
            group->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
        }
        action->setCheckable(true);
        action->setActionGroup(group);
    } else {
        action->setActionGroup(nullptr);
        // Only a checked item shows a mark, as the window's menus do.
        action->setCheckable(item.Checked());
    }
    action->setChecked(item.Checked());
}

void MainWindow::ActionTriggered(QAction* action)
{
    const auto it = items_.find(action);
    if (it == items_.end())
        return;
    TMenuItem* item = it->second;
    Dispatch([item] { item->Click(); });
    // Qt turned the mark over by itself; the item decides.
    SyncMenus();
}

}  // namespace imconf
