#include "AngleKnob.h"

#include "KnobAccessibility.h"
#include "KnobFace.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <cmath>

namespace lumora {

AngleKnob::AngleKnob(double size, QWidget* parent)
    : QWidget(parent), m_size(size), m_accent(knobAccent()), m_haptics(&Haptics::none()) {
    installKnobAccessibility();
    const int side = int(std::ceil(size));
    setFixedSize(side, side);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::OpenHandCursor);
}

QSize AngleKnob::sizeHint() const {
    return size();
}

void AngleKnob::setDegrees(double degrees) {
    if (degrees == m_degrees) {
        return;
    }
    m_degrees = degrees;
    notifyKnobValueChanged(this, m_degrees);
    update();
}

void AngleKnob::setAccent(const QColor& accent) {
    m_accent = accent;
    update();
}

void AngleKnob::setHaptics(Haptics* haptics) {
    m_haptics = haptics ? haptics : &Haptics::none();
}

void AngleKnob::increment() {
    edit(knob::angleIncrement(m_degrees));
}
void AngleKnob::decrement() {
    edit(knob::angleDecrement(m_degrees));
}

QString AngleKnob::accessibleValueText() const {
    return knob::angleValueText(m_degrees);
}

void AngleKnob::edit(double degrees) {
    setDegrees(degrees);
    emit degreesEdited(m_degrees);
}

bool AngleKnob::hits(QPointF position) const {
    const QPointF d = position - QPointF(m_size * 0.5, m_size * 0.5);
    return std::hypot(d.x(), d.y()) <= m_size * 0.5;
}

void AngleKnob::step(QPointF position, Qt::KeyboardModifiers modifiers) {
    const double touch = AngleKnobDrag::touchAngle(position.x(), position.y(), m_size);
    const KnobStep result = m_drag.step(m_degrees, touch, modifiers.testFlag(Qt::AltModifier));
    if (result.click) {
        m_haptics->click();
    }
    edit(result.value);
}

void AngleKnob::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !hits(event->position())) {
        event->ignore();
        return;
    }
    // A drag whose release never arrived (the grab was taken away) must not carry over.
    m_drag.end();
    // The press only anchors the turn (the knob does not jump to where it was pressed), but a
    // knob resting near a multiple of 45 degrees settles on it.
    setCursor(Qt::ClosedHandCursor);
    step(event->position(), event->modifiers());
}

void AngleKnob::mouseMoveEvent(QMouseEvent* event) {
    if (!m_drag.isDragging() || !event->buttons().testFlag(Qt::LeftButton)) {
        event->ignore();
        return;
    }
    step(event->position(), event->modifiers());
}

void AngleKnob::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !m_drag.isDragging()) {
        event->ignore();
        return;
    }
    m_drag.end();
    setCursor(Qt::OpenHandCursor);
}

void AngleKnob::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !hits(event->position())) {
        event->ignore();
        return;
    }
    m_drag.end();
    edit(m_resetDegrees);
}

void AngleKnob::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Right: increment(); break;
    case Qt::Key_Down:
    case Qt::Key_Left: decrement(); break;
    default: QWidget::keyPressEvent(event); return;
    }
}

void AngleKnob::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF square(0, 0, m_size, m_size);
    for (int i = 0; i < knob::angleLightCount; ++i) {
        KnobFace::paintLight(painter, square, knob::angleLightRotation(i),
                             knob::angleLightLit(i, m_degrees), m_accent);
    }
    if (hasFocus()) {
        KnobFace::paintFocusRing(painter, square, palette().color(QPalette::Highlight));
    }
    KnobFace::paint(painter, square, m_accent, knob::anglePointerRotation(m_degrees));
}

} // namespace lumora
