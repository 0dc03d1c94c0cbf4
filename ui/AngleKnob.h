#pragma once

#include "platform/Haptics.h"
#include "ui/KnobInteraction.h"

#include <QColor>
#include <QPointF>
#include <QWidget>

namespace lumora {

class KnobAccessible;

// A knob for a direction in degrees (0 right, 90 down), turned by circling the pointer around
// its centre. It snaps to every 45 degrees with a click and lights the matching one of its
// eight ring lights; Alt gives fine control and a double-click restores the reset direction.
class AngleKnob : public QWidget {
    Q_OBJECT
public:
    explicit AngleKnob(double size = 96, QWidget* parent = nullptr);

    double knobSize() const { return m_size; }

    double degrees() const { return m_degrees; }
    // Shows `degrees` as it is; not an edit, so degreesEdited is not emitted.
    void setDegrees(double degrees);

    QColor accent() const { return m_accent; }
    void setAccent(const QColor& accent);
    double resetDegrees() const { return m_resetDegrees; }
    void setResetDegrees(double degrees) { m_resetDegrees = degrees; }
    // nullptr restores the silent default. The knob does not own it.
    void setHaptics(Haptics* haptics);

    // The assistive and keyboard adjustments: 15 degrees either way, wrapping round.
    void increment();
    void decrement();
    QString accessibleValueText() const;

    QSize sizeHint() const override;

signals:
    // Every change made by the user: each drag step, a reset, an adjustment.
    void degreesEdited(double degrees);

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
    void edit(double degrees);
    void step(QPointF position, Qt::KeyboardModifiers modifiers);

    double m_size;
    double m_degrees = 0.0;
    QColor m_accent;
    double m_resetDegrees = 0.0;
    Haptics* m_haptics;
    AngleKnobDrag m_drag;
};

} // namespace lumora
