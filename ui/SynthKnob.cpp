#include "SynthKnob.h"

namespace lumora {

SynthKnob::SynthKnob(double size, QWidget* parent) : Knob(size, 1.0, parent) {}

KnobStep SynthKnob::dragStep(QPointF position, bool fine) {
    // Measured from the press, so the first step (on the press itself) has no translation.
    const QPointF translation = position - m_pressPosition;
    return m_drag.step(knobValue(), translation.x(), translation.y(), fine);
}

} // namespace lumora
