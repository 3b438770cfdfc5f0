#pragma once
// The window's look: Fusion with a light palette, the fonts the window names with their
// substitutes, and the conversions from the headless fonts and colours.

#include "controls/Controls.h"

#include <QColor>
#include <QFont>
#include <QString>

class QApplication;

namespace imconf::qtui {

// Fusion, a light palette with the button-face background, a small style sheet, and the
// substitutes of the fonts the window names (they have Cyrillic glyphs).
void ApplyLook(QApplication& app);
void InstallFontSubstitutes();

QColor ToQColor(TColor color);

// The font a control asks for. An empty name keeps the family of `inherited`, a height of 0
// its size. Heights are pixel sizes.
QFont MakeFont(const TFont& font, const QFont& inherited);

// A caption as it is measured: the accelerator marks removed ("&&" stays one '&').
QString StripMnemonic(const QString& text);

// `font` or, when `text` is wider than `width` pixels in it, a slightly narrower cut of it
// (down to 85 %) or else the largest smaller pixel size (not below `minPixelSize`) in which
// it fits.
QFont FitFont(QFont font, const QString& text, int width, int minPixelSize = 8);

}  // namespace imconf::qtui
