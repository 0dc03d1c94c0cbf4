#include "display/EffectView.h"

#include "platform/QtGlyphRasterizer.h"

#include <QEvent>
#include <QImageWriter>
#include <QPainter>
#include <QSaveFile>
#include <QWindow>
#include <QtMath>
#include <algorithm>
#include <chrono>
#include <cmath>

namespace lumora {

namespace {

// Longest step a single tick may take, so a stalled GUI thread does not make the effect jump.
constexpr double maxStep = 0.25;

EffectRenderer makeRenderer(int width, int height) {
    // The rasterizer only draws the glyph atlas during construction.
    QtGlyphRasterizer rasterizer;
    return EffectRenderer(width, height, &rasterizer);
}

int intervalFor(double fps) {
    if (!(fps > 0.0) || !std::isfinite(fps)) {
        fps = 60.0;
    }
    return std::max(1, qRound(1000.0 / fps));
}

double steadySeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

EffectView::EffectView(int renderWidth, int renderHeight, double fps,
                       std::optional<QSize> fixedSize, std::optional<Effect> overrideEffect,
                       bool followsWindow, Settings& settings, Clock clock, QWidget* parent)
    : QWidget(parent), m_renderer(makeRenderer(renderWidth, renderHeight)), m_settings(settings),
      m_clock(clock ? std::move(clock) : Clock(steadySeconds)), m_fixedSize(fixedSize),
      m_overrideEffect(overrideEffect), m_followsWindow(followsWindow) {
    m_lastTick = m_clock();
    resize(fixedSize ? *fixedSize : QSize(renderWidth, renderHeight));

    // Only the rounded outline is painted; what lies outside it shows through.
    setAttribute(Qt::WA_TranslucentBackground);
    setAutoFillBackground(false);

    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(intervalFor(fps));
    connect(&m_timer, &QTimer::timeout, this, &EffectView::tick);

    tick();

    if (m_followsWindow) {
        watchWindow();
        followWindow();
    }
}

EffectView::~EffectView() {
    unwatchWindow();
}

void EffectView::start() {
    if (m_timer.isActive()) {
        return;
    }
    // Time spent stopped never reaches the phase.
    m_lastTick = m_clock();
    m_timer.start();
}

void EffectView::stop() {
    m_timer.stop();
}

void EffectView::tick() {
    const double now = m_clock();
    const double dt = std::min(now - m_lastTick, maxStep);
    m_lastTick = now;
    m_phase += dt * m_settings.effectiveSpeed();

    Frame frame = m_renderer.render(currentParams(), m_phase);
    if (frame.isNull()) {
        return; // keep showing the previous frame
    }
    m_frame = std::move(frame);
    update();
}

Params EffectView::currentParams() const {
    Params params = m_settings.params();
    if (m_overrideEffect) {
        params.effect = *m_overrideEffect;
    }
    return params;
}

QSize EffectView::sizeHint() const {
    return m_fixedSize ? *m_fixedSize : QWidget::sizeHint();
}

const QImage& EffectView::imageOf(const Frame& frame) {
    // The renderer recycles a handful of buffers, so the same few wrappers come round again.
    // A wrapper is only ever drawn while m_frame keeps its buffer alive.
    for (const Wrapped& wrapped : m_wrapped) {
        if (wrapped.data == frame.data() && wrapped.width == frame.width() &&
            wrapped.height == frame.height()) {
            return wrapped.image;
        }
    }
    Wrapped& slot = m_wrapped[m_nextWrapped];
    m_nextWrapped = (m_nextWrapped + 1) % m_wrapped.size();
    slot.data = frame.data();
    slot.width = frame.width();
    slot.height = frame.height();
    slot.image = QImage(frame.data(), frame.width(), frame.height(), frame.bytesPerLine(),
                        QImage::Format_RGBA8888);
    return slot.image;
}

void EffectView::compose(QImage& target, const QImage& frame, QSizeF size) {
    double radius = cornerRadius(m_settings.effectiveCorner(), size.height());
    radius = std::min(radius, std::min(size.width(), size.height()) * 0.5);
    if (!(radius > 0.0)) {
        radius = 0.0; // also a corner setting that is not a number
    }

    target.fill(Qt::transparent);
    QPainter painter(&target);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRectF(QPointF(0, 0), size), frame);

