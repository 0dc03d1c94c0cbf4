#pragma once

#include "platform/Haptics.h"
#include "ui/KnobInteraction.h"

#include <QColor>
#include <QPointF>
#include <QWidget>

namespace lumora {

class KnobAccessible;

// What every knob shares: a round face with a ring of lights, turned by dragging, the arrow keys
// or assistive actions, with a double-click restoring the reset value. Subclasses supply the
// drag, the adjustment rules, the ring's geometry and the signal that reports an edit.
class Knob : public QWidget {
    Q_OBJECT
public:
    // Room around the face for the lit lights' glow, which reaches past the face's edge.
    static constexpr int glowMargin = 7;

    // The face's diameter; the widget is larger by glowMargin on every side.
    double knobSize() const { return m_size; }
    // Where the face sits in the widget.
    QRectF faceRect() const { return {glowMargin, glowMargin, m_size, m_size}; }

    QColor accent() const { return m_accent; }
    void setAccent(const QColor& accent);
    // nullptr restores the silent default. The knob does not own it.
    void setHaptics(Haptics* haptics);

    // The assistive and keyboard adjustments.
    void increment();
    void decrement();
    QString accessibleValueText() const { return valueText(m_value); }

    QSize sizeHint() const override;

protected:
    Knob(double size, double resetValue, QWidget* parent);

    double knobValue() const { return m_value; }
    // Shows `value` as it is; not an edit, so nothing is emitted.
    void showValue(double value);
    double knobResetValue() const { return m_resetValue; }
    void setKnobResetValue(double value) { m_resetValue = value; }

    // Forgets any drag in progress (the detent state is the drag's own business).
    virtual void endDrag() = 0;
    virtual bool isDragging() const = 0;
    // Called on a press, before its first step, so a drag can anchor itself.
    virtual void anchorDrag(QPointF) {} // face coordinates
    // One step of the drag with the pointer at `position`, in the face's coordinates.
    virtual KnobStep dragStep(QPointF position, bool fine) = 0;

    virtual double incremented(double value) const = 0;
    virtual double decremented(double value) const = 0;
    virtual QString valueText(double value) const = 0;

    virtual int lightCount() const = 0;
    virtual double lightRotation(int index) const = 0;
    virtual bool lightLit(int index, double value) const = 0;
    virtual double pointerRotation(double value) const = 0;

    // Emits the subclass's own edit signal.
    virtual void emitEdited(double value) = 0;

    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    friend class KnobAccessible;

    bool hits(QPointF position) const;
    void edit(double value);
    void step(QPointF position, Qt::KeyboardModifiers modifiers);

    double m_size;
    double m_value = 0.0;
    QColor m_accent;
    double m_resetValue;
    int m_wheelDelta = 0; // eighths of a degree not yet turned into steps
    Haptics* m_haptics;
};

} // namespace lumora
