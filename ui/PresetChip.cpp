#include "ui/PresetChip.h"

#include "ui/Style.h"

#include <QKeySequence>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>

namespace lumora {

namespace {

constexpr int horizontalPadding = 10;
constexpr int verticalPadding = 5;
constexpr int trailingPadding = 8; // from the check mark to the edge
constexpr double radius = 6.0;

constexpr double markWidth = 9.0;
constexpr double markHeight = 7.0;

// A bold check mark, drawn rather than typeset so it stays crisp at small sizes.
void drawCheckMark(QPainter& painter, QRectF box, const QColor& color) {
    QPainterPath mark;
    mark.moveTo(box.left(), box.top() + box.height() * 0.55);
    mark.lineTo(box.left() + box.width() * 0.38, box.bottom());
    mark.lineTo(box.right(), box.top());
    painter.setPen(QPen(color, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(mark);
}

} // namespace

PresetChip::PresetChip(const Preset& preset, QWidget* parent) : QAbstractButton(parent) {
    setCheckable(true);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setContextMenuPolicy(Qt::CustomContextMenu);
    setPreset(preset);
}

void PresetChip::setPreset(const Preset& preset) {
    m_preset = preset;
    setText(preset.name);
    // A name is not a mnemonic: "R&B" must not make Alt+B apply this preset.
    setShortcut(QKeySequence());
    setAccessibleName(preset.name);
    setToolTip(preset.name);
    updateGeometry();
    update();
}

QSize PresetChip::sizeHint() const {
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(text()) + 2 * horizontalPadding,
            metrics.height() + 2 * verticalPadding};
}

QSize PresetChip::minimumSizeHint() const {
    return {2 * horizontalPadding, sizeHint().height()};
}

void PresetChip::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette& pal = palette();
    const QRectF bounds = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const bool active = isChecked();
    const QColor accent = style::accent(pal);

    QColor fill = pal.color(QPalette::Button);
    QColor border = pal.color(QPalette::WindowText);
    border.setAlphaF(0.16f);
    QColor textColor = pal.color(QPalette::ButtonText);
    if (active) {
        fill = accent;
        border = accent.darker(115);
        textColor = pal.color(QPalette::HighlightedText);
    }
    if (isDown()) {
        fill = fill.darker(112);
    }
    painter.setPen(QPen(border, 1.0));
    painter.setBrush(fill);
    painter.drawRoundedRect(bounds, radius, radius);
    if (hasFocus()) {
        QColor ring = accent;
        ring.setAlphaF(0.5f);
        painter.setPen(QPen(ring, 2.0));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(bounds.adjusted(1, 1, -1, -1), radius - 1, radius - 1);
    }

    // The name stays centred and clear of the check mark.
    const int reserve = active ? std::max(horizontalPadding, int(markWidth) + trailingPadding + 4)
                               : horizontalPadding;
    const QRect label = rect().adjusted(reserve, 0, -reserve, 0);
    painter.setPen(textColor);
    painter.setFont(font());
    painter.drawText(label, Qt::AlignCenter,
                     fontMetrics().elidedText(text(), Qt::ElideRight, label.width()));

    if (active) {
        const QRectF box(width() - trailingPadding - markWidth, (height() - markHeight) / 2.0,
                         markWidth, markHeight);
        drawCheckMark(painter, box, textColor);
    }
}

} // namespace lumora
