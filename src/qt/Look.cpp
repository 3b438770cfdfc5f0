#include "qt/Look.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QPalette>
#include <QStringList>
#include <QStyleFactory>

namespace imconf::qtui {

namespace {

const QStringList kMonoSubstitutes{"Liberation Mono", "DejaVu Sans Mono"};
const QStringList kSansSubstitutes{"Liberation Sans", "DejaVu Sans"};

// The families a named font is drawn with: the font itself where the machine has it, then
// its substitutes.
QStringList FamiliesOf(const QString& name)
{
    QStringList families{name};
    const QStringList substitutes = QFont::substitutes(name);
    for (const QString& substitute : substitutes) {
        if (!families.contains(substitute))
            families << substitute;
    }
    return families;
}

// How far a caption's font may be narrowed (per cent) before its size is cut.
constexpr int kNarrowestStretch = 85;

constexpr const char* kStyleSheet = R"(
QGroupBox { border: 1px solid #a0a0a0; border-radius: 0px; margin-top: 6px; }
QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left; left: 8px; top: 0px; padding: 0px; }
QToolTip { color: #000000; background-color: #ffffe1; border: 1px solid #767676; padding: 1px; }
QMenuBar { background: transparent; }
QMenuBar::item { padding: 3px 4px; background: transparent; }
QMenuBar::item:selected { background: #cce8ff; color: #000000; }
QMenuBar::item:pressed { background: #99d1ff; color: #000000; }
)";

}  // namespace

void InstallFontSubstitutes()
{
    QFont::insertSubstitutions("Courier", kMonoSubstitutes);
    QFont::insertSubstitutions("Courier New", kMonoSubstitutes);
    QFont::insertSubstitutions("MS Sans Serif", kSansSubstitutes);
}

void ApplyLook(QApplication& app)
{
    InstallFontSubstitutes();
    if (QStyle* fusion = QStyleFactory::create("Fusion"))
        QApplication::setStyle(fusion);

    const QColor face(240, 240, 240);
    QPalette palette;
    palette.setColor(QPalette::Window, face);
    palette.setColor(QPalette::WindowText, Qt::black);
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::AlternateBase, QColor(245, 245, 245));
    palette.setColor(QPalette::Text, Qt::black);
    palette.setColor(QPalette::Button, face);
    palette.setColor(QPalette::ButtonText, Qt::black);
    palette.setColor(QPalette::BrightText, Qt::red);
    palette.setColor(QPalette::Light, Qt::white);
    palette.setColor(QPalette::Midlight, QColor(227, 227, 227));
    palette.setColor(QPalette::Mid, QColor(160, 160, 160));
    palette.setColor(QPalette::Dark, QColor(105, 105, 105));
    palette.setColor(QPalette::Shadow, QColor(64, 64, 64));
    palette.setColor(QPalette::Highlight, QColor(0, 120, 215));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::ToolTipBase, QColor(255, 255, 225));
    palette.setColor(QPalette::ToolTipText, Qt::black);
    palette.setColor(QPalette::PlaceholderText, QColor(109, 109, 109));
    palette.setColor(QPalette::Link, QColor(0, 0, 255));
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, QColor(120, 120, 120));
    palette.setColor(QPalette::Disabled, QPalette::Base, face);
    QApplication::setPalette(palette);

    QFont font;
    font.setFamilies(FamiliesOf("Courier"));
    font.setPixelSize(11);
    QApplication::setFont(font);
    app.setStyleSheet(kStyleSheet);
}

QColor ToQColor(TColor color)
{
    return {color.r, color.g, color.b};
}

QFont MakeFont(const TFont& font, const QFont& inherited)
{
    QFont result = inherited;
    if (!font.Name.empty())
        result.setFamilies(FamiliesOf(QString::fromStdString(font.Name)));
    if (font.Height > 0)
        result.setPixelSize(font.Height);
    return result;
}

QString StripMnemonic(const QString& text)
{
    QString result;
    result.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'&') {
            if (i + 1 < text.size() && text[i + 1] == u'&') {
                result += u'&';
                ++i;
            }
            continue;
        }
        result += text[i];
    }
    return result;
}

QFont FitFont(QFont font, const QString& text, int width, int minPixelSize)
{
    const QString shown = StripMnemonic(text);
    auto fits = [&](const QFont& candidate) {
        return QFontMetrics(candidate).horizontalAdvance(shown) <= width;
    };
    if (fits(font))
        return font;
    // First a slightly narrower cut of the same height, then smaller sizes.
    const int start = font.pixelSize() > 0 ? font.pixelSize() : QFontInfo(font).pixelSize();
    for (int size = start; size >= minPixelSize; --size) {
        font.setPixelSize(size);
        for (int stretch = 100; stretch >= kNarrowestStretch; stretch -= 5) {
            font.setStretch(stretch);
            if (fits(font))
                return font;
        }
    }
    return font;
}

}  // namespace imconf::qtui
