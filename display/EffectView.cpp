#include "display/EffectView.h"

#include "display/outputs/drm/PanelComposer.h"
#include "platform/QtGlyphRasterizer.h"

#include <QBackingStore>
#include <QEvent>
#include <QImageWriter>
#include <QPaintEngine>
#include <QPainter>
#include <QPainterPath>
#include <QSaveFile>
#include <QWindow>
#include <QtMath>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

namespace lumora {

namespace {

// Longest step a single tick may take, so a stalled GUI thread does not make the effect jump.
constexpr double maxStep = 0.25;
// The phase wraps here: over a century away at normal speeds, while any speed read from a file,
// however absurd, can never carry it to infinity.
constexpr double phaseWrap = 4294967296.0;

EffectRenderer makeRenderer(int width, int height) {
    // The rasterizer only draws the glyph atlas during construction.
    QtGlyphRasterizer rasterizer;
    return EffectRenderer(width, height, &rasterizer);
}

// The previews that ticked on the present deadline, to be shown together, and the regions
// recent batches were shown in: views at different rates (the cards and the live preview)
// take turns, and a region is rebuilt only when its views move, so a frame allocates nothing.
struct Batch {
    struct Entry {
        EffectView* view;
        QRect rect;
        QRect seen;
    };
    struct Shown {
        const QWidget* top = nullptr;
        std::vector<QRect> seen;
        QRegion region;
    };
    Batch() {
        views.reserve(capacity);
        entries.reserve(capacity);
        for (Shown& shown : recent) {
            shown.seen.reserve(capacity);
        }
    }
    // The region for the present entries in `top`.
    const QRegion& regionFor(const QWidget* top) {
        for (Shown& shown : recent) {
            if (shown.top == top && shown.seen.size() == entries.size() &&
                std::equal(entries.begin(), entries.end(), shown.seen.begin(),
                           [](const Entry& entry, const QRect& r) { return entry.seen == r; })) {
                return shown.region;
            }
        }
        Shown& shown = recent[next];
        next = (next + 1) % recent.size();
        shown.top = top;
        shown.seen.clear();
        shown.region = QRegion();
        for (const Entry& entry : entries) {
            shown.seen.push_back(entry.seen);
            shown.region += entry.seen;
        }
        return shown.region;
    }
    static constexpr std::size_t capacity = 64;
    std::vector<EffectView*> views;
    std::vector<Entry> entries;
    std::array<Shown, 4> recent;
    std::size_t next = 0;
};

Batch& batch() {
    thread_local Batch here;
    return here;
}

// A paint device whose pixels this view may write itself: a raster image with 32-bit pixels
// in the order Qt's RGB32 has them; null otherwise.
QImage* plainImage(QPaintDevice* device) {
    if (device == nullptr || device->devType() != QInternal::Image) {
        return nullptr;
    }
    auto* image = static_cast<QImage*>(device);
    return image->format() == QImage::Format_RGB32 ||
                   image->format() == QImage::Format_ARGB32_Premultiplied
               ? image
               : nullptr;
}

// Where a painter puts the widget's origin on its device, when its transform is no more than
// the widget's scale `ratio` and a whole-pixel offset, so bytes written there land where the
// painter would put them.
std::optional<QPoint> wholePixelOrigin(const QPainter& painter, qreal ratio) {
    const QTransform transform = painter.deviceTransform();
    if (transform.type() > QTransform::TxScale || transform.m11() != ratio ||
        transform.m22() != ratio || transform.dx() != std::floor(transform.dx()) ||
        transform.dy() != std::floor(transform.dy())) {
        return std::nullopt;
    }
    return QPoint(static_cast<int>(transform.dx()), static_cast<int>(transform.dy()));
}

// Equal, or both not a number: a setting stuck at NaN is no change either.
bool sameValue(double a, double b) {
    return a == b || (std::isnan(a) && std::isnan(b));
}

double steadySeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// x times a / 255, rounded as Qt's raster engine rounds a byte times a byte.
std::uint32_t times(std::uint32_t x, std::uint32_t a) {
    const std::uint32_t t = x * a + 0x80;
    return (t + (t >> 8)) >> 8;
}

} // namespace

EffectView::EffectView(int renderWidth, int renderHeight, double fps,
                       std::optional<QSize> fixedSize, std::optional<Effect> overrideEffect,
                       bool followsWindow, Settings& settings, Clock clock, QWidget* parent)
    : QWidget(parent), m_renderer(makeRenderer(renderWidth, renderHeight)), m_settings(settings),
      m_clock(clock ? std::move(clock) : Clock(steadySeconds)), m_fixedSize(fixedSize),
      m_overrideEffect(overrideEffect), m_followsWindow(followsWindow), m_ticker(fps) {
    m_lastTick = m_clock();
    resize(fixedSize ? *fixedSize : QSize(renderWidth, renderHeight));

    // Only the rounded outline is painted; what lies outside it shows through.
    setAttribute(Qt::WA_TranslucentBackground);
    setAutoFillBackground(false);

    connect(&m_ticker, &FrameTicker::ticked, this, &EffectView::tick);

    tick();

    if (m_followsWindow) {
        watchWindow();
        followWindow();
    }
}

EffectView::~EffectView() {
    unwatchWindow();
    std::replace(batch().views.begin(), batch().views.end(), this,
                 static_cast<EffectView*>(nullptr));
}

void EffectView::start() {
    if (m_ticker.isActive()) {
        return;
    }
    // Time spent stopped never reaches the phase.
    m_lastTick = m_clock();
    m_ticker.start();
}

void EffectView::stop() {
    m_ticker.stop();
}

void EffectView::tick() {
    ++m_ticks;
    const double now = m_clock();
    const double dt = std::min(now - m_lastTick, maxStep);
    m_lastTick = now;
    // The phase runs on through still effects, so a moving one continues from where it would be.
    const double step = dt * m_settings.effectiveSpeed();
    if (std::isfinite(step)) {
        m_phase = std::fmod(m_phase + step, phaseWrap);
    }

    const Params params = currentParams();
    const double corner = m_settings.effectiveCorner();
    const bool cornerChanged = !sameValue(corner, m_tickCorner);
    m_tickCorner = corner;
    if (!m_frame.isNull() && !dependsOnTime(params.effect) && params == m_frameParams) {
        // The same picture again: nothing to draw unless the outline moved.
        if (cornerChanged) {
            update();
            emit frameChanged();
        }
        return;
    }

    Frame frame = m_renderer.render(params, m_phase);
    if (frame.isNull()) {
        return; // keep showing the previous frame
    }
    if (!m_frame.isNull() && frame.sameBytes(m_frame)) {
        // Many frames repeat the one before (a heartbeat between thumps): comparing costs a
        // few microseconds, a repaint far more.
        m_frameParams = params;
        if (cornerChanged) {
            update();
            emit frameChanged();
        }
        return;
    }
    setFrame(std::move(frame), params);
    if (m_paintsAtOnce) {
        if (!writeDirectly()) {
            repaint();
        }
    } else if (!joinBatch()) {
        update();
    }
    emit frameChanged();
}

bool EffectView::dependsOnTime(Effect effect) {
    switch (effect) {
    case Effect::rainbowWave:
    case Effect::spectrumCycle:
    case Effect::breathing:
    case Effect::neonBreath:
    case Effect::heartbeat:
    case Effect::scanner:
    case Effect::inferno:
    case Effect::matrix:
    case Effect::starfield: return true;
    case Effect::solid: return false;
    }
    return true;
}

void EffectView::setFrame(Frame frame, const Params& params) {
    m_frame = std::move(frame);
    m_frameParams = params;
    ++m_frameNumber;
}

Params EffectView::currentParams() const {
    Params params = m_settings.params();
    if (m_overrideEffect) {
        params.effect = *m_overrideEffect;
    }
    params.brightness *= m_brightnessScale;
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
    // Not RGBX8888, although frames are opaque: Qt 6.4 converts that format with a plain
    // loop, RGBA8888 with SIMD, which halves the cost of a paint.
    slot.image = QImage(frame.data(), frame.width(), frame.height(), frame.bytesPerLine(),
                        QImage::Format_RGBA8888);
    return slot.image;
}

const QImage& EffectView::frameImage(QSize devicePixels) {
    const QImage& wrapped = imageOf(m_frame);
    if (devicePixels == wrapped.size()) {
        return wrapped; // drawn one for one: converted on the way, as fast as it gets
    }
    // Qt's bilinear filter is several times faster on its own pixel format than on RGBA8888,
    // so a stretched frame is converted once, whatever the number of paints.
    if (m_converted.size() != wrapped.size()) {
        m_converted = QImage(wrapped.size(), QImage::Format_ARGB32_Premultiplied);
        m_convertedNumber = 0;
    }
    if (m_convertedNumber != m_frameNumber) {
        QPainter painter(&m_converted);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(QPoint(0, 0), wrapped);
        m_convertedNumber = m_frameNumber;
    }
    return m_converted;
}

EffectView::Stretched* EffectView::stretchScene(QSize devicePixels, qreal ratio) {
    // One for one is drawn as it is; a portrait view would be turned by the composer.
    if (devicePixels == QSize(m_frame.width(), m_frame.height()) ||
        devicePixels.width() < devicePixels.height() || devicePixels.isEmpty()) {
        return nullptr;
    }
    Stretched& s = m_stretched;
    const double radius = radiusFor(QSizeF(size()));
    if (!s.composer || s.pixels != devicePixels || s.ratio != ratio || s.radius != radius ||
        s.frameWidth != m_frame.width() || s.frameHeight != m_frame.height() ||
        s.backdrop != m_backdrop) {
        s.pixels = devicePixels;
        s.ratio = ratio;
        s.radius = radius;
        s.frameWidth = m_frame.width();
        s.frameHeight = m_frame.height();
        s.backdrop = m_backdrop;
        PanelScene scene;
        scene.frameWidth = m_frame.width();
        scene.frameHeight = m_frame.height();
        scene.viewWidth = devicePixels.width();
        scene.viewHeight = devicePixels.height();
        scene.alpha = !m_backdrop;
        if (m_backdrop) {
            scene.backdrop = m_backdrop->rgb() & 0xFFFFFFu;
        }
        if (radius > 0.0) {
            // Clipping is not antialiased in the raster engine, so the outline is coverage.
            QImage coverage(devicePixels, QImage::Format_Alpha8);
            coverage.fill(Qt::transparent);
            {
                QPainter outline(&coverage);
                outline.setRenderHint(QPainter::Antialiasing);
                outline.scale(ratio, ratio);
                QPainterPath path;
                path.addRoundedRect(QRectF(QPointF(0, 0), QSizeF(size())), radius, radius);
                outline.fillPath(path, Qt::black);
            }
            const auto w = static_cast<std::size_t>(coverage.width());
            scene.coverage.resize(w * static_cast<std::size_t>(coverage.height()));
            for (int y = 0; y < coverage.height(); ++y) {
                std::memcpy(scene.coverage.data() + static_cast<std::size_t>(y) * w,
                            coverage.constScanLine(y), w);
            }
        }
        s.composer = std::make_unique<PanelComposer>(
            PanelLayout(devicePixels.width(), devicePixels.height()));
        s.composer->setScene(std::move(scene));
        s.image = QImage(devicePixels,
                         m_backdrop ? QImage::Format_RGB32 : QImage::Format_ARGB32_Premultiplied);
        s.image.setDevicePixelRatio(ratio);
        s.frameNumber = 0;
        s.composedInto = 0;
    }
    return &s;
}

const QImage* EffectView::stretchedFrame(QSize devicePixels, qreal ratio) {
    Stretched* stretched = stretchScene(devicePixels, ratio);
    if (!stretched) {
        return nullptr;
    }
    Stretched& s = *stretched;
    if (s.frameNumber != m_frameNumber) {
        s.composer->compose(m_frame.data(), static_cast<std::size_t>(m_frame.bytesPerLine()),
                            reinterpret_cast<std::uint32_t*>(s.image.bits()),
                            static_cast<std::size_t>(s.image.bytesPerLine() / 4));
        s.frameNumber = m_frameNumber;
    }
    return &s.image;
}

double EffectView::radiusFor(QSizeF size) const {
    const double radius = std::min(cornerRadius(m_settings.effectiveCorner(), size.height()),
                                   std::min(size.width(), size.height()) * 0.5);
    return radius > 0.0 ? radius : 0.0; // also a corner setting that is not a number
}

void EffectView::updateMasks(QSizeF size, qreal ratio, double radius) {
    Masks& m = m_masks;
    if (m.size == size && m.ratio == ratio && m.radius == radius) {
        return;
    }
    m.size = size;
    m.ratio = ratio;
    m.radius = radius;
    m.width = qCeil(size.width() * ratio);
    const int height = qCeil(size.height() * ratio);
    // Columns past the curve (plus one for the antialiased fringe) are fully inside.
    const int end = std::min(m.width, qCeil(radius * ratio) + 1);
    m.left = end;
    m.right = std::max(end, m.width - end);

    // Clipping is not antialiased in the raster engine, so the outline is kept as coverage.
    QImage mask(m.width, height, QImage::Format_ARGB32_Premultiplied);
    mask.setDevicePixelRatio(ratio);
    mask.fill(Qt::white);
    {
        const QRectF bounds(QPointF(0, 0), size);
        QPainterPath outside;
        outside.setFillRule(Qt::OddEvenFill);
        outside.addRect(bounds);
        outside.addRoundedRect(bounds, radius, radius);
        QPainter painter(&mask);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setCompositionMode(QPainter::CompositionMode_Clear);
        painter.fillPath(outside, Qt::black);
    }
    const auto piece = [&](int x, int w) {
        QImage image = mask.copy(x, 0, w, height);
        image.setDevicePixelRatio(ratio);
        return image;
    };
    m.leftMask = piece(0, m.left);
    m.rightMask = piece(m.right, m.width - m.right);
    m.leftBuffer = piece(0, m.left);
    m.rightBuffer = piece(m.right, m.width - m.right);
    m.inFrom.assign(static_cast<std::size_t>(height), m.left);
    m.inTo.assign(static_cast<std::size_t>(height), m.right);
    for (int y = 0; y < height; ++y) {
        const auto* left = reinterpret_cast<const QRgb*>(m.leftMask.constScanLine(y));
        int& from = m.inFrom[static_cast<std::size_t>(y)];
        while (from > 0 && qAlpha(left[from - 1]) == 255) {
            --from;
        }
        const auto* right = reinterpret_cast<const QRgb*>(m.rightMask.constScanLine(y));
        int& to = m.inTo[static_cast<std::size_t>(y)];
        while (to < m.width && qAlpha(right[to - m.right]) == 255) {
            ++to;
        }
    }
}

void EffectView::drawEnd(QPainter& painter, const QImage& frame, QSizeF size, qreal ratio, int x,
                         const QImage& mask, QImage& buffer) {
    if (buffer.isNull()) {
        return;
    }
    const qreal offset = x / ratio;
    if (frame.format() == QImage::Format_RGBA8888 && frame.height() == buffer.height() &&
        frame.width() == m_masks.width && x + buffer.width() <= frame.width()) {
        // One for one: the end is the frame's own pixels times the outline's coverage, made
        // here rather than by two more painters on every paint.
        for (int y = 0; y < buffer.height(); ++y) {
            const uchar* from = frame.constScanLine(y) + static_cast<qsizetype>(x) * 4;
            const auto* cover = reinterpret_cast<const QRgb*>(mask.constScanLine(y));
            auto* to = reinterpret_cast<QRgb*>(buffer.scanLine(y));
            for (int i = 0; i < buffer.width(); ++i) {
                const std::uint32_t alpha = qAlpha(cover[i]);
                to[i] =
                    qRgba(static_cast<int>(times(from[4 * i], alpha)),
                          static_cast<int>(times(from[4 * i + 1], alpha)),
                          static_cast<int>(times(from[4 * i + 2], alpha)), static_cast<int>(alpha));
            }
        }
        painter.drawImage(QPointF(offset, 0.0), buffer);
        return;
    }
    buffer.fill(Qt::transparent);
    {
        QPainter end(&buffer);
        end.setRenderHint(QPainter::SmoothPixmapTransform);
        end.translate(-offset, 0.0);
        end.drawImage(QRectF(QPointF(0, 0), size), frame);
        end.resetTransform();
        end.setCompositionMode(QPainter::CompositionMode_DestinationIn);
        end.drawImage(QPointF(0, 0), mask);
    }
    painter.drawImage(QPointF(offset, 0.0), buffer);
}

void EffectView::drawFrame(QPainter& painter, const QImage& frame, QSizeF size, qreal ratio) {
    const QRectF bounds(QPointF(0, 0), size);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const double radius = radiusFor(size);
    if (radius == 0.0) {
        painter.drawImage(bounds, frame);
        return;
    }
    updateMasks(size, ratio, radius);
    const Masks& m = m_masks;
    if (m.right > m.left) {
        const QRectF middle(m.left / ratio, 0.0, (m.right - m.left) / ratio, size.height());
        if (frame.width() == m.width && frame.height() == qCeil(size.height() * ratio)) {
            // One for one: the middle columns alone, with no clip to set up on every paint.
            painter.drawImage(middle, frame, QRectF(m.left, 0, m.right - m.left, frame.height()));
        } else {
            painter.save();
            painter.setClipRect(middle);
            painter.drawImage(bounds, frame);
            painter.restore();
        }
    }
    drawEnd(painter, frame, size, ratio, 0, m.leftMask, m_masks.leftBuffer);
    drawEnd(painter, frame, size, ratio, m.right, m.rightMask, m_masks.rightBuffer);
}

void EffectView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (!m_backdrop) {
        keepUnderlay(painter);
    }
    paintFrame(painter, devicePixelRatioF());
}