    if (radius > 0.0) {
        // Clipping is not antialiased in the raster engine, so the corners outside the
        // rounded outline are cleared instead, with coverage.
        if (size != m_cornersSize || radius != m_cornersRadius) {
            const QRectF bounds(QPointF(0, 0), size);
            m_corners = QPainterPath();
            m_corners.setFillRule(Qt::OddEvenFill);
            m_corners.addRect(bounds);
            m_corners.addRoundedRect(bounds, radius, radius);
            m_cornersSize = size;
            m_cornersRadius = radius;
        }
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setCompositionMode(QPainter::CompositionMode_Clear);
        painter.fillPath(m_corners, Qt::black);
    }
}

void EffectView::paintEvent(QPaintEvent*) {
    if (m_frame.isNull() || width() <= 0 || height() <= 0) {
        return;
    }
    const qreal ratio = devicePixelRatioF();
    const QSize pixels(qCeil(width() * ratio), qCeil(height() * ratio));
    if (m_composite.size() != pixels || m_composite.devicePixelRatio() != ratio) {
        m_composite = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
        m_composite.setDevicePixelRatio(ratio);
    }
    compose(m_composite, imageOf(m_frame), QSizeF(size()));

    QPainter painter(this);
    painter.drawImage(QPointF(0, 0), m_composite);
}

bool EffectView::writePNG(const QString& path, double time) {
    m_error.clear();
    Frame frame = m_renderer.render(currentParams(), time);
    if (frame.isNull()) {
        m_error = tr("the effect could not be drawn");
        return false;
    }
    m_frame = frame;
    update();

    const int w = width();
    const int h = height();
    if (w <= 0 || h <= 0) {
        m_error = tr("the view has no area");
        return false;
    }
    QImage layer(w, h, QImage::Format_ARGB32_Premultiplied);
    compose(layer, imageOf(frame), QSizeF(w, h));
    QImage snapshot(w, h, QImage::Format_RGB32);
    snapshot.fill(Qt::black);
    {
        QPainter painter(&snapshot);
        painter.drawImage(QPoint(0, 0), layer);
    }

    // Written whole or not at all: an unfinished QSaveFile is discarded, never renamed.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        m_error = file.errorString();
        return false;
    }
    QImageWriter writer(&file, "png");
    if (!writer.write(snapshot)) {
        m_error = writer.errorString();
        return false;
    }
    if (!file.commit()) {
        m_error = file.errorString();
        return false;
    }
    return true;
}

bool EffectView::eventFilter(QObject* watched, QEvent* event) {
    if (m_followsWindow) {
        switch (event->type()) {
        case QEvent::ParentChange:
            // The view or one of its ancestors moved: it may be in another window, or none.
            watchWindow();
            followWindow();
            break;
        case QEvent::Show:
        case QEvent::WindowStateChange:
            if (watched == window()) {
                if (window()->windowHandle() != m_watchedHandle) {
                    watchWindow();
                }
                followWindow();
            }
            break;
        case QEvent::Hide:
            if (watched == window()) {
                stop();
            }
            break;
        case QEvent::Expose:
            if (watched == m_watchedHandle) {
                followWindow();
            }
            break;
        default: break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void EffectView::unwatchWindow() {
    for (const QPointer<QWidget>& widget : std::as_const(m_watched)) {
        if (widget) {
            widget->removeEventFilter(this);
        }
    }
    m_watched.clear();
    if (m_watchedHandle) {
        m_watchedHandle->removeEventFilter(this);
    }
    m_watchedHandle = nullptr;
}

void EffectView::watchWindow() {
    unwatchWindow();
    // A reparented ancestor only tells itself, so every level up to the window is watched.
    for (QWidget* widget = this; widget; widget = widget->parentWidget()) {
        widget->installEventFilter(this);
        m_watched.append(widget);
        if (widget->isWindow()) {
            break;
        }
    }
    if (QWindow* handle = window()->windowHandle()) {
        handle->installEventFilter(this);
        m_watchedHandle = handle;
    }
}

void EffectView::followWindow() {
    const QWidget* top = window();
    const QWindow* handle = top->windowHandle();
    const bool seen = top->isVisible() && !top->isMinimized() && handle && handle->isExposed();
    if (seen) {
        start();
    } else {
        stop();
    }
}

} // namespace lumora
