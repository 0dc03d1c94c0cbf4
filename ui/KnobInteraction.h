#pragma once

#include <QString>
#include <optional>

namespace lumora {

// The outcome of one drag step: the value to write and whether a detent click is due.
struct KnobStep {
    double value = 0.0;
    bool click = false;
};

// The rotary knob's linear drag: dragging right or up raises the value, 220 points of combined
// travel cover the whole range (four times as far with fine control), and the ends are magnetic.
class SynthKnobDrag {
public:
    static constexpr double travel = 220.0;
    static constexpr double fineFactor = 0.25;
    static constexpr double lowDetent = 0.03;
    static constexpr double highDetent = 0.97;

    // One step of a drag. dx and dy are the total translation since the press (y grows
    // downwards); the first step, on the press itself, has a translation of zero.
    KnobStep step(double current, double dx, double dy, bool fine);
    // Forgets the start value; the detent state is kept so a new drag from the same end does
    // not click again before it has left it.
    void end() { m_dragStart.reset(); }

    bool isDragging() const { return m_dragStart.has_value(); }
    bool atDetent() const { return m_atDetent; }

private:
    std::optional<double> m_dragStart;
    bool m_atDetent = false;
};

// The angle knob's circular drag: the knob turns by the angle the pointer sweeps around the
// centre, and snaps to every multiple of 45 degrees within 4 degrees.
class AngleKnobDrag {
public:
    static constexpr double fineFactor = 0.25;
    static constexpr double snapStep = 45.0;
    static constexpr double snapBand = 4.0;

    // Angle of a point around the centre of a size x size square, in degrees: 0 right, 90 down.
    static double touchAngle(double x, double y, double size);

    // One step of a drag with the pointer at touch angle `touch` (see touchAngle).
    KnobStep step(double current, double touch, bool fine);
    // Forgets the pointer; the detent is kept so a new drag on the same detent does not click.
    void end() { m_lastTouch.reset(); }

    bool isDragging() const { return m_lastTouch.has_value(); }
    std::optional<double> snapped() const { return m_snapped; }

private:
    std::optional<double> m_lastTouch;
    double m_travelled = 0.0;
    double m_startDegrees = 0.0;
    std::optional<double> m_snapped;
};

// Geometry of the light rings and pointers, and the keyboard/assistive adjustments. Rotations
// are in degrees about the knob's centre: 0 points up, positive turns clockwise on screen.
namespace knob {

constexpr double synthStartAngle = -135.0;
constexpr double synthSweep = 270.0;
constexpr int synthLightCount = 11;
constexpr int angleLightCount = 8;

double synthPointerRotation(double value);
double synthLightRotation(int index);
bool synthLightLit(int index, double value);

// A direction (0 right, 90 down) drawn as a rotation.
double anglePointerRotation(double degrees);
double angleLightRotation(int index);
bool angleLightLit(int index, double degrees);

// Brings any finite angle into [0, 360).
double wrapDegrees(double degrees);

double synthIncrement(double value);
double synthDecrement(double value);
double angleIncrement(double degrees);
double angleDecrement(double degrees);

// Spoken values: "37 percent", "135 degrees" (integer part, truncated toward zero).
QString synthValueText(double value);
QString angleValueText(double degrees);

} // namespace knob

} // namespace lumora