void EffectView::keepUnderlay(QPainter& painter) {
    QPaintEngine* engine = painter.paintEngine();
    QBackingStore* store = window()->backingStore();
    if (!engine || engine->type() != QPaintEngine::Raster || !store ||
        engine->paintDevice() != store->paintDevice() || painter.hasClipping()) {
        return; // a grab, or anything but the window's own memory
    }
    QImage* image = plainImage(engine->paintDevice());
    const qreal ratio = devicePixelRatioF();
    const std::optional<QPoint> origin = wholePixelOrigin(painter, ratio);
    if (!image || !origin || ratio != std::floor(ratio)) {
        m_underlayWhole = false;
        return;
    }
    const QRect target(*origin, QSize(qCeil(width() * ratio), qCeil(height() * ratio)));
    if (m_underlay.size() != target.size() || m_underlay.devicePixelRatio() != ratio) {
        m_underlay = QImage(target.size(), QImage::Format_ARGB32_Premultiplied);
        m_underlay.setDevicePixelRatio(ratio);
        m_underlayWhole = false;
    }
    // Only what this paint repaints is new; the rest of the window, and so of the underlay,
    // is as it was.
    const QRegion clip = engine->systemClip();
    for (const QRect& rect : clip) {
        const QRect part = rect & target & image->rect();
        const auto rowBytes = static_cast<std::size_t>(part.width()) * 4;
        for (int y = part.top(); y <= part.bottom(); ++y) {
            std::memcpy(m_underlay.scanLine(y - target.y()) +
                            static_cast<qsizetype>(part.x() - target.x()) * 4,
                        image->constScanLine(y) + static_cast<qsizetype>(part.x()) * 4, rowBytes);
        }
    }
    if (clip.rectCount() == 1 && clip.boundingRect().contains(target) &&
        image->rect().contains(target)) {
        m_underlayWhole = true;
    }
}

