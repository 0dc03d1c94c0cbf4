#include "Knob.h"

#include "KnobAccessibility.h"
#include "KnobFace.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QPainter>
#include <cmath>

namespace lumora {

Knob::Knob(double size, double resetValue, QWidget* parent)
    : QWidget(parent), m_size(size), m_accent(knobAccent()), m_resetValue(resetValue),
      m_haptics(&Haptics::none()) {
    installKnobAccessibility();
    const int side = int(std::ceil(size)) + 2 * glowMargin;
    setFixedSize(side, side);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::OpenHandCursor);
}

QSize Knob::sizeHint() const {
    return size();
}

void Knob::showValue(double value) {
    if (value == m_value) {
        return;
    }
    m_value = value;
    notifyKnobValueChanged(this, m_value);
    update();
}

void Knob::setAccent(const QColor& accent) {
    m_accent = accent;
    update();
}

void Knob::setHaptics(Haptics* haptics) {
    m_haptics = haptics ? haptics : &Haptics::none();
}

void Knob::increment() {
    edit(incremented(m_value));
}
void Knob::decrement() {
    edit(decremented(m_value));
}

void Knob::edit(double value) {
    showValue(value);
    emitEdited(m_value);
}

bool Knob::hits(QPointF position) const {
    const QPointF d = position - faceRect().center();
    return std::hypot(d.x(), d.y()) <= m_size * 0.5;
}

void Knob::step(QPointF position, Qt::KeyboardModifiers modifiers) {
    // Window managers take Alt+drag for moving windows, so Shift is the fine control; Alt still
    // works where it reaches us.
    const bool fine = modifiers & (Qt::ShiftModifier | Qt::AltModifier);
    const KnobStep result = dragStep(position - faceRect().topLeft(), fine);
    if (result.click) {
        m_haptics->click();
    }
    edit(result.value);
}

void Knob::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !hits(event->position())) {
        event->ignore();
        return;
    }
    // A drag whose release never arrived (the grab was taken away) must not carry over.
    endDrag();
    // The drag begins on the press itself, so a knob resting near a detent settles on it.
    anchorDrag(event->position() - faceRect().topLeft());
    setCursor(Qt::ClosedHandCursor);
    step(event->position(), event->modifiers());
}

void Knob::mouseMoveEvent(QMouseEvent* event) {
    if (!isDragging() || !event->buttons().testFlag(Qt::LeftButton)) {
        event->ignore();
        return;
    }
    step(event->position(), event->modifiers());
}

void Knob::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !isDragging()) {
        event->ignore();
        return;
    }
    endDrag();
    setCursor(Qt::OpenHandCursor);
}

void Knob::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !hits(event->position())) {
        event->ignore();
        return;
    }
    endDrag();
    edit(m_resetValue);
}

void Knob::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Right: increment(); break;
    case Qt::Key_Down:
    case Qt::Key_Left: decrement(); break;
    default: QWidget::keyPressEvent(event); return;
    }
}

void Knob::wheelEvent(QWheelEvent* event) {
    // A page scrolled past an unfocused knob must not turn it: the scroll area takes the wheel.
    if (!hasFocus()) {
        event->ignore();
        return;
    }
    m_wheelDelta += event->angleDelta().y() + event->angleDelta().x();
    // One step per notch (120); touchpads send smaller deltas that add up to one.
    for (; m_wheelDelta >= 120; m_wheelDelta -= 120) {
        increment();
    }
    for (; m_wheelDelta <= -120; m_wheelDelta += 120) {
        decrement();
    }
    event->accept();
}

void Knob::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF square = faceRect();
    for (int i = 0; i < lightCount(); ++i) {
        KnobFace::paintLight(painter, square, lightRotation(i), lightLit(i, m_value), m_accent);
    }
    if (hasFocus()) {
        KnobFace::paintFocusRing(painter, square, palette().color(QPalette::Highlight));
    }
    KnobFace::paint(painter, square, m_accent, pointerRotation(m_value));
}

} // namespace lumora
