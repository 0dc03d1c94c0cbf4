#pragma once

#include "engine/Effect.h"
#include "engine/EffectRenderer.h"
#include "engine/Frame.h"
#include "settings/Settings.h"

#include <QImage>
#include <QList>
#include <QPainterPath>
#include <QPointer>
#include <QSize>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <array>
#include <functional>
#include <optional>

class QWindow;

namespace lumora {

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
    bool isRunning() const { return m_timer.isActive(); }

    // Advances the phase by the time since the last tick (at most 0.25 s) times the speed and
    // renders the frame; the timer calls it, tests may too.
    void tick();

    double phase() const { return m_phase; }
    const Frame& currentFrame() const { return m_frame; }
    int timerInterval() const { return m_timer.interval(); }

    // Writes a PNG of the view (one pixel per point of its size) showing the frame at animation
    // time `time` on black. The phase is left alone. On failure nothing is written, false is
    // returned and errorString() says why.
    bool writePNG(const QString& path, double time);
    QString errorString() const { return m_error; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Params currentParams() const;
    const QImage& imageOf(const Frame& frame);
    // Draws `frame` stretched over `target` and makes everything outside the rounded outline
    // transparent.
    void compose(QImage& target, const QImage& frame, QSizeF size);
    void watchWindow();
    void unwatchWindow();
    void followWindow();

    EffectRenderer m_renderer;
    Settings& m_settings;
    Clock m_clock;
    std::optional<QSize> m_fixedSize;
    std::optional<Effect> m_overrideEffect;
    bool m_followsWindow;
    QTimer m_timer;
    double m_phase = 1.0;
    double m_lastTick = 0.0;
    Frame m_frame;
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

    // Reused between paints; rebuilt only when the size, scale or radius changes.
    QImage m_composite;
    QPainterPath m_corners;
    QSizeF m_cornersSize;
    double m_cornersRadius = -1.0;

    // The view and its ancestors (any of them may be reparented) and the window's surface.
    QList<QPointer<QWidget>> m_watched;
    QPointer<QWindow> m_watchedHandle;
};

} // namespace lumora