void EffectView::paintFrame(QPainter& painter, qreal ratio) {
    if (width() <= 0 || height() <= 0) {
        return;
    }
    if (m_frame.isNull()) {
        if (m_backdrop) {
            painter.fillRect(QRectF(QPointF(0, 0), QSizeF(size())), *m_backdrop);
        }
        return;
    }
    const QSize devicePixels(qCeil(width() * ratio), qCeil(height() * ratio));
    if (composeInto(painter, devicePixels, ratio)) {
        return;
    }
    if (const QImage* stretched = stretchedFrame(devicePixels, ratio)) {
        painter.drawImage(QPointF(0, 0), *stretched);
        return;
    }
    const QImage& image = frameImage(devicePixels);
    if (m_backdrop) {
        fillBackdrop(painter, image.size() == devicePixels, ratio);
    }
    drawFrame(painter, image, QSizeF(size()), ratio);
}

bool EffectView::composeInto(QPainter& painter, QSize devicePixels, qreal ratio) {
    // Only an opaque view can skip the painter: a translucent one is blended over what lies
    // behind it.
    if (!m_backdrop) {
        return false;
    }
    QPaintEngine* engine = painter.paintEngine();
    if (!engine || engine->type() != QPaintEngine::Raster || painter.hasClipping() ||
        painter.opacity() != 1.0 ||
        painter.compositionMode() != QPainter::CompositionMode_SourceOver) {
        return false;
    }
    QImage* image = plainImage(engine->paintDevice());
    const std::optional<QPoint> origin = wholePixelOrigin(painter, ratio);
    if (!image || !origin) {
        return false;
    }
    const QRect target(*origin, devicePixels);
    // A widget's paint sets the region being painted as the system clip: anything clipped
    // away (a card half scrolled out of sight) must stay untouched.
    const QRegion clip = engine->systemClip();
    if (!image->rect().contains(target) || clip.rectCount() != 1 ||
        !clip.boundingRect().contains(target)) {
        return false;
    }
    Stretched* stretched = stretchScene(devicePixels, ratio);
    // A frame painted again (a scroll, a hover) is composed once more into the view's own
    // image and copied from there from then on: a copy is cheaper than composing.
    if (!stretched || stretched->frameNumber == m_frameNumber ||
        stretched->composedInto == m_frameNumber) {
        return false;
    }
    // Straight into the backing store: no stretched copy to draw afterwards.
    composeStraight(*stretched, *image, target.topLeft());
    return true;
}

