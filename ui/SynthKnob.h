#pragma once

#include "platform/Haptics.h"
#include "ui/KnobInteraction.h"

#include <QColor>
#include <QPointF>
#include <QWidget>

namespace lumora {

class KnobAccessible;

// A rotary knob for a value from 0 to 1, drawn as a metal synthesizer knob with a ring of
// eleven lights over 270 degrees. Dragging up or right turns it up (Alt for fine control), its
// ends are magnetic, and a double-click restores the reset value.
class SynthKnob : public QWidget {
    Q_OBJECT
public:
    explicit SynthKnob(double size, QWidget* parent = nullptr);

    double knobSize() const { return m_size; }

    double value() const { return m_value; }
    // Shows `value` as it is (even outside 0..1); not an edit, so valueEdited is not emitted.
    void setValue(double value);

    QColor accent() const { return m_accent; }
    void setAccent(const QColor& accent);
    double resetValue() const { return m_resetValue; }
    void setResetValue(double value) { m_resetValue = value; }
    // nullptr restores the silent default. The knob does not own it.
    void setHaptics(Haptics* haptics);

    // The assistive and keyboard adjustments: a tenth up or down, within 0..1.
    void increment();
    void decrement();
    QString accessibleValueText() const;

    QSize sizeHint() const override;

signals:
    // Every change made by the user: each drag step, a reset, an adjustment.
    void valueEdited(double value);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    friend class KnobAccessible;

    bool hits(QPointF position) const;
    void edit(double value);
    void step(QPointF position, Qt::KeyboardModifiers modifiers);

    double m_size;
    double m_value = 0.0;
    QColor m_accent;
    double m_resetValue = 1.0;
    Haptics* m_haptics;
    SynthKnobDrag m_drag;
    QPointF m_pressPosition;
};

} // namespace lumora
