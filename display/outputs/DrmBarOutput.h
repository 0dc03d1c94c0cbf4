#pragma once

#include "display/outputs/BarOutput.h"
#include "display/outputs/drm/BarPanel.h"
#include "display/outputs/drm/DrmPanel.h"
#include "display/outputs/drm/PanelComposer.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>

namespace lumora {

class CloseButton;
class EffectView;
class TouchBarTouch;

// The real Touch Bar: the container is never shown as a window; every new picture of it is
// composed at the panel's resolution straight into the panel's buffer. The panel is opened on show
// and released on hide, so other programs can take the bar while the lighting is off. A tap on the
// close button, read from the bar's digitizer, clicks it. Flushes are followed on the view's
// ticks: one wake-up a frame, and a frame dropped while a flush was in flight goes out on the
// next tick after it ends.
class DrmBarOutput : public QObject, public BarOutput {
    Q_OBJECT
public:
    using PanelFactory = std::function<std::unique_ptr<BarPanel>(DrmFailure&)>;
    using TouchFactory = std::function<std::unique_ptr<TouchBarTouch>(std::string* error)>;

    // The Touch Bar through DRM/KMS, found or named by `options`, with its digitizer.
    explicit DrmBarOutput(DrmPanel::Options options, QObject* parent = nullptr);
    // Any panel; no touch input when `touch` is empty.
    DrmBarOutput(PanelFactory panels, TouchFactory touch, QObject* parent = nullptr);
    ~DrmBarOutput() override;

    void show(QWidget* container) override;
    void hide() override;
    bool isShown() const override { return m_panel != nullptr; }
    // The panel's length at the bar's height: 1004 points on a 2008-pixel panel.
    std::optional<double> barWidth() const override;
    std::optional<Window> window() const override { return std::nullopt; }
    void refresh() override;

    // Receives each problem as one line. Writes to stderr unless replaced.
    std::function<void(const QString&)> report;

    // How many frames went to the panel, and how many were dropped while one was in flight.
    quint64 framesSent() const { return m_sent; }
    quint64 framesDropped() const { return m_dropped; }

    // Draws the container now and sends it unless a flush is in flight.
    void pushFrame();
    // A tap on the close button, read from the bar's digitizer: clicks it if it is shown.
    void tapClose();

private:
    // Reads any finished flush without waiting; true when a frame was dropped during it.
    bool collectCompletions();
    void catchUp();
    void release();
    void updateTouchTarget();
    void fail(const QString& message);
    // What the composer's tables depend on besides the panel; compared every frame, rebuilt
    // (with QPainter) only when it changes.
    struct SceneKey {
        QSize container;
        QRect view;
        bool viewShown = false;
        int frameWidth = 0;
        int frameHeight = 0;
        double radius = -1.0;
        QRect button;
        bool buttonShown = false;
        bool buttonDown = false;
        friend bool operator==(const SceneKey&, const SceneKey&) = default;
    };
    SceneKey sceneKey() const;
    void buildScene(const SceneKey& key);

    PanelFactory m_panels;
    TouchFactory m_touchFactory;
    std::unique_ptr<BarPanel> m_panel;
    std::unique_ptr<TouchBarTouch> m_touch;
    QPointer<QWidget> m_container;
    QPointer<EffectView> m_view;
    QPointer<CloseButton> m_closeButton;
    QMetaObject::Connection m_frames;
    QMetaObject::Connection m_ticks;
    bool m_owed = false; // the last frame offered was dropped
    std::unique_ptr<PanelComposer> m_composer;
    SceneKey m_scene;
    quint64 m_sent = 0;
    quint64 m_dropped = 0;
    bool m_touchReported = false;
};

} // namespace lumora