void EffectView::composeStraight(Stretched& stretched, QImage& image, QPoint at) {
    const auto stride = static_cast<std::size_t>(image.bytesPerLine() / 4);
    stretched.composer->compose(m_frame.data(), static_cast<std::size_t>(m_frame.bytesPerLine()),
                                reinterpret_cast<std::uint32_t*>(image.bits()) +
                                    static_cast<std::size_t>(at.y()) * stride +
                                    static_cast<std::size_t>(at.x()),
                                stride);
    stretched.composedInto = m_frameNumber;
}

void EffectView::fillBackdrop(QPainter& painter, bool oneForOne, qreal ratio) {
    const QSizeF area(size());
    if (!oneForOne) {
        painter.fillRect(QRectF(QPointF(0, 0), area), *m_backdrop);
        return;
    }
    // An opaque frame drawn one for one covers all but the rounded ends.
    const double radius = radiusFor(area);
    if (radius == 0.0) {
        return;
    }
    updateMasks(area, ratio, radius);
    const double left = m_masks.left / ratio;
    const double right = m_masks.right / ratio;
    painter.fillRect(QRectF(0.0, 0.0, left, area.height()), *m_backdrop);
    painter.fillRect(QRectF(right, 0.0, area.width() - right, area.height()), *m_backdrop);
}

