#include "KnobInteraction.h"

#include <QCoreApplication>
#include <algorithm>
#include <cmath>
#include <numbers>

namespace lumora {

KnobStep SynthKnobDrag::step(double current, double dx, double dy, bool fine) {
    if (!m_dragStart) {
        // A value from elsewhere that is not a number must not poison the whole drag.
        m_dragStart = std::isnan(current) ? 0.0 : current;
    }
    const double factor = fine ? fineFactor : 1.0;
    double value = *m_dragStart + factor * (dx - dy) / travel;
    value = std::clamp(value, 0.0, 1.0);
    if (value > highDetent) {
        value = 1.0;
    } else if (value < lowDetent) {
        value = 0.0;
    }
    const bool onDetent = value == 0.0 || value == 1.0;
    const bool click = onDetent && !m_atDetent;
    m_atDetent = onDetent;
    return {value, click};
}

double AngleKnobDrag::touchAngle(double x, double y, double size) {
    const double c = size * 0.5;
    return std::atan2(y - c, x - c) * 180.0 / std::numbers::pi;
}

KnobStep AngleKnobDrag::step(double current, double touch, bool fine) {
    if (!m_lastTouch) {
        m_startDegrees = std::isfinite(current) ? current : 0.0;
        m_travelled = 0.0;
    } else {
        double d = touch - *m_lastTouch;
        // The shorter way round, so passing the left side of the centre does not jump.
        if (d > 180.0) {
            d -= 360.0;
        } else if (d < -180.0) {
            d += 360.0;
        }
        m_travelled += d * (fine ? fineFactor : 1.0);
    }
    m_lastTouch = touch;

    double raw = std::fmod(m_startDegrees + m_travelled, 360.0);
    if (raw < 0.0) {
        raw += 360.0;
    }
    const double nearest = snapStep * std::round(raw / snapStep);
    if (std::abs(raw - nearest) < snapBand) {
        const double out = knob::wrapDegrees(nearest);
        const bool click = !m_snapped || *m_snapped != out;
        m_snapped = out;
        return {out, click};
    }
    m_snapped.reset();
    return {raw, false};
}

namespace knob {

double synthPointerRotation(double value) {
    return synthStartAngle + synthSweep * value;
}

double synthLightRotation(int index) {
    return synthStartAngle + synthSweep * index / double(synthLightCount - 1);
}

bool synthLightLit(int index, double value) {
    const double t = index / double(synthLightCount - 1);
    return t - 0.001 <= value;
}

double anglePointerRotation(double degrees) {
    return degrees + 90.0;
}

double angleLightRotation(int index) {
    return 45.0 * index + 90.0;
}

bool angleLightLit(int index, double degrees) {
    return std::abs(degrees - 45.0 * index) < 0.5;
}

double wrapDegrees(double degrees) {
    if (!std::isfinite(degrees)) {
        return 0.0;
    }
    double r = std::fmod(degrees, 360.0);
    if (r < 0.0) {
        r += 360.0;
    }
    // A tiny negative remainder plus 360 rounds to 360 itself.
    return r >= 360.0 ? 0.0 : r;
}

double synthIncrement(double value) {
    return std::min(value + 0.1, 1.0);
}
double synthDecrement(double value) {
    return std::max(value - 0.1, 0.0);
}
double angleIncrement(double degrees) {
    return wrapDegrees(degrees + 15.0);
}
double angleDecrement(double degrees) {
    return wrapDegrees(degrees - 15.0);
}

namespace {

QString integerPart(double v) {
    const double t = std::trunc(v);
    if (std::isfinite(t) && std::abs(t) < 1e15) {
        return QString::number(static_cast<qint64>(t));
    }
    return QString::number(t, 'f', 0);
}

} // namespace

QString synthValueText(double value) {
    return QCoreApplication::translate("lumora::SynthKnob", "%1 percent")
        .arg(integerPart(value * 100.0));
}

QString angleValueText(double degrees) {
    return QCoreApplication::translate("lumora::AngleKnob", "%1 degrees").arg(integerPart(degrees));
}

} // namespace knob

} // namespace lumora
