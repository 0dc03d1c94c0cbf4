#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>

class QWidget;

namespace lumora::style {

// Text styles of the page, scaled from the desktop's default font so they follow the user's
// font size: body is the application font, the others are relative to it.
QFont headline();    // section titles: body size, semibold
QFont title2();      // the app name in the header
QFont subheadline(); // effect card titles
QFont callout();
QFont footnote();
QFont caption();
QFont caption2();

// Colours drawn by hand come from the palette only, so both palettes look right.
QColor accent(const QPalette& palette);            // QPalette::Highlight
QColor secondaryText(const QPalette& palette);     // QPalette::PlaceholderText
QColor controlBackground(const QPalette& palette); // QPalette::Base: panels and cards
QColor hairline(const QPalette& palette);          // primary text at 7 % opacity

QPalette lightPalette();
QPalette darkPalette();

} // namespace lumora::style