void EffectView::setOverlay(QWidget* widget) {
    if (m_overlay) {
        m_overlay->removeEventFilter(this);
    }
    m_overlay = widget;
    m_overlayStale = true;
    if (widget) {
        widget->installEventFilter(this);
    }
}

bool EffectView::writeDirectly() {
    // What lies behind a view that is not opaque would have to be painted first.
    if (!m_backdrop || m_frame.isNull() || !isVisible() || width() <= 0 || height() <= 0) {
        return false;
    }
    QWidget* top = window();
    QWindow* handle = top->windowHandle();
    QBackingStore* store = top->backingStore();
    if (!handle || !handle->isExposed() || !store) {
        return false;
    }
    const QRect rect(mapTo(top, QPoint(0, 0)), size());
    if (m_directRegion.rectCount() != 1 || m_directRegion.boundingRect() != rect) {
        m_directRegion = QRegion(rect); // made once, not per frame
    }
    // The device is only known once painting has begun (a compositor's buffers take turns).
    store->beginPaint(m_directRegion);
    QImage* image = plainImage(store->paintDevice());
    const qreal ratio = image ? image->devicePixelRatio() : 0.0;
    const QRect pixels(rect.topLeft() * ratio, rect.size() * ratio);
    const bool plain =
        image && ratio >= 1.0 && ratio == std::floor(ratio) && image->rect().contains(pixels);
    const QImage* stretched = nullptr;
    const bool oneForOne = plain && pixels.size() == QSize(m_frame.width(), m_frame.height());
    if (plain && !oneForOne) {
        stretched = stretchedFrame(pixels.size(), ratio);
    }
    if (!oneForOne && !stretched) {
        store->endPaint();
        return false;
    }
    if (oneForOne) {
        writeOneForOne(*image, pixels.topLeft(), ratio);
    } else {
        const auto rowBytes = static_cast<std::size_t>(pixels.width()) * 4;
        for (int y = 0; y < pixels.height(); ++y) {
            std::memcpy(image->scanLine(pixels.y() + y) + static_cast<qsizetype>(pixels.x()) * 4,
                        stretched->constScanLine(y), rowBytes);
        }
    }
    overlayOnto(*image, pixels.topLeft(), ratio);
    store->endPaint();
    store->flush(m_directRegion, handle);
    ++m_directFrames;
    return true;
}

