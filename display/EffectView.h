#pragma once

#include "display/FrameTicker.h"
#include "engine/Effect.h"
#include "engine/EffectRenderer.h"
#include "engine/Frame.h"
#include "settings/Settings.h"

#include <QImage>
#include <QList>
#include <QPointer>
#include <QRegion>
#include <QSize>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QPainter;
class QWindow;

namespace lumora {

class PanelComposer;

// Shows an animated effect: ticks its own renderer from a frame timer and paints each frame
// stretched over the widget, inside rounded corners. The settings are read at every tick and
// every paint, so any change shows on the next frame without notifying the view.
class EffectView : public QWidget {
    Q_OBJECT
public:
    // Monotonic seconds.
    using Clock = std::function<double()>;

    // The renderer draws renderWidth x renderHeight pixels whatever size the widget has.
    // With followsWindow the view starts and stops itself with its window's visibility;
    // otherwise its owner calls start() and stop().
    EffectView(int renderWidth, int renderHeight, double fps, std::optional<QSize> fixedSize,
               std::optional<Effect> overrideEffect, bool followsWindow = false,
               Settings& settings = Settings::shared(), Clock clock = {},
               QWidget* parent = nullptr);
    ~EffectView() override;

    std::optional<Effect> overrideEffect() const { return m_overrideEffect; }
    void setOverrideEffect(std::optional<Effect> effect) { m_overrideEffect = effect; }

    void start();
    void stop();
    bool isRunning() const { return m_ticker.isActive(); }

    // Advances the phase by the time since the last tick (at most 0.25 s) times the speed and
    // renders the frame; the timer calls it, tests may too. A still effect whose parameters
    // and corners are as last shown is neither rendered nor repainted again.
    void tick();

    // Whether the effect's frames change with the animation time.
    static bool dependsOnTime(Effect effect);

    double phase() const { return m_phase; }
    // Ticks since construction, the first one included.
    std::uint64_t tickCount() const { return m_ticks; }
    const Frame& currentFrame() const { return m_frame; }
    double fps() const { return m_ticker.fps(); }
    const FrameTicker& ticker() const { return m_ticker; }
    // Takes effect at once; the animation keeps its speed, the phase follows real time.
    void setFps(double fps) { m_ticker.setFps(fps); }
    // Multiplies the stored brightness for what is shown (dimming); never stored. Shows from
    // the next tick.
    void setBrightnessScale(double scale) { m_brightnessScale = scale; }
    double brightnessScale() const { return m_brightnessScale; }
    // For a view that is the only animated thing in its window (the bar): each new frame is
    // painted and flushed within its tick instead of through a posted update request, which
    // spares the event loop a second pass and a wake-up write every frame. Views that share a
    // window and a tick (previews) leave this off, so their window is flushed once a frame.
    // An opaque view (see setBackdrop) writes its new frames straight into its window's
    // backing store, without a paint event, where that store is plain memory.
    void setPaintsAtOnce(bool atOnce) { m_paintsAtOnce = atOnce; }
    // The one widget that lies over the view (the bar's close button), if any: a frame written
    // straight into the window is overlaid with its picture, kept from its last paint.
    void setOverlay(QWidget* widget);
    // Frames written straight into the window since construction, alone or with others.
    std::uint64_t directFrames() const { return m_directFrames; }

    // Writes a PNG of the view (one pixel per point of its size) showing the frame at animation
    // time `time` on black. The phase is left alone. On failure nothing is written, false is
    // returned and errorString() says why.
    bool writePNG(const QString& path, double time);
    QString errorString() const { return m_error; }

    QSize sizeHint() const override;

    // Paints what paintEvent() shows, in the view's own points, at `ratio` pixels per point:
    // for a picture of the view shown elsewhere (the Touch Bar panel) at its own resolution.
    void paintFrame(QPainter& painter, qreal ratio);
    // The rounded outline's corner radius at the view's present size, in points.
    double outlineRadius() const { return radiusFor(QSizeF(size())); }

