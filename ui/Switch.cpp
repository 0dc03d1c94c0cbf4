#include "ui/Switch.h"

#include "ui/Style.h"

#include <QPainter>
#include <algorithm>

namespace lumora {

namespace {

constexpr double trackWidth = 34.0;
constexpr double trackHeight = 20.0;
constexpr int labelGap = 10;

} // namespace

Switch::Switch(const QString& text, QWidget* parent) : QAbstractButton(parent) {
    setText(text);
    setCheckable(true);
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setAccessibleName(text);
}

QSize Switch::sizeHint() const {
    const QFontMetrics metrics(font());
    const int textWidth = text().isEmpty() ? 0 : metrics.horizontalAdvance(text()) + labelGap;
    const int height = std::max(metrics.height(), int(trackHeight) + 2);
    return {textWidth + int(trackWidth) + 2, height};
}

QSize Switch::minimumSizeHint() const {
    return sizeHint();
}

QRectF Switch::trackRect() const {
    return {width() - trackWidth - 1.0, (height() - trackHeight) / 2.0, trackWidth, trackHeight};
}

void Switch::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette& pal = palette();
    const QRectF track = trackRect();

    if (!text().isEmpty()) {
        const QRectF label(0, 0, track.left() - labelGap, height());
        painter.setPen(
            pal.color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
        painter.drawText(label, Qt::AlignLeft | Qt::AlignVCenter,
                         fontMetrics().elidedText(text(), Qt::ElideRight, int(label.width())));
    }

    // Off is a faint tint of the text colour, which reads on light and dark windows alike.
    QColor fill = pal.color(QPalette::WindowText);
    fill.setAlphaF(0.2f);
    if (isChecked()) {
        fill = style::accent(pal);
    }
    if (!isEnabled()) {
        fill.setAlphaF(0.4f);
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    const double r = track.height() / 2.0;
    painter.drawRoundedRect(track, r, r);

    if (hasFocus()) {
        QColor ring = style::accent(pal);
        ring.setAlphaF(0.5f);
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(ring, 2.0));
        painter.drawRoundedRect(track.adjusted(-1.5, -1.5, 1.5, 1.5), r + 1.5, r + 1.5);
    }

    const double inset = 2.0;
    const double d = track.height() - 2 * inset;
    const double x = isChecked() ? track.right() - inset - d : track.left() + inset;
    painter.setPen(QPen(pal.color(QPalette::Shadow), 0.5));
    painter.setBrush(Qt::white);
    painter.drawEllipse(QRectF(x, track.top() + inset, d, d));
}

} // namespace lumora