bool EffectView::joinBatch() {
    // Only an opaque view, or one that knows what lies behind it, can be written without
    // painting that first.
    if ((!m_backdrop && !m_underlayWhole) || m_overlay || !FrameTicker::delivering() ||
        !isVisible() || !updatesEnabled() || batch().views.size() >= Batch::capacity) {
        return false;
    }
    FrameTicker::setAfterTicks(&EffectView::showBatch);
    batch().views.push_back(this);
    return true;
}

bool EffectView::batchTarget(const QWidget* top, QRect& rect, QRect& seen) const {
    if (graphicsEffect() || testAttribute(Qt::WA_NativeWindow)) {
        return false;
    }
    for (const QObject* child : children()) {
        if (child->isWidgetType() && static_cast<const QWidget*>(child)->isVisible()) {
            return false;
        }
    }
    // Up to the window: each ancestor clips the view, and no widget stacked above the branch
    // that holds it may cover what is left in sight.
    QPoint at = mapTo(top, QPoint(0, 0));
    rect = QRect(at, size());
    seen = rect;
    const QWidget* branch = this;
    QPoint branchAt = at;
    for (const QWidget* parent = parentWidget(); parent != nullptr;
         branch = parent, parent = parent->parentWidget()) {
        const QPoint parentAt = branchAt - branch->pos();
        if (parent->graphicsEffect() || !parent->mask().isEmpty() ||
            (parent != top && parent->testAttribute(Qt::WA_NativeWindow))) {
            return false;
        }
        seen &= QRect(parentAt, parent->size());
        bool above = false;
        for (const QObject* sibling : parent->children()) {
            if (sibling == branch) {
                above = true;
                continue;
            }
            if (!above || !sibling->isWidgetType()) {
                continue;
            }
            const auto* widget = static_cast<const QWidget*>(sibling);
            if (!widget->isWindow() && widget->isVisible() &&
                QRect(parentAt + widget->pos(), widget->size()).intersects(seen)) {
                return false;
            }
        }
        if (parent == top) {
            return !seen.isEmpty();
        }
        branchAt = parentAt;
    }
    return false;
}

void EffectView::showBatch() {
    Batch& b = batch();
    // Usually every view is in one window; any others are shown window by window.
    for (std::size_t i = 0; i < b.views.size(); ++i) {
        if (b.views[i] == nullptr) {
            continue;
        }
        QWidget* top = b.views[i]->window();
        b.entries.clear();
        for (std::size_t j = i; j < b.views.size(); ++j) {
            EffectView* view = b.views[j];
            if (view == nullptr || view->window() != top) {
                continue;
            }
            b.views[j] = nullptr;
            QRect rect;
            QRect seen;
            if (view->batchTarget(top, rect, seen)) {
                b.entries.push_back({view, rect, seen});
            } else {
                view->update();
            }
        }
        const auto repaintAll = [&] {
            for (const Batch::Entry& entry : b.entries) {
                entry.view->update();
            }
        };
        QWindow* handle = top->windowHandle();
        QBackingStore* store = top->backingStore();
        if (b.entries.empty()) {
            continue;
        }
        if (handle == nullptr || !handle->isExposed() || store == nullptr) {
            repaintAll();
            continue;
        }
        const QRegion& region = b.regionFor(top);
        store->beginPaint(region);
        QImage* image = plainImage(store->paintDevice());
        const qreal ratio = image != nullptr ? image->devicePixelRatio() : 0.0;
        if (image == nullptr || ratio < 1.0 || ratio != std::floor(ratio)) {
            store->endPaint();
            repaintAll();
            continue;
        }
        for (const Batch::Entry& entry : b.entries) {
            if (!entry.view->composeBatched(*image, entry.rect, entry.seen, ratio)) {
                entry.view->update();
            }
        }
        store->endPaint();
        store->flush(region, handle);
    }
    b.views.clear();
}

