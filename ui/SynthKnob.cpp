#include "SynthKnob.h"

#include "KnobAccessibility.h"
#include "KnobFace.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <cmath>

namespace lumora {

SynthKnob::SynthKnob(double size, QWidget* parent)
    : QWidget(parent), m_size(size), m_accent(knobAccent()), m_haptics(&Haptics::none()) {
    installKnobAccessibility();
    const int side = int(std::ceil(size));
    setFixedSize(side, side);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::OpenHandCursor);
}

QSize SynthKnob::sizeHint() const {
    return size();
}

void SynthKnob::setValue(double value) {
    if (value == m_value) {
        return;
    }
    m_value = value;
    notifyKnobValueChanged(this, m_value);
    update();
}

void SynthKnob::setAccent(const QColor& accent) {
    m_accent = accent;
    update();
}

void SynthKnob::setHaptics(Haptics* haptics) {
    m_haptics = haptics ? haptics : &Haptics::none();
}

void SynthKnob::increment() {
    edit(knob::synthIncrement(m_value));
}
void SynthKnob::decrement() {
    edit(knob::synthDecrement(m_value));
}

QString SynthKnob::accessibleValueText() const {
    return knob::synthValueText(m_value);
}

void SynthKnob::edit(double value) {
    setValue(value);
    emit valueEdited(m_value);
}

bool SynthKnob::hits(QPointF position) const {
    const QPointF d = position - QPointF(m_size * 0.5, m_size * 0.5);
    return std::hypot(d.x(), d.y()) <= m_size * 0.5;
}

void SynthKnob::step(QPointF position, Qt::KeyboardModifiers modifiers) {
    const QPointF translation = position - m_pressPosition;
    const KnobStep result =
        m_drag.step(m_value, translation.x(), translation.y(), modifiers.testFlag(Qt::AltModifier));
    if (result.click) {
        m_haptics->click();
    }
    edit(result.value);
}

void SynthKnob::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !hits(event->position())) {
        event->ignore();
        return;
    }
    // A drag whose release never arrived (the grab was taken away) must not carry over.
    m_drag.end();
    // The drag begins on the press itself, so a knob resting near an end settles on its detent.
    m_pressPosition = event->position();
    setCursor(Qt::ClosedHandCursor);
    step(event->position(), event->modifiers());
}

void SynthKnob::mouseMoveEvent(QMouseEvent* event) {
    if (!m_drag.isDragging() || !event->buttons().testFlag(Qt::LeftButton)) {
        event->ignore();
        return;
    }
    step(event->position(), event->modifiers());
}

void SynthKnob::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !m_drag.isDragging()) {
        event->ignore();
        return;
    }
    m_drag.end();
    setCursor(Qt::OpenHandCursor);
}

void SynthKnob::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !hits(event->position())) {
        event->ignore();
        return;
    }
    m_drag.end();
    edit(m_resetValue);
}

void SynthKnob::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Right: increment(); break;
    case Qt::Key_Down:
    case Qt::Key_Left: decrement(); break;
    default: QWidget::keyPressEvent(event); return;
    }
}

void SynthKnob::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF square(0, 0, m_size, m_size);
    for (int i = 0; i < knob::synthLightCount; ++i) {
        KnobFace::paintLight(painter, square, knob::synthLightRotation(i),
                             knob::synthLightLit(i, m_value), m_accent);
    }
    if (hasFocus()) {
        KnobFace::paintFocusRing(painter, square, palette().color(QPalette::Highlight));
    }
    KnobFace::paint(painter, square, m_accent, knob::synthPointerRotation(m_value));
}

} // namespace lumora
