#include "qt/ControlWidgets.h"

#include "qt/Look.h"

#include <algorithm>

#include <QClipboard>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPointer>
#include <QScrollBar>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <QTextCursor>
#include <QTimer>
#include <QToolButton>

namespace imconf::qtui {

// ---- icons ---------------------------------------------------------------------------------

namespace {

constexpr int kIconSize = 16;

QPixmap BlankIcon()
{
    QPixmap pixmap(kIconSize, kIconSize);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

void DrawTray(QPainter& p)
{
    p.setPen(QPen(QColor(70, 70, 70), 1.6, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(
        QPolygonF({QPointF(2, 10.5), QPointF(2, 14), QPointF(14, 14), QPointF(14, 10.5)}));
}

void DrawArrow(QPainter& p, bool down, const QColor& color)
{
    p.setPen(QPen(color.darker(140), 1));
    p.setBrush(color);
    QPainterPath arrow;
    if (down) {
        arrow.moveTo(6, 1);
        arrow.lineTo(10, 1);
        arrow.lineTo(10, 6);
        arrow.lineTo(13, 6);
        arrow.lineTo(8, 11.5);
        arrow.lineTo(3, 6);
        arrow.lineTo(6, 6);
    } else {
        arrow.moveTo(8, 1);
        arrow.lineTo(13, 6.5);
        arrow.lineTo(10, 6.5);
        arrow.lineTo(10, 11.5);
        arrow.lineTo(6, 11.5);
        arrow.lineTo(6, 6.5);
        arrow.lineTo(3, 6.5);
    }
    arrow.closeSubpath();
    p.drawPath(arrow);
}

void DrawPadlock(QPainter& p)
{
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(90, 90, 90), 2));
    p.drawArc(QRectF(4.5, 1.5, 7, 9), 0, 180 * 16);
    p.drawLine(QPointF(4.5, 6), QPointF(4.5, 8));
    p.drawLine(QPointF(11.5, 6), QPointF(11.5, 8));
    p.setPen(QPen(QColor(150, 110, 0), 1));
    p.setBrush(QColor(230, 180, 30));
    p.drawRoundedRect(QRectF(2.5, 7.5, 11, 7.5), 1.5, 1.5);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(80, 60, 0));
    p.drawEllipse(QRectF(7, 9.5, 2, 2));
    p.drawRect(QRectF(7.5, 10.5, 1, 2.5));
}

void DrawSpeakerOff(QPainter& p)
{
    p.setPen(QPen(QColor(50, 50, 50), 1));
    p.setBrush(QColor(110, 110, 110));
    p.drawPolygon(QPolygonF({QPointF(1.5, 5.5), QPointF(4.5, 5.5), QPointF(8.5, 1.5),
                             QPointF(8.5, 14.5), QPointF(4.5, 10.5), QPointF(1.5, 10.5)}));
    p.setPen(QPen(QColor(210, 0, 0), 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(10.5, 5.5), QPointF(14.5, 10.5));
    p.drawLine(QPointF(14.5, 5.5), QPointF(10.5, 10.5));
}

}  // namespace

QIcon MakeIcon(const std::string& name)
{
    QPixmap pixmap = BlankIcon();
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    if (name == "read") {
        DrawTray(p);
        DrawArrow(p, true, QColor(30, 150, 40));
    } else if (name == "write") {
        DrawTray(p);
        DrawArrow(p, false, QColor(220, 90, 20));
    } else if (name == "block") {
        DrawPadlock(p);
    } else if (name == "sound-off") {
        DrawSpeakerOff(p);
    } else {
        return {};
    }
    p.end();
    return QIcon(pixmap);
}

// ---- raw input -----------------------------------------------------------------------------

std::uint16_t VirtualKey(int qtKey)
{
    // Digits and letters have the same codes in both.
    if ((qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) || (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z))
        return static_cast<std::uint16_t>(qtKey);
    switch (qtKey) {
    case Qt::Key_Backspace: return vk::Back;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return vk::Tab;
    case Qt::Key_Return:
    case Qt::Key_Enter: return vk::Return;
    case Qt::Key_Escape: return vk::Escape;
    case Qt::Key_PageUp: return vk::Prior;
    case Qt::Key_PageDown: return vk::Next;
    case Qt::Key_End: return vk::End;
    case Qt::Key_Home: return vk::Home;
    case Qt::Key_Left: return vk::Left;
    case Qt::Key_Up: return vk::Up;
    case Qt::Key_Right: return vk::Right;
    case Qt::Key_Down: return vk::Down;
    case Qt::Key_Delete: return vk::Delete;
    default: return 0;
    }
}

TShiftState ShiftOf(Qt::KeyboardModifiers modifiers)
{
    TShiftState shift = 0;
    if (modifiers & Qt::ShiftModifier)
        shift |= ss::Shift;
    if (modifiers & Qt::AltModifier)
        shift |= ss::Alt;
    if (modifiers & Qt::ControlModifier)
        shift |= ss::Ctrl;
    return shift;
}

TMouseButton ButtonOf(Qt::MouseButton button)
{
    switch (button) {
    case Qt::LeftButton: return TMouseButton::mbLeft;
    case Qt::RightButton: return TMouseButton::mbRight;
    case Qt::MiddleButton: return TMouseButton::mbMiddle;
    default: return TMouseButton::mbExtra;
    }
}

TFocusCause CauseOf(Qt::FocusReason reason)
{
    switch (reason) {
    case Qt::TabFocusReason:
    case Qt::BacktabFocusReason:
    case Qt::ShortcutFocusReason: return TFocusCause::Keyboard;
    case Qt::OtherFocusReason: return TFocusCause::Program;
    case Qt::MouseFocusReason: return TFocusCause::Mouse;
    default: return TFocusCause::Return;
    }
}

// ---- spin editor ---------------------------------------------------------------------------

class SpinEditWidget::LineEdit final : public QLineEdit {
public:
    LineEdit(SpinEditWidget& owner, QWidget* parent) : QLineEdit(parent), owner_(owner) {}

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        if (owner_.ForwardKey(event))
            event->accept();
        else
            event->ignore();
    }
    // The middle button pastes the mouse selection at the clicked place, through the control.
    void mousePressEvent(QMouseEvent* event) override
    {
        if (event->button() != Qt::MiddleButton)
            QLineEdit::mousePressEvent(event);
    }
    void mouseReleaseEvent(QMouseEvent* event) override
    {
        if (event->button() != Qt::MiddleButton) {
            QLineEdit::mouseReleaseEvent(event);
            return;
        }
        const QClipboard* clipboard = QGuiApplication::clipboard();
        if (!clipboard->supportsSelection())
            return;
        const int at = cursorPositionAt(event->position().toPoint());
        owner_.Forward([this, at] { owner_.control_.SetSelection(at, at); });
        owner_.ForwardText(clipboard->text(QClipboard::Selection));
    }
    void focusInEvent(QFocusEvent* event) override
    {
        QLineEdit::focusInEvent(event);
        if (!owner_.rendering_)
            owner_.Forward(
                [this, cause = CauseOf(event->reason())] { owner_.control_.Enter(cause); });
    }
    void focusOutEvent(QFocusEvent* event) override
    {
        QLineEdit::focusOutEvent(event);
        owner_.Forward([this] { owner_.control_.Exit(); });
    }

private:
    SpinEditWidget& owner_;
};

namespace {
constexpr int kSpinButtonWidth = 15;
}  // namespace

SpinEditWidget::SpinEditWidget(TSpinEdit& control, Dispatcher dispatch, QWidget* parent)
    : QFrame(parent),
      control_(control),
      dispatch_(std::move(dispatch))
{
    setFrameShape(QFrame::NoFrame);
    editor_ = new LineEdit(*this, this);
    editor_->setObjectName(QString::fromStdString(control.Name()) + ".Edit");
    editor_->setAlignment(Qt::AlignCenter);
    editor_->setAttribute(Qt::WA_InputMethodEnabled, false);
    editor_->setContextMenuPolicy(Qt::NoContextMenu);
    editor_->setDragEnabled(false);
    editor_->setAcceptDrops(false);
    setFocusProxy(editor_);

    up_ = new QToolButton(editor_);
    down_ = new QToolButton(editor_);
    up_->setObjectName(QString::fromStdString(control.Name()) + ".Up");
    down_->setObjectName(QString::fromStdString(control.Name()) + ".Down");
    up_->setArrowType(Qt::UpArrow);
    down_->setArrowType(Qt::DownArrow);
    for (QToolButton* button : {up_, down_}) {
        button->setFocusPolicy(Qt::NoFocus);
        button->setAutoRepeat(true);
        button->setCursor(Qt::ArrowCursor);
        button->setAutoRaise(false);
        button->setToolButtonStyle(Qt::ToolButtonIconOnly);
        button->setStyleSheet(
            "QToolButton { border: 1px solid #a0a0a0; background: #f0f0f0; padding: 0; }"
            "QToolButton:pressed { background: #d8d8d8; }");
    }
    connect(up_, &QToolButton::clicked, this, [this] { Forward([this] { control_.SpinUp(); }); });
    connect(down_, &QToolButton::clicked, this,
            [this] { Forward([this] { control_.SpinDown(); }); });
    // The caret and the selection the mouse (or anyone else) made in the line edit.
    connect(editor_, &QLineEdit::cursorPositionChanged, this, [this] { ForwardSelection(); });
    connect(editor_, &QLineEdit::selectionChanged, this, [this] { ForwardSelection(); });
    Refresh();
}

SpinEditWidget::~SpinEditWidget()
{
    // The line edit goes first, while this widget is whole: a focus change on the way out
    // must not reach a half-destroyed owner.
    setFocusProxy(nullptr);
    delete editor_;
}

void SpinEditWidget::Forward(const std::function<void()>& event)
{
    dispatch_(event);
    Refresh();
}

void SpinEditWidget::ForwardSelection()
{
    if (rendering_)
        return;
    const int caret = editor_->cursorPosition();
    int anchor = caret;
    if (editor_->hasSelectedText()) {
        const int start = editor_->selectionStart();
        anchor = caret == start ? start + static_cast<int>(editor_->selectedText().size()) : start;
    }
    if (anchor == control_.Anchor() && caret == control_.CaretPos())
        return;
    Forward([this, anchor, caret] { control_.SetSelection(anchor, caret); });
}

void SpinEditWidget::ForwardText(const QString& text)
{
    if (!text.isEmpty())
        Forward([this, utf8 = text.toStdString()] { control_.TypeText(utf8); });
}

bool SpinEditWidget::ForwardKey(QKeyEvent* event)
{
    // The clipboard is the toolkit's: pasted text goes to the control like typed text, and a
    // cut deletes the control's selection.
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (event->matches(QKeySequence::Paste)) {
        ForwardText(clipboard->text());
        return true;
    }
    if (event->matches(QKeySequence::Copy) || event->matches(QKeySequence::Cut)) {
        if (control_.SelLength() > 0)
            clipboard->setText(QString::fromStdString(control_.SelText()));
        if (event->matches(QKeySequence::Cut))
            Forward([this] { control_.ClearSelection(); });
        return true;
    }
    if (event->matches(QKeySequence::SelectAll)) {
        Forward([this] { control_.SelectAll(); });
        return true;
    }
    // The key goes down, then its character comes, as on every desktop. A key held with Ctrl
    // or Alt types nothing, and Delete types no character.
    const QString text =
        event->modifiers() & (Qt::ControlModifier | Qt::AltModifier) ? QString() : event->text();
    const bool typed = !text.isEmpty() && text != QChar(0x7F);
    bool used = false;
    Forward([&] {
        used = control_.KeyDown(VirtualKey(event->key()), ShiftOf(event->modifiers()));
        if (!typed)
            return;
        if (text.size() == 1 && text[0].unicode() < 0x80)
            control_.KeyPress(static_cast<char>(text[0].unicode()));
        else
            control_.TypeText(text.toStdString());
    });
    return used || typed;
}

void SpinEditWidget::Refresh()
{
    rendering_ = true;
    const QString text = QString::fromStdString(control_.Text());
    if (editor_->text() != text)
        editor_->setText(text);
    const int caret = control_.CaretPos();
    const int anchor = control_.Anchor();
    if (anchor == caret) {
        if (editor_->hasSelectedText() || editor_->cursorPosition() != caret)
            editor_->setCursorPosition(caret);
    } else if (editor_->cursorPosition() != caret ||
               editor_->selectionStart() != control_.SelStart() ||
               editor_->selectedText().size() != control_.SelLength()) {
        editor_->setSelection(anchor, caret - anchor);
    }
    if (control_.Focused() && isVisible() && !editor_->hasFocus())
        editor_->setFocus(Qt::OtherFocusReason);
    rendering_ = false;
}

void SpinEditWidget::resizeEvent(QResizeEvent* event)
{
    QFrame::resizeEvent(event);
    editor_->setGeometry(rect());
    const int frame = 2;
    const int inner = height() - 2 * frame;
    const int upHeight = (inner + 1) / 2;
    const int x = width() - frame - kSpinButtonWidth;
    up_->setGeometry(x, frame, kSpinButtonWidth, upHeight);
    down_->setGeometry(x, frame + upHeight, kSpinButtonWidth, inner - upHeight);
    editor_->setTextMargins(0, 0, kSpinButtonWidth, 0);
}

// ---- drop-down list ------------------------------------------------------------------------

ComboBoxWidget::ComboBoxWidget(TComboBox& control, Dispatcher dispatch, QWidget* parent)
    : QComboBox(parent),
      control_(control),
      dispatch_(std::move(dispatch))
{
    setEditable(false);
    setInsertPolicy(QComboBox::NoInsert);
    setMaxVisibleItems(10);
    connect(this, &QComboBox::activated, this, [this](int index) {
        dispatch_([this, index] { control_.ChooseByUser(index); });
        Refresh();
    });
    // The list is shown when the control asks, once the focus change is over.
    control_.SubscribeDropDown([self = QPointer<ComboBoxWidget>(this)] {
        if (!self)
            return;
        QTimer::singleShot(0, self, [self] {
            if (self && self->hasFocus() && self->isEnabled() && self->isVisible())
                self->showPopup();
        });
    });
    Refresh();
}

void ComboBoxWidget::Refresh()
{
    QStringList items;
    for (const std::string& item : control_.Items)
        items << QString::fromStdString(item);
    QStringList shown;
    for (int i = 0; i < count(); ++i)
        shown << itemText(i);
    const QSignalBlocker block(this);
    if (shown != items) {
        clear();
        addItems(items);
        for (int i = 0; i < count(); ++i)
            setItemData(i, Qt::AlignCenter, Qt::TextAlignmentRole);
    }
    if (currentIndex() != control_.ItemIndex())
        setCurrentIndex(control_.ItemIndex());
}

void ComboBoxWidget::paintEvent(QPaintEvent* /*event*/)
{
    QStylePainter painter(this);
    QStyleOptionComboBox option;
    initStyleOption(&option);
    option.textAlignment = Qt::AlignCenter;
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    painter.drawControl(QStyle::CE_ComboBoxLabel, option);
}

void ComboBoxWidget::focusInEvent(QFocusEvent* event)
{
    QComboBox::focusInEvent(event);
    dispatch_([this, cause = CauseOf(event->reason())] { control_.Enter(cause); });
}

// ---- memo ----------------------------------------------------------------------------------

MemoWidget::MemoWidget(TMemo& control, QWidget* parent) : QPlainTextEdit(parent), control_(control)
{
    setReadOnly(true);
    setTextInteractionFlags(Qt::NoTextInteraction);
    setUndoRedoEnabled(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    setFocusPolicy(Qt::NoFocus);
    setContextMenuPolicy(Qt::NoContextMenu);
    viewport()->setCursor(Qt::ArrowCursor);
    document()->setDocumentMargin(2);
    Refresh();
}

void MemoWidget::Refresh()
{
    QPalette pal = palette();
    const QColor color = ToQColor(control_.FontColor());
    if (pal.color(QPalette::Text) != color) {
        pal.setColor(QPalette::Text, color);
        pal.setColor(QPalette::Disabled, QPalette::Text, color);
        setPalette(pal);
    }

    const std::vector<std::string>& lines = control_.Lines.Items();
    const bool appended = !shown_.empty() && lines.size() >= shown_.size() &&
                          std::equal(shown_.begin(), shown_.end(), lines.begin());
    if (appended) {
        for (std::size_t i = shown_.size(); i < lines.size(); ++i)
            appendPlainText(QString::fromStdString(lines[i]));
    } else {
        setPlainText(QString::fromStdString(control_.Lines.Text()));
    }
    shown_ = lines;

    QTextCursor cursor = textCursor();
    cursor.movePosition(QTextCursor::End);
    setTextCursor(cursor);
    ensureCursorVisible();
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

// ---- status bar ----------------------------------------------------------------------------

namespace {
constexpr int kPanelIndent = 2;
}  // namespace

StatusBarWidget::StatusBarWidget(TStatusBar& control, QWidget* parent)
    : QFrame(parent),
      control_(control)
{
    setFrameShape(QFrame::NoFrame);
    setAutoFillBackground(true);
    Refresh();
}

QLabel* StatusBarWidget::PanelLabel(std::size_t index) const
{
    return index < panels_.size() ? panels_[index] : nullptr;
}

void StatusBarWidget::Refresh()
{
    while (panels_.size() < control_.PanelCount()) {
        auto* label = new QLabel(this);
        label->setObjectName(QString::fromStdString(control_.Name()) + ".Panel" +
                             QString::number(panels_.size()));
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setTextFormat(Qt::PlainText);
        label->setIndent(kPanelIndent);
        label->show();
        panels_.push_back(label);
    }
    while (panels_.size() > control_.PanelCount()) {
        delete panels_.back();
        panels_.pop_back();
    }
    for (std::size_t i = 0; i < panels_.size(); ++i) {
        const TStatusPanel& panel = control_.Panel(i);
        Qt::Alignment alignment = Qt::AlignVCenter;
        switch (panel.Alignment) {
        case TAlignment::taCenter: alignment |= Qt::AlignHCenter; break;
        case TAlignment::taRightJustify: alignment |= Qt::AlignRight; break;
        case TAlignment::taLeftJustify: alignment |= Qt::AlignLeft; break;
        }
        panels_[i]->setAlignment(alignment);
        panels_[i]->setText(QString::fromStdString(panel.Text));
    }
    LayOutPanels();
}

void StatusBarWidget::FitTexts()
{
    // A panel text that does not fit its panel is shown a little smaller, not cut.
    for (QLabel* label : panels_)
        label->setFont(
            FitFont(font(), label->text(), label->contentsRect().width() - 2 * kPanelIndent));
}

void StatusBarWidget::resizeEvent(QResizeEvent* event)
{
    QFrame::resizeEvent(event);
    LayOutPanels();
}

void StatusBarWidget::LayOutPanels()
{
    constexpr int kGap = 2;
    constexpr int kTop = 2;
    int x = 0;
    for (std::size_t i = 0; i < panels_.size(); ++i) {
        const bool last = i + 1 == panels_.size();
        const int width = last ? std::max(0, this->width() - x) : control_.Panel(i).Width - kGap;
        panels_[i]->setGeometry(x, kTop, std::max(0, width), std::max(0, height() - kTop));
        x += control_.Panel(i).Width;
    }
    FitTexts();
}

}  // namespace imconf::qtui