bool EffectView::composeBatched(QImage& image, const QRect& rect, const QRect& seen, qreal ratio) {
    const QSize devicePixels(qCeil(width() * ratio), qCeil(height() * ratio));
    const QRect target(rect.topLeft() * ratio, devicePixels);
    const QRect part(seen.topLeft() * ratio, seen.size() * ratio);
    if (!image.rect().contains(part)) {
        return false;
    }
    if (!m_backdrop) {
        return overUnderlay(image, target, part);
    }
    Stretched* stretched = stretchScene(devicePixels, ratio);
    if (stretched == nullptr) {
        return false;
    }
    if (part == target && stretched->frameNumber != m_frameNumber) {
        // In full sight: composed straight in, as a paint event does.
        composeStraight(*stretched, image, target.topLeft());
        ++m_directFrames;
        return true;
    }
    // Partly in sight: composed into the view's own image, and the part in sight copied.
    const QImage* whole = stretchedFrame(devicePixels, ratio);
    const auto stride = static_cast<std::size_t>(image.bytesPerLine() / 4);
    auto* pixels = reinterpret_cast<std::uint32_t*>(image.bits());
    const QPoint from = part.topLeft() - target.topLeft();
    const auto rowBytes = static_cast<std::size_t>(part.width()) * 4;
    for (int y = 0; y < part.height(); ++y) {
        std::memcpy(pixels + static_cast<std::size_t>(part.y() + y) * stride +
                        static_cast<std::size_t>(part.x()),
                    whole->constScanLine(from.y() + y) + static_cast<qsizetype>(from.x()) * 4,
                    rowBytes);
    }
    ++m_directFrames;
    return true;
}

bool EffectView::overUnderlay(QImage& image, const QRect& target, const QRect& part) {
    if (!m_underlayWhole || m_underlay.size() != target.size()) {
        return false;
    }
    const QImage* frame = stretchedFrame(target.size(), m_underlay.devicePixelRatio());
    if (frame == nullptr) {
        return false;
    }
    // The frame is opaque inside its outline: only the rounded ends are blended, as the
    // painter's source-over does it.
    const auto over = [](std::uint32_t source, std::uint32_t behind) {
        const std::uint32_t alpha = source >> 24;
        if (alpha == 255) {
            return source;
        }
        const std::uint32_t a = 255 - alpha;
        std::uint32_t rb = (behind & 0xff00ffu) * a;
        rb = ((rb + ((rb >> 8) & 0xff00ffu) + 0x800080u) >> 8) & 0xff00ffu;
        std::uint32_t ag = ((behind >> 8) & 0xff00ffu) * a;
        ag = (ag + ((ag >> 8) & 0xff00ffu) + 0x800080u) & 0xff00ff00u;
        return source + (ag | rb);
    };
    const QPoint from = part.topLeft() - target.topLeft();
    for (int y = 0; y < part.height(); ++y) {
        const auto* source =
            reinterpret_cast<const std::uint32_t*>(frame->constScanLine(from.y() + y)) + from.x();
        const auto* behind =
            reinterpret_cast<const std::uint32_t*>(m_underlay.constScanLine(from.y() + y)) +
            from.x();
        auto* to = reinterpret_cast<std::uint32_t*>(image.scanLine(part.y() + y)) + part.x();
        const int w = part.width();
        int left = 0;
        while (left < w && source[left] >> 24 != 255) {
            to[left] = over(source[left], behind[left]);
            ++left;
        }
        int right = w;
        while (right > left && source[right - 1] >> 24 != 255) {
            --right;
            to[right] = over(source[right], behind[right]);
        }
        std::memcpy(to + left, source + left, static_cast<std::size_t>(right - left) * 4);
    }
    ++m_directFrames;
    return true;
}