    // The opaque colour the view stands on (a card's face). Its corners are then painted in
    // it and the view is opaque, so a new frame repaints nothing behind it. None (or a colour
    // that is not opaque): the corners show whatever lies behind.
    void setBackdrop(std::optional<QColor> colour);
    std::optional<QColor> backdrop() const { return m_backdrop; }

signals:
    // The picture changed: a new frame, or the same frame in a new outline. Views that nobody
    // shows on screen are repainted on this.
    void frameChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Params currentParams() const;
    void setFrame(Frame frame, const Params& params);
    const QImage& imageOf(const Frame& frame);
    // The current frame, ready to be drawn at `devicePixels`.
    const QImage& frameImage(QSize devicePixels);
    double radiusFor(QSizeF size) const;
    // Draws `frame` stretched over `size` (in the painter's units, `ratio` device pixels each)
    // inside the rounded outline; outside it the target is left as it was.
    void drawFrame(QPainter& painter, const QImage& frame, QSizeF size, qreal ratio);
    void drawEnd(QPainter& painter, const QImage& frame, QSizeF size, qreal ratio, int x,
                 const QImage& mask, QImage& buffer);
    void updateMasks(QSizeF size, qreal ratio, double radius);
    // Paints the backdrop wherever the frame about to be drawn leaves it showing.
    void fillBackdrop(QPainter& painter, bool oneForOne, qreal ratio);
    // The current frame stretched to `devicePixels` with the outline folded into its alpha,
    // ready to be drawn one for one; null where that does not apply.
    const QImage* stretchedFrame(QSize devicePixels, qreal ratio);
    // The composer set up for a stretch to `devicePixels`; null where none applies.
    struct Stretched;
    Stretched* stretchScene(QSize devicePixels, qreal ratio);
    // Composes the current frame stretched straight into the backing store a paint event is
    // painting, where the painter leaves it plain to do so. False, with nothing painted,
    // otherwise.
    bool composeInto(QPainter& painter, QSize devicePixels, qreal ratio);
    // The current frame composed by `stretched` into `image` with its top left at `at`.
    void composeStraight(Stretched& stretched, QImage& image, QPoint at);
    // Writes the current frame, and the overlay over it, into the window's backing store and
    // flushes it. False, with nothing shown, where that cannot be done.
    bool writeDirectly();
    // A preview that ticked on a shared timer joins the views shown together once every view
    // due has ticked (showBatch): one write into their window's backing store and one flush,
    // instead of a widget repaint each. False where the view must be repainted instead.
    bool joinBatch();
    static void showBatch();
    // Where in its window the view lies and the part of it in sight, in points. False where
    // anything could lie over it or change how it looks (a sibling above it, a mask, an
    // effect, a native child window): it is then repainted as any widget.
    bool batchTarget(const QWidget* top, QRect& rect, QRect& seen) const;
    // The current frame into `image` (the window's backing store) where the view lies.
    bool composeBatched(QImage& image, const QRect& rect, const QRect& seen, qreal ratio);
    // The same for a view with no backdrop: the frame laid over the underlay it keeps.
    bool overUnderlay(QImage& image, const QRect& target, const QRect& part);
    // Keeps what a paint event's painter has under a view with no backdrop (its parents'
    // painting, where the painter is the window's plain backing store), so later frames can be
    // laid over it without painting those parents again.
    void keepUnderlay(QPainter& painter);
    void writeOneForOne(QImage& target, QPoint at, qreal ratio);
    void overlayOnto(QImage& target, QPoint at, qreal ratio);
    void watchWindow();
    void unwatchWindow();
    void followWindow();

    EffectRenderer m_renderer;
    Settings& m_settings;
    Clock m_clock;
    std::optional<QSize> m_fixedSize;
    std::optional<Effect> m_overrideEffect;
    bool m_followsWindow;
    FrameTicker m_ticker;
    double m_phase = 1.0;
    double m_brightnessScale = 1.0;
    bool m_paintsAtOnce = false;
    std::optional<QColor> m_backdrop;
    double m_lastTick = 0.0;
    std::uint64_t m_ticks = 0;
    Frame m_frame;
    Params m_frameParams;      // what m_frame shows
    double m_tickCorner = 0.0; // the corner setting at the last tick
    QString m_error;

    // QImage wrappers over the renderer's few recycled buffers, so wrapping a frame for
    // painting does not allocate every tick.
    struct Wrapped {
        const std::uint8_t* data = nullptr;
        int width = 0;
        int height = 0;
        QImage image;
    };
    std::array<Wrapped, 4> m_wrapped;
    std::size_t m_nextWrapped = 0;
    // Frames are numbered (from 1) so a conversion is never mistaken for that of a later
    // frame in a recycled buffer.
    std::uint64_t m_frameNumber = 0;
    QImage m_converted;
    std::uint64_t m_convertedNumber = 0;

    // Only the rounded ends need composing with coverage; the rest of the frame is opaque and
    // drawn straight. The ends' masks (the outline's coverage as alpha) and buffers are
    // rebuilt only when the size, scale or radius changes.
    struct Masks {
        QSizeF size;
        qreal ratio = 0.0;
        double radius = -1.0;
        int width = 0; // device pixels
        int left = 0;  // width of the left end
        int right = 0; // where the right end starts
        QImage leftMask, rightMask;
        QImage leftBuffer, rightBuffer;
        // Per device row, the columns [inFrom, inTo) that the outline covers whole.
        std::vector<int> inFrom, inTo;
    } m_masks;

    // Frames shown at another size than rendered are stretched by a composer rather than by
    // QPainter: one pass with the rounded ends' coverage in it, then a plain one-for-one draw.
    struct Stretched {
        QSize pixels;
        qreal ratio = 0.0;
        double radius = -1.0;
        int frameWidth = 0;
        int frameHeight = 0;
        std::optional<QColor> backdrop;
        std::unique_ptr<PanelComposer> composer;
        QImage image;
        std::uint64_t frameNumber = 0;  // the frame `image` holds
        std::uint64_t composedInto = 0; // the frame last composed straight into a window
    } m_stretched;

    // The overlay's picture, premultiplied, in device pixels; remade once the overlay has
    // painted, moved or changed size since.
    QPointer<QWidget> m_overlay;
    QImage m_overlayPicture;
    bool m_overlayStale = true;
    bool m_renderingOverlay = false;
    std::uint64_t m_directFrames = 0;
    QRegion m_directRegion;
    // What lies behind a view with no backdrop, in device pixels, from its paints; whole once
    // one paint has covered all of it at this size.
    QImage m_underlay;
    bool m_underlayWhole = false;

    // The view and its ancestors (any of them may be reparented) and the window's surface.
    QList<QPointer<QWidget>> m_watched;
    QPointer<QWindow> m_watchedHandle;
};

} // namespace lumora
