#include "ui/PageContent.h"

#include "engine/Params.h"
#include "ui/Style.h"

#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <vector>

namespace lumora {

namespace {

// A shadow of radius 14: three box passes approximate a Gaussian of sigma 7.
constexpr double glowRadius = 14.0;
constexpr double glowOpacity = 0.35;
constexpr int boxPasses = 3;

// One box pass over an 8-bit alpha image, along rows or along columns.
void boxBlur(QImage& image, int r, bool horizontal) {
    const int w = image.width();
    const int h = image.height();
    const int lines = horizontal ? h : w;
    const int length = horizontal ? w : h;
    const int window = 2 * r + 1;
    std::vector<int> line(static_cast<std::size_t>(length));
    for (int l = 0; l < lines; ++l) {
        auto at = [&](int i) -> uchar& {
            return horizontal ? image.scanLine(l)[i] : image.scanLine(i)[l];
        };
        for (int i = 0; i < length; ++i) {
            line[std::size_t(i)] = at(i);
        }
        int sum = 0;
        for (int i = -r; i <= r; ++i) {
            sum += (i >= 0 && i < length) ? line[std::size_t(i)] : 0;
        }
        for (int i = 0; i < length; ++i) {
            at(i) = uchar(sum / window);
            const int out = i - r;
            const int in = i + r + 1;
            sum -= (out >= 0) ? line[std::size_t(out)] : 0;
            sum += (in < length) ? line[std::size_t(in)] : 0;
        }
    }
}

} // namespace

PageContent::PageContent(Settings& settings, QWidget* parent)
    : QWidget(parent), m_settings(settings) {
    setBackgroundRole(QPalette::Window);
    setAutoFillBackground(true);
    // The glow follows the preview's corners.
    connect(&settings, &Settings::cornerFractionChanged, this, [this] { update(); });
}

void PageContent::setGlowTarget(QWidget* target) {
    m_glowTarget = target;
    update();
}

const QImage& PageContent::glowFor(QSizeF size, double radius, QColor color, qreal ratio) {
    if (size == m_glowSize && radius == m_glowRadius && color == m_glowColor &&
        ratio == m_glowRatio && !m_glow.isNull()) {
        return m_glow;
    }
    m_glowSize = size;
    m_glowRadius = radius;
    m_glowColor = color;
    m_glowRatio = ratio;

    const int pad = int(std::ceil(glowRadius * 1.6));
    const QSize pixels(int(std::ceil((size.width() + 2 * pad) * ratio)),
                       int(std::ceil((size.height() + 2 * pad) * ratio)));
    QImage mask(pixels, QImage::Format_Alpha8);
    mask.fill(0);
    {
        QPainter painter(&mask);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(ratio, ratio);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::black);
        painter.drawRoundedRect(QRectF(QPointF(pad, pad), size), radius, radius);
    }
    const int r = std::max(1, int(std::lround(glowRadius / 2.0 * ratio)));
    for (int pass = 0; pass < boxPasses; ++pass) {
        boxBlur(mask, r, true);
        boxBlur(mask, r, false);
    }

    m_glow = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
    color.setAlphaF(float(glowOpacity * color.alphaF()));
    m_glow.fill(color);
    {
        QPainter painter(&m_glow);
        painter.setCompositionMode(QPainter::CompositionMode_DestinationIn);
        painter.drawImage(0, 0, mask);
    }
    m_glow.setDevicePixelRatio(ratio);
    return m_glow;
}

void PageContent::paintEvent(QPaintEvent* event) {
    QWidget* target = m_glowTarget;
    if (!target || !target->isVisible() || target->width() <= 0 || target->height() <= 0) {
        return;
    }
    const QRect bounds(target->mapTo(this, QPoint(0, 0)), target->size());
    const double radius = std::clamp(cornerRadius(m_settings.effectiveCorner(), bounds.height()),
                                     0.0, bounds.height() / 2.0);
    const QImage& glow = glowFor(QSizeF(bounds.size()), std::isfinite(radius) ? radius : 0.0,
                                 style::accent(palette()), devicePixelRatioF());
    const QSizeF logical = glow.deviceIndependentSize();
    const QPointF origin(bounds.left() - (logical.width() - bounds.width()) / 2.0,
                         bounds.top() - (logical.height() - bounds.height()) / 2.0);
    if (!event->rect().intersects(QRectF(origin, logical).toAlignedRect())) {
        return;
    }
    QPainter painter(this);
    painter.drawImage(origin, glow);
}

} // namespace lumora