void EffectView::writeOneForOne(QImage& target, QPoint at, qreal ratio) {
    // The same bytes as a paint event: the frame swapped into ARGB, its rounded ends laid on
    // the backdrop by their coverage.
    const double radius = radiusFor(QSizeF(size()));
    if (radius > 0.0) {
        updateMasks(QSizeF(size()), ratio, radius);
    }
    const QRgb backdrop = m_backdrop->rgb();
    const std::uint32_t back[3] = {static_cast<std::uint32_t>(qRed(backdrop)),
                                   static_cast<std::uint32_t>(qGreen(backdrop)),
                                   static_cast<std::uint32_t>(qBlue(backdrop))};
    const int width = m_frame.width();
    for (int y = 0; y < m_frame.height(); ++y) {
        const std::uint8_t* from =
            m_frame.data() + static_cast<std::size_t>(y) * m_frame.bytesPerLine();
        auto* to = reinterpret_cast<std::uint32_t*>(target.scanLine(at.y() + y)) + at.x();
        // Whole pixels in one run; only the ends' fringes are blended one by one.
        const int inFrom = radius > 0.0 ? m_masks.inFrom[static_cast<std::size_t>(y)] : 0;
        const int inTo = radius > 0.0 ? m_masks.inTo[static_cast<std::size_t>(y)] : width;
        if (inTo > inFrom) {
            PanelComposer::toArgb(from + 4 * inFrom, to + inFrom,
                                  static_cast<std::size_t>(inTo - inFrom));
        }
        const auto end = [&](int x0, int x1, const QImage& mask, int maskX) {
            const auto* cover = reinterpret_cast<const QRgb*>(mask.constScanLine(y));
            for (int x = x0; x < x1; ++x) {
                const std::uint32_t a = qAlpha(cover[x - maskX]);
                std::uint32_t c[3];
                for (int k = 0; k < 3; ++k) {
                    c[k] = times(from[4 * x + k], a) + times(back[k], 255 - a);
                }
                to[x] = 0xff000000u | c[0] << 16 | c[1] << 8 | c[2];
            }
        };
        if (radius > 0.0) {
            end(0, std::min(inFrom, inTo), m_masks.leftMask, 0);
            end(std::max(inTo, m_masks.right), width, m_masks.rightMask, m_masks.right);
        }
    }
}

void EffectView::overlayOnto(QImage& target, QPoint at, qreal ratio) {
    if (!m_overlay || m_overlay->isHidden() || !m_overlay->isVisibleTo(window())) {
        return;
    }
    // Not mapTo(this): the overlay is a sibling, not a child.
    const QPoint offset = m_overlay->mapTo(window(), QPoint(0, 0)) - mapTo(window(), QPoint(0, 0));
    const QRect place(offset * ratio, m_overlay->size() * ratio);
    if (m_overlayStale || m_overlayPicture.size() != place.size() ||
        m_overlayPicture.devicePixelRatio() != ratio) {
        m_overlayPicture = QImage(place.size(), QImage::Format_ARGB32_Premultiplied);
        m_overlayPicture.setDevicePixelRatio(ratio);
        m_overlayPicture.fill(Qt::transparent);
        m_renderingOverlay = true; // its paint now is not a change of look
        m_overlay->render(&m_overlayPicture, QPoint(), QRegion(), QWidget::DrawChildren);
        m_renderingOverlay = false;
        m_overlayStale = false;
    }
    const QRect inside = place.intersected(QRect(QPoint(0, 0), size() * ratio));
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        const auto* from =
            reinterpret_cast<const QRgb*>(m_overlayPicture.constScanLine(y - place.y()));
        auto* to = reinterpret_cast<QRgb*>(target.scanLine(at.y() + y)) + at.x();
        for (int x = inside.left(); x <= inside.right(); ++x) {
            const QRgb s = from[x - place.x()];
            const std::uint32_t keep = 255 - qAlpha(s);
            const QRgb d = to[x];
            to[x] = qRgba(static_cast<int>(qRed(s) + times(qRed(d), keep)),
                          static_cast<int>(qGreen(s) + times(qGreen(d), keep)),
                          static_cast<int>(qBlue(s) + times(qBlue(d), keep)), 255);
        }
    }
}

void EffectView::setBackdrop(std::optional<QColor> colour) {
    if (colour && (!colour->isValid() || colour->alpha() != 255)) {
        colour.reset();
    }
    if (colour == m_backdrop) {
        return;
    }
    m_backdrop = colour;
    setAttribute(Qt::WA_TranslucentBackground, !colour);
    setAttribute(Qt::WA_OpaquePaintEvent, colour.has_value());
    update();
}

bool EffectView::writePNG(const QString& path, double time) {
    m_error.clear();
    const Params params = currentParams();
    Frame frame = m_renderer.render(params, time);
    if (frame.isNull()) {
        m_error = tr("the effect could not be drawn");
        return false;
    }
    setFrame(frame, params);
    update();

    const int w = width();
    const int h = height();
    if (w <= 0 || h <= 0) {
        m_error = tr("the view has no area");
        return false;
    }
    QImage snapshot(w, h, QImage::Format_RGB32);
    snapshot.fill(Qt::black);
    {
        QPainter painter(&snapshot);
        drawFrame(painter, frameImage(QSize(w, h)), QSizeF(w, h), 1.0);
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
    if (watched == m_overlay && !m_renderingOverlay) {
        switch (event->type()) {
        case QEvent::Paint:
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::Show: m_overlayStale = true; break;
        default: break;
        }
    }
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
