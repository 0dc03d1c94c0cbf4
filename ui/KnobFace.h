#pragma once

#include <QColor>
#include <QGradient>
#include <QPointF>
#include <QRectF>

class QPainter;

namespace lumora {

// The cyan of the knobs' lights and pointers.
QColor knobAccent();

// The drawn metal knob shared by the rotary and angle knobs: a knurled skirt, a brushed cap and
// a glowing pointer. Rotations are in degrees about the centre: 0 points up, positive turns
// clockwise on screen.
class KnobFace {
public:
    // Draws the knob for a square of side `square`'s smaller dimension, centred in it.
    static void paint(QPainter& painter, const QRectF& square, const QColor& accent,
                      double pointerDegrees);

    // One small light of a knob's ring: at the top centre of `square`, turned by `rotation`.
    static void paintLight(QPainter& painter, const QRectF& square, double rotation, bool lit,
                           const QColor& accent);

    // Keyboard focus: a thin ring between the skirt and the lights.
    static void paintFocusRing(QPainter& painter, const QRectF& square, const QColor& color);

    // Stops of the skirt's ridges and the cap's brushed sheen, ready for a QConicalGradient
    // starting at 0 degrees; built once and shared by every face.
    static const QGradientStops& knurlStops();
    static const QGradientStops& brushedStops();
};

} // namespace lumora
