#include "display/CloseButton.h"

#include <QPainter>
#include <QPen>
#include <algorithm>
#include <cmath>
#include <vector>

namespace lumora {

namespace {

// A bold "x" of a 13-point symbol: arms spanning 10 points, strokes 2.2 points wide.
constexpr double markSpan = 10.0;
constexpr double strokeWidth = 2.2;
// Black at 65 %, blurred by 3 points, not offset.
constexpr double shadowAlpha = 0.65;
constexpr double shadowBlur = 3.0;
// How much a pressed button dims, so a click is seen.
constexpr double pressedOpacity = 0.6;

// Blurs the alpha channel of `image` with a Gaussian of deviation `sigma` pixels.
std::vector<float> blurredAlpha(const QImage& image, double sigma) {
    const int w = image.width();
    const int h = image.height();
    const int radius = std::max(1, static_cast<int>(std::ceil(3.0 * sigma)));
    std::vector<float> kernel(2 * radius + 1);
    float total = 0.0F;
    for (int i = -radius; i <= radius; ++i) {
        kernel[i + radius] = static_cast<float>(std::exp(-(i * i) / (2.0 * sigma * sigma)));
        total += kernel[i + radius];
    }
    for (float& k : kernel) {
        k /= total;
    }
    std::vector<float> alpha(static_cast<std::size_t>(w) * h);
    for (int y = 0; y < h; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            alpha[y * w + x] = static_cast<float>(qAlpha(line[x])) / 255.0F;
        }
    }
    std::vector<float> pass(alpha.size());
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            float sum = 0.0F;
            for (int i = -radius; i <= radius; ++i) {
                const int sx = x + i;
                if (sx >= 0 && sx < w) {
                    sum += kernel[i + radius] * alpha[y * w + sx];
                }
            }
            pass[y * w + x] = sum;
        }
    }
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            float sum = 0.0F;
            for (int i = -radius; i <= radius; ++i) {
                const int sy = y + i;
                if (sy >= 0 && sy < h) {
                    sum += kernel[i + radius] * pass[sy * w + x];
                }
            }
            alpha[y * w + x] = sum;
        }
    }
    return alpha;
}

} // namespace

CloseButton::CloseButton(QWidget* parent) : QAbstractButton(parent) {
    setAccessibleName(tr("Turn off"));
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
    resize(buttonSize);
}

void CloseButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paintButton(painter, devicePixelRatioF());
}

void CloseButton::paintButton(QPainter& painter, qreal ratio) {
    const qreal opacity = painter.opacity();
    if (isDown()) {
        painter.setOpacity(opacity * pressedOpacity);
    }
    painter.drawImage(QPointF(0, 0), markImage(ratio));
    painter.setOpacity(opacity);
}

const QImage& CloseButton::markImage(qreal ratio) {
    const QSize pixels = (QSizeF(size()) * ratio).toSize();
    if (!m_mark.isNull() && m_mark.devicePixelRatio() == ratio && m_mark.size() == pixels) {
        return m_mark;
    }
    QImage mark(pixels, QImage::Format_ARGB32_Premultiplied);
    mark.setDevicePixelRatio(ratio);
    mark.fill(Qt::transparent);
    {
        QPainter painter(&mark);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(Qt::white, strokeWidth, Qt::SolidLine, Qt::RoundCap));
        const QPointF centre = QRectF(rect()).center();
        const double half = markSpan / 2.0;
        painter.drawLine(centre + QPointF(-half, -half), centre + QPointF(half, half));
        painter.drawLine(centre + QPointF(-half, half), centre + QPointF(half, -half));
    }

    // A shadow's blur radius is about two deviations of the Gaussian.
    const std::vector<float> shadow = blurredAlpha(mark, shadowBlur / 2.0 * ratio);
    m_mark = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
    m_mark.setDevicePixelRatio(ratio);
    for (int y = 0; y < pixels.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(m_mark.scanLine(y));
        for (int x = 0; x < pixels.width(); ++x) {
            const float a = std::min(1.0F, shadow[y * pixels.width() + x]);
            line[x] = qRgba(0, 0, 0, qRound(a * shadowAlpha * 255.0));
        }
    }
    QPainter painter(&m_mark);
    painter.drawImage(QPointF(0, 0), mark);
    return m_mark;
}

} // namespace lumora
