#include "qt/ControlWidgets.h"

#include "qt/Look.h"

#include <QFocusEvent>
#include <algorithm>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
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
    p.drawPolyline(QPolygonF({QPointF(2, 10.5), QPointF(2, 14), QPointF(14, 14), QPointF(14, 10.5)}));
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

// ---- spin editor ---------------------------------------------------------------------------

class SpinEditWidget::LineEdit final : public QLineEdit {
public:
    LineEdit(SpinEditWidget& owner, QWidget* parent) : QLineEdit(parent), owner_(owner) {}

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        if (owner_.TypedKey(event)) {
            event->accept();
            return;
        }
        QLineEdit::keyPressEvent(event);
    }

private:
    SpinEditWidget& owner_;
};

namespace {
constexpr int kSpinButtonWidth = 15;
}  // namespace

SpinEditWidget::SpinEditWidget(TSpinEdit& control, Dispatcher dispatch, QWidget* parent)
    : QFrame(parent), control_(control), dispatch_(std::move(dispatch))
{
    setFrameShape(QFrame::NoFrame);
    editor_ = new LineEdit(*this, this);
    editor_->setObjectName(QString::fromStdString(control.Name()) + ".Edit");
    editor_->setAlignment(Qt::AlignCenter);
    editor_->setValidator(
        new QRegularExpressionValidator(QRegularExpression("[0-9]*"), editor_));
    editor_->setAttribute(Qt::WA_InputMethodEnabled, false);
    editor_->setContextMenuPolicy(Qt::NoContextMenu);
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
        button->setStyleSheet("QToolButton { border: 1px solid #a0a0a0; background: #f0f0f0; padding: 0; }"
                              "QToolButton:pressed { background: #d8d8d8; }");
    }
    connect(up_, &QToolButton::clicked, this, [this] { Forward([this] { control_.SpinUp(); }); });
    connect(down_, &QToolButton::clicked, this, [this] { Forward([this] { control_.SpinDown(); }); });
    // Edits the editor makes itself (paste, delete, typing into a selection or before the end).
    connect(editor_, &QLineEdit::textEdited, this, [this](const QString& text) {
        Forward([this, value = text.toStdString()] { control_.SetTextByUser(value); });
    });
    Refresh();
}

void SpinEditWidget::Forward(const std::function<void()>& event)
{
    dispatch_(event);
    Refresh();
}

bool SpinEditWidget::TypedKey(QKeyEvent* event)
{
    const Qt::KeyboardModifiers mods =
        event->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier);
    if (mods != Qt::NoModifier)
        return false;
    const bool atEnd = !editor_->hasSelectedText() && editor_->cursorPosition() == editor_->text().size();
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // The key goes down, then its character comes, as on every desktop.
        Forward([this] {
            control_.KeyDown(vk::Return);
            control_.KeyPress(static_cast<char>(vk::Return));
        });
        return true;
    case Qt::Key_Up:
        Forward([this] { control_.KeyDown(vk::Up); });
        return true;
    case Qt::Key_Down:
        Forward([this] { control_.KeyDown(vk::Down); });
        return true;
    case Qt::Key_Backspace:
        if (!atEnd)
            return false;
        Forward([this] { control_.KeyPress('\b'); });
        return true;
    default:
        break;
    }
    const QString text = event->text();
    if (text.size() != 1 || !text[0].isPrint())
        return false;
    const char16_t code = text[0].unicode();
    if (code >= 0x80)
        return true;  // the editor takes digits only
    const char key = static_cast<char>(code);
    const bool digit = key >= '0' && key <= '9';
    // A digit typed into a selection or before the end is the editor's own edit (textEdited).
    if (digit && !atEnd)
        return false;
    Forward([this, key] { control_.KeyPress(key); });
    return true;
}

void SpinEditWidget::Refresh()
{
    editor_->setMaxLength(control_.MaxLength > 0 ? control_.MaxLength : 32767);
    const QString text = QString::fromStdString(control_.Text());
    if (editor_->text() != text)
        editor_->setText(text);
    if (control_.Focused() && isVisible() && !editor_->hasFocus())
        editor_->setFocus(Qt::OtherFocusReason);
    if (control_.AllSelected() && !editor_->hasSelectedText())
        editor_->selectAll();
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
    : QComboBox(parent), control_(control), dispatch_(std::move(dispatch))
{
    setEditable(false);
    setInsertPolicy(QComboBox::NoInsert);
    setMaxVisibleItems(10);
    connect(this, &QComboBox::activated, this, [this](int index) {
        dispatch_([this, index] { control_.ChooseByUser(index); });
        Refresh();
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
    // A click opens the list by itself; focus that comes back from the list or from another
    // window does not open it again.
    switch (event->reason()) {
    case Qt::TabFocusReason:
    case Qt::BacktabFocusReason:
    case Qt::ShortcutFocusReason:
    case Qt::OtherFocusReason:
        QTimer::singleShot(0, this, [this] {
            if (hasFocus() && isEnabled() && isVisible())
                showPopup();
        });
        break;
    default:
        break;
    }
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
    : QFrame(parent), control_(control)
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
        label->setFont(FitFont(font(), label->text(), label->contentsRect().width() - 2 * kPanelIndent));
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
