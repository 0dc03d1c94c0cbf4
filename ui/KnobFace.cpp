#include "KnobFace.h"

#include <QConicalGradient>
#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>
#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace lumora {

QColor knobAccent() {
    static const QColor accent = QColor::fromRgbF(0.0f, 0.9f, 1.0f, 1.0f);
    return accent;
}

namespace {

QColor withAlpha(QColor color, double alpha) {
    color.setAlphaF(float(color.alphaF() * alpha));
    return color;
}

QColor grey(double white) {
    const float w = float(white);
    return QColor::fromRgbF(w, w, w, 1.0f);
}

// Qt's conical gradient runs counter-clockwise from 3 o'clock; the stop lists are laid out
// clockwise from 3 o'clock, so they are mirrored here.
QGradientStops clockwiseStops(const QList<QColor>& colors) {
    QGradientStops stops;
    const qsizetype last = colors.size() - 1;
    stops.reserve(colors.size());
    for (qsizetype j = 0; j <= last; ++j) {
        stops.append({double(j) / double(last), colors[last - j]});
    }
    return stops;
}

double edgeCoverage(double distance, double sigma) {
    return 0.5 * std::erfc(distance / (sigma * std::numbers::sqrt2));
}

// A disc blurred by a Gaussian of sigma = blur, drawn as a radial gradient that follows the
// blurred edge's profile: cheaper than a blur and needs no offscreen image. The tail is eased
// to nothing by `reach` from the centre so that a widget's edge never cuts it off sharply.
void paintDiscShadow(QPainter& painter, QPointF centre, double radius, double blur,
                     const QColor& color, double reach) {
    const double sigma = std::max(blur, 0.05);
    const double outer = std::max(std::min(radius + 2.5 * sigma, reach), radius + 1.0);
    QRadialGradient gradient(centre, outer);
    constexpr int steps = 24;
    for (int i = 0; i <= steps; ++i) {
        const double r = outer * i / steps;
        double coverage = edgeCoverage(r - radius, sigma);
        if (r > radius) {
            const double t = (r - radius) / (outer - radius);
            coverage *= (1.0 - t * t) * (1.0 - t * t);
        }
        gradient.setColorAt(double(i) / steps, withAlpha(color, coverage));
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(gradient);
    painter.drawEllipse(centre, outer, outer);
}

// A glow around a capsule: nested, widening translucent capsules whose layered opacity follows
// the same blurred-edge profile as the disc shadows.
void paintCapsuleGlow(QPainter& painter, const QRectF& capsule, double blur, const QColor& color) {
    constexpr int layers = 10;
    const double sigma = blur;
    const double reach = 2.5 * sigma;
    painter.setPen(Qt::NoPen);
    double outside = 1.0; // transparency left by the layers drawn so far (outer ones)
    for (int j = layers; j >= 1; --j) {
        const double grow = reach * j / layers;
        const double inner = reach * (j - 1) / layers;
        const double target = color.alphaF() * edgeCoverage(inner, sigma);
        const double alpha = std::clamp(1.0 - (1.0 - target) / outside, 0.0, 1.0);
        outside *= 1.0 - alpha;
        QColor layer = color;
        layer.setAlphaF(float(alpha));
        painter.setBrush(layer);
        const QRectF r = capsule.adjusted(-grow, -grow, grow, grow);
        const double radius = std::min(r.width(), r.height()) * 0.5;
        painter.drawRoundedRect(r, radius, radius);
    }
}

void paintSheen(QPainter& painter, const QRectF& circle) {
    QLinearGradient sheen(circle.topLeft(), circle.center());
    sheen.setColorAt(0.0, QColor::fromRgbF(1, 1, 1, 0.16f));
    sheen.setColorAt(1.0, QColor::fromRgbF(1, 1, 1, 0.0f));
    painter.setBrush(sheen);
    painter.drawEllipse(circle);
}

QRectF centredCircle(QPointF centre, double diameter) {
    return {centre.x() - diameter * 0.5, centre.y() - diameter * 0.5, diameter, diameter};
}

} // namespace

const QGradientStops& KnobFace::knurlStops() {
    static const QGradientStops stops = [] {
        QList<QColor> colors;
        for (int i = 0; i <= 144; ++i) {
            colors.append(grey(i % 2 == 0 ? 0.09 : 0.24));
        }
        return clockwiseStops(colors);
    }();
    return stops;
}

const QGradientStops& KnobFace::brushedStops() {
    static const QGradientStops stops = [] {
        constexpr std::array<double, 9> whites{0.86, 0.42, 0.78, 0.33, 0.86,
                                               0.42, 0.78, 0.33, 0.86};
        QList<QColor> colors;
        for (double w : whites) {
            colors.append(grey(w));
        }
        return clockwiseStops(colors);
    }();
    return stops;
}

void KnobFace::paint(QPainter& painter, const QRectF& square, const QColor& accent,
                     double pointerDegrees) {
    const double s = std::min(square.width(), square.height());
    const QPointF centre = square.center();
    const double f = 0.74 * s; // skirt
    const double k = 0.5 * s;  // cap

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);

