#include "Panel.h"

#include "Style.h"

#include <QPainter>
#include <QPainterPath>

namespace lumora {

Panel::Panel(QWidget* parent) : QWidget(parent) {
    setContentsMargins(16, 16, 16, 16);
}

void Panel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF outer = QRectF(rect());
    painter.setPen(Qt::NoPen);
    painter.setBrush(style::controlBackground(palette()));
    painter.drawRoundedRect(outer, 12, 12);
    // Inside the rectangle: inset by half the pen width.
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(style::hairline(palette()), 1.0));
    painter.drawRoundedRect(outer.adjusted(0.5, 0.5, -0.5, -0.5), 11.5, 11.5);
}

} // namespace lumora
