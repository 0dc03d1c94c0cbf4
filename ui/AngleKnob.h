#pragma once

#include "ui/Knob.h"

namespace lumora {

// A knob for a direction in degrees (0 right, 90 down), turned by circling the pointer around
// its centre. It snaps to every 45 degrees with a click and lights the matching one of its
// eight ring lights; Shift gives fine control and a double-click restores the reset direction.
// Its adjustments turn it 15 degrees either way, wrapping round.
class AngleKnob : public Knob {
    Q_OBJECT
public:
    explicit AngleKnob(double size = 96, QWidget* parent = nullptr);

    double degrees() const { return knobValue(); }
    // Shows `degrees` as it is; not an edit, so degreesEdited is not emitted.
    void setDegrees(double degrees) { showValue(degrees); }

    double resetDegrees() const { return knobResetValue(); }
    void setResetDegrees(double degrees) { setKnobResetValue(degrees); }

signals:
    // Every change made by the user: each drag step, a reset, an adjustment.
    void degreesEdited(double degrees);

protected:
    void endDrag() override { m_drag.end(); }
    bool isDragging() const override { return m_drag.isDragging(); }
    KnobStep dragStep(QPointF position, bool fine) override;

    double incremented(double degrees) const override { return knob::angleIncrement(degrees); }
    double decremented(double degrees) const override { return knob::angleDecrement(degrees); }
    QString valueText(double degrees) const override { return knob::angleValueText(degrees); }

    int lightCount() const override { return knob::angleLightCount; }
    double lightRotation(int index) const override { return knob::angleLightRotation(index); }
    bool lightLit(int index, double degrees) const override {
        return knob::angleLightLit(index, degrees);
    }
    double pointerRotation(double degrees) const override {
        return knob::anglePointerRotation(degrees);
    }

    void emitEdited(double degrees) override { emit degreesEdited(degrees); }

private:
    AngleKnobDrag m_drag;
};

} // namespace lumora