    // Skirt: knurled ridges, a darker rim and a sheen from the top left.
    paintDiscShadow(painter, centre + QPointF(0, 0.07 * s), f * 0.5, 0.09 * s,
                    QColor::fromRgbF(0, 0, 0, 0.75f), 0.5 * s - 0.07 * s);
    const QRectF skirt = centredCircle(centre, f);
    QConicalGradient knurl(centre, 0.0);
    knurl.setStops(knurlStops());
    painter.setBrush(knurl);
    painter.drawEllipse(skirt);
    QRadialGradient rim(centre, f * 0.5);
    rim.setColorAt(0.0, QColor::fromRgbF(0, 0, 0, 0));
    rim.setColorAt(0.28 / 0.5, QColor::fromRgbF(0, 0, 0, 0));
    rim.setColorAt(1.0, QColor::fromRgbF(0, 0, 0, 0.6f));
    painter.setBrush(rim);
    painter.drawEllipse(skirt);
    paintSheen(painter, skirt);

    // Cap: brushed metal lit from the upper left.
    paintDiscShadow(painter, centre + QPointF(0, 0.03 * s), k * 0.5, 0.04 * s,
                    QColor::fromRgbF(0, 0, 0, 0.55f), f * 0.5);
    const QRectF cap = centredCircle(centre, k);
    QConicalGradient brushed(centre, 0.0);
    brushed.setStops(brushedStops());
    painter.setBrush(brushed);
    painter.drawEllipse(cap);
    QRadialGradient light(cap.topLeft() + QPointF(0.4 * k, 0.32 * k), 0.62 * k);
    light.setColorAt(0.0, QColor::fromRgbF(1, 1, 1, 0.28f));
    light.setColorAt(0.5, QColor::fromRgbF(0, 0, 0, 0));
    light.setColorAt(1.0, QColor::fromRgbF(0, 0, 0, 0.35f));
    painter.setBrush(light);
    painter.drawEllipse(cap);
    paintSheen(painter, cap);

    // Pointer: a glowing capsule on the cap, pointing outwards.
    const double width = std::max(0.04 * s, 3.0);
    const double height = 0.3 * k;
    painter.translate(centre);
    painter.rotate(pointerDegrees);
    const QRectF pointer(-width * 0.5, -k * 0.5 + 0.08 * k, width, height);
    paintCapsuleGlow(painter, pointer, 4.0, withAlpha(accent, 0.95));
    painter.setBrush(accent);
    painter.drawRoundedRect(pointer, width * 0.5, width * 0.5);

    painter.restore();
}

void KnobFace::paintLight(QPainter& painter, const QRectF& square, double rotation, bool lit,
                          const QColor& accent) {
    const double s = std::min(square.width(), square.height());
    const double d = 0.05 * s;
    const double angle = rotation * std::numbers::pi / 180.0;
    const double distance = s * 0.5 - d * 0.5;
    const QPointF at = square.center() + QPointF(std::sin(angle), -std::cos(angle)) * distance;

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    if (lit) {
        // Tighter than the pointer's glow: the ring touches the widget's edge, which would cut
        // a wide halo off flat.
        paintDiscShadow(painter, at, d * 0.5, 2.5, withAlpha(accent, 0.9), d * 0.5 + 6.0);
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(lit ? accent : QColor::fromRgbF(1, 1, 1, 0.13f));
    painter.drawEllipse(centredCircle(at, d));
    painter.restore();
}

void KnobFace::paintFocusRing(QPainter& painter, const QRectF& square, const QColor& color) {
    const double s = std::min(square.width(), square.height());
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(withAlpha(color, 0.8), std::max(1.5, 0.015 * s)));
    painter.drawEllipse(centredCircle(square.center(), 0.82 * s));
    painter.restore();
}

} // namespace lumora
