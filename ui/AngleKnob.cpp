#include "AngleKnob.h"

namespace lumora {

AngleKnob::AngleKnob(double size, QWidget* parent) : Knob(size, 0.0, parent) {}

KnobStep AngleKnob::dragStep(QPointF position, bool fine) {
    // The press only anchors the turn (the knob does not jump to where it was pressed), but a
    // knob resting near a multiple of 45 degrees settles on it.
    const double touch = AngleKnobDrag::touchAngle(position.x(), position.y(), knobSize());
    return m_drag.step(knobValue(), touch, fine);
}

} // namespace lumora
