#include "ColorSwatch.h"

#include <QPainter>
#include <QRadialGradient>
#include <algorithm>

namespace lumora {

QColor toQColor(RGB color) {
    const auto channel = [](double v) { return std::clamp(v, 0.0, 1.0); };
    return QColor::fromRgbF(static_cast<float>(channel(color.r)),
                            static_cast<float>(channel(color.g)),
                            static_cast<float>(channel(color.b)));
}

RGB fromQColor(const QColor& color) {
    // Not redF(): it is a float, so a colour picked to match a swatch would miss it. The 16-bit
    // channels give an 8-bit colour back as exactly n / 255.
    const QRgba64 rgb = color.toRgb().rgba64();
    return RGB{rgb.red() / 65535.0, rgb.green() / 65535.0, rgb.blue() / 65535.0};
}

ColorSwatch::ColorSwatch(const QString& name, RGB color, QWidget* parent)
    : QAbstractButton(parent), m_name(name), m_color(color) {
    setToolTip(name);
    setAccessibleName(name);
    setCheckable(true);
    setFixedSize(32, 32);
    setCursor(Qt::PointingHandCursor);
}

void ColorSwatch::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box(0, 0, 32, 32);
    const QPointF centre = box.center();
    const QColor fill = toQColor(m_color);

    // The glow: the swatch colour at half opacity fading out around the disc.
    QRadialGradient glow(centre, 16);
    QColor inner = fill;
    inner.setAlphaF(0.5f);
    QColor outer = fill;
    outer.setAlphaF(0.0f);
    glow.setColorAt(0.0, inner);
    glow.setColorAt(13.0 / 16.0, inner);
    glow.setColorAt(1.0, outer);
    painter.setPen(Qt::NoPen);
    painter.setBrush(glow);
    painter.drawEllipse(box);

    // A faint edge keeps a light disc visible on a light panel (White on white).
    QColor edge = palette().color(QPalette::WindowText);
    edge.setAlphaF(0.18f);
    painter.setBrush(fill);
    painter.setPen(QPen(edge, 1.0));
    painter.drawEllipse(centre, 12.5, 12.5);
    painter.setPen(Qt::NoPen);

    if (isChecked()) {
        const double width = 2.5;
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(palette().color(QPalette::WindowText), width));
        const double r = 16 - width / 2;
        painter.drawEllipse(centre, r, r);
    }
    if (hasFocus()) {
        QPen focus(palette().color(QPalette::Highlight), 1.5);
        painter.setBrush(Qt::NoBrush);
        painter.setPen(focus);
        painter.drawEllipse(centre, 10, 10);
    }
}

} // namespace lumora
