#pragma once

#include "ui/Knob.h"

namespace lumora {

// A rotary knob for a value from 0 to 1, drawn as a metal synthesizer knob with a ring of
// eleven lights over 270 degrees. Dragging up or right turns it up (Shift for fine control), its
// ends are magnetic, and a double-click restores the reset value. Its adjustments move it a
// tenth up or down, within 0..1.
class SynthKnob : public Knob {
    Q_OBJECT
public:
    explicit SynthKnob(double size, QWidget* parent = nullptr);

    double value() const { return knobValue(); }
    // Shows `value` as it is (even outside 0..1); not an edit, so valueEdited is not emitted.
    void setValue(double value) { showValue(value); }

    double resetValue() const { return knobResetValue(); }
    void setResetValue(double value) { setKnobResetValue(value); }

signals:
    // Every change made by the user: each drag step, a reset, an adjustment.
    void valueEdited(double value);

protected:
    void endDrag() override { m_drag.end(); }
    bool isDragging() const override { return m_drag.isDragging(); }
    void anchorDrag(QPointF position) override { m_pressPosition = position; }
    KnobStep dragStep(QPointF position, bool fine) override;

    double incremented(double value) const override { return knob::synthIncrement(value); }
    double decremented(double value) const override { return knob::synthDecrement(value); }
    QString valueText(double value) const override { return knob::synthValueText(value); }

    int lightCount() const override { return knob::synthLightCount; }
    double lightRotation(int index) const override { return knob::synthLightRotation(index); }
    bool lightLit(int index, double value) const override {
        return knob::synthLightLit(index, value);
    }
    double pointerRotation(double value) const override {
        return knob::synthPointerRotation(value);
    }

    void emitEdited(double value) override { emit valueEdited(value); }

private:
    SynthKnobDrag m_drag;
    QPointF m_pressPosition;
};

} // namespace lumora
