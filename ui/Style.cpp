#include "Style.h"

#include <QApplication>

namespace lumora::style {
namespace {

QFont scaled(double factor, QFont::Weight weight = QFont::Normal) {
    QFont font = QApplication::font();
    const double base = font.pointSizeF() > 0 ? font.pointSizeF() : 10.0;
    font.setPointSizeF(base * factor);
    font.setWeight(weight);
    return font;
}

} // namespace

// Ratios of the classic desktop type ramp (body 13: headline 13, title2 17, subheadline 11,
// callout 12, footnote 10, caption 10, caption2 10).
QFont headline() {
    return scaled(1.0, QFont::DemiBold);
}
QFont title2() {
    return scaled(17.0 / 13.0);
}
QFont subheadline() {
    return scaled(11.0 / 13.0);
}
QFont callout() {
    return scaled(12.0 / 13.0);
}
QFont footnote() {
    return scaled(10.0 / 13.0);
}
QFont caption() {
    return scaled(10.0 / 13.0);
}
QFont caption2() {
    return scaled(10.0 / 13.0);
}

QColor accent(const QPalette& palette) {
    return palette.color(QPalette::Highlight);
}
QColor secondaryText(const QPalette& palette) {
    return palette.color(QPalette::PlaceholderText);
}
QColor controlBackground(const QPalette& palette) {
    return palette.color(QPalette::Base);
}
QColor hairline(const QPalette& palette) {
    QColor c = palette.color(QPalette::WindowText);
    c.setAlphaF(0.07f);
    return c;
}

QPalette lightPalette() {
    QPalette p;
    p.setColor(QPalette::Window, QColor(0xEC, 0xEC, 0xEC));
    p.setColor(QPalette::WindowText, QColor(0x1D, 0x1D, 0x1F));
    p.setColor(QPalette::Base, QColor(0xFF, 0xFF, 0xFF));
    p.setColor(QPalette::AlternateBase, QColor(0xF5, 0xF5, 0xF5));
    p.setColor(QPalette::Text, QColor(0x1D, 0x1D, 0x1F));
    p.setColor(QPalette::PlaceholderText, QColor(0x1D, 0x1D, 0x1F, 0x8C));
    p.setColor(QPalette::Button, QColor(0xFB, 0xFB, 0xFB));
    p.setColor(QPalette::ButtonText, QColor(0x1D, 0x1D, 0x1F));
    p.setColor(QPalette::BrightText, Qt::white);
    p.setColor(QPalette::Highlight, QColor(0x00, 0x7A, 0xFF));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::ToolTipBase, QColor(0xFF, 0xFF, 0xF0));
    p.setColor(QPalette::ToolTipText, QColor(0x1D, 0x1D, 0x1F));
    p.setColor(QPalette::Link, QColor(0x00, 0x68, 0xDA));
    p.setColor(QPalette::Light, Qt::white);
    p.setColor(QPalette::Midlight, QColor(0xE3, 0xE3, 0xE3));
    p.setColor(QPalette::Mid, QColor(0xB8, 0xB8, 0xB8));
    p.setColor(QPalette::Dark, QColor(0x9A, 0x9A, 0x9A));
    p.setColor(QPalette::Shadow, QColor(0, 0, 0, 0x40));
    p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x1D, 0x1D, 0x1F, 0x60));
    p.setColor(QPalette::Disabled, QPalette::Text, QColor(0x1D, 0x1D, 0x1F, 0x60));
    p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x1D, 0x1D, 0x1F, 0x60));
    return p;
}

QPalette darkPalette() {
    QPalette p;
    p.setColor(QPalette::Window, QColor(0x1E, 0x1E, 0x1E));
    p.setColor(QPalette::WindowText, QColor(0xF5, 0xF5, 0xF7));
    p.setColor(QPalette::Base, QColor(0x2A, 0x2A, 0x2C));
    p.setColor(QPalette::AlternateBase, QColor(0x32, 0x32, 0x34));
    p.setColor(QPalette::Text, QColor(0xF5, 0xF5, 0xF7));
    p.setColor(QPalette::PlaceholderText, QColor(0xF5, 0xF5, 0xF7, 0x8C));
    p.setColor(QPalette::Button, QColor(0x3A, 0x3A, 0x3C));
    p.setColor(QPalette::ButtonText, QColor(0xF5, 0xF5, 0xF7));
    p.setColor(QPalette::BrightText, Qt::white);
    p.setColor(QPalette::Highlight, QColor(0x0A, 0x84, 0xFF));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::ToolTipBase, QColor(0x3A, 0x3A, 0x3C));
    p.setColor(QPalette::ToolTipText, QColor(0xF5, 0xF5, 0xF7));
    p.setColor(QPalette::Link, QColor(0x41, 0x9C, 0xFF));
    p.setColor(QPalette::Light, QColor(0x4A, 0x4A, 0x4C));
    p.setColor(QPalette::Midlight, QColor(0x3F, 0x3F, 0x41));
    p.setColor(QPalette::Mid, QColor(0x2F, 0x2F, 0x31));
    p.setColor(QPalette::Dark, QColor(0x15, 0x15, 0x16));
    p.setColor(QPalette::Shadow, QColor(0, 0, 0, 0x80));
    p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0xF5, 0xF5, 0xF7, 0x60));
    p.setColor(QPalette::Disabled, QPalette::Text, QColor(0xF5, 0xF5, 0xF7, 0x60));
    p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0xF5, 0xF5, 0xF7, 0x60));
    return p;
}

} // namespace lumora::style
