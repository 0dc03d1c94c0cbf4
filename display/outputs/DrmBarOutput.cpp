#include "display/outputs/DrmBarOutput.h"

#include "display/CloseButton.h"
#include "display/EffectView.h"
#include "display/outputs/TouchBarTouch.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>
#include <cstring>
#include <poll.h>

namespace lumora {

DrmBarOutput::DrmBarOutput(DrmPanel::Options options, QObject* parent)
    : DrmBarOutput(
          [options](DrmFailure& failure) -> std::unique_ptr<BarPanel> {
              return DrmPanel::open(options, failure);
          },
          [](std::string* error) { return TouchBarTouch::open(error); }, parent) {}

DrmBarOutput::DrmBarOutput(PanelFactory panels, TouchFactory touch, QObject* parent)
    : QObject(parent), m_panels(std::move(panels)), m_touchFactory(std::move(touch)) {
    report = [](const QString& line) { std::fprintf(stderr, "lumora: %s\n", qPrintable(line)); };
}

DrmBarOutput::~DrmBarOutput() {
    release();
}

void DrmBarOutput::show(QWidget* container) {
    // Showing again (after a wake) takes the panel afresh: across a suspend the bar's USB
    // device may have been reset and the old descriptor is then dead or the panel blank.
    release();
    DrmFailure failure;
    m_panel = m_panels(failure);
    if (!m_panel) {
        fail(QString::fromStdString(failure.message()));
        return;
    }
    m_composer = std::make_unique<PanelComposer>(m_panel->layout());
    m_scene = {};

    m_container = container;
    m_view = m_container->findChild<EffectView*>();
    m_closeButton = m_container->findChild<CloseButton*>();
    if (m_view) {
        m_frames = connect(m_view, &EffectView::frameChanged, this, &DrmBarOutput::pushFrame);
        // Connected after the view's own tick, so a frame is offered before this runs.
        m_ticks = connect(&m_view->ticker(), &FrameTicker::ticked, this, &DrmBarOutput::catchUp);
    }

    if (m_touchFactory) {
        std::string error;
        m_touch = m_touchFactory(&error);
        if (m_touch) {
            connect(m_touch.get(), &TouchBarTouch::targetTapped, this, &DrmBarOutput::tapClose);
            updateTouchTarget();
        } else if (!m_touchReported) {
            // Once per run: the bar still lights up, and the menu still turns it off.
            m_touchReported = true;
            fail(QString::fromStdString(error) +
                 QStringLiteral("; the close button on the bar will not respond"));
        }
    }
    pushFrame();
}

void DrmBarOutput::hide() {
    release();
}

void DrmBarOutput::release() {
    if (m_frames) {
        disconnect(m_frames);
    }
    if (m_ticks) {
        disconnect(m_ticks);
    }
    m_owed = false;
    m_view = nullptr;
    m_closeButton = nullptr;
    m_container = nullptr;
    m_touch.reset();
    // Turns the panel off, drops DRM master and closes the card.
    m_panel.reset();
    m_composer.reset();
}

std::optional<double> DrmBarOutput::barWidth() const {
    if (!m_panel) {
        return std::nullopt;
    }
    return m_panel->layout().barWidthPoints(m_container ? m_container->height() : 30.0);
}

void DrmBarOutput::pushFrame() {
    if (!m_panel || !m_container || m_container->width() <= 0 || m_container->height() <= 0) {
        return;
    }
    collectCompletions();
    if (!m_panel->wantsFrame()) {
        ++m_dropped;
        m_owed = true;
        return;
    }
    m_owed = false;
    const SceneKey key = sceneKey();
    if (!(key == m_scene)) {
        buildScene(key);
    }
    // Straight into the panel's buffer: no picture of the container is painted per frame.
    struct Compose final : BufferPainter {
        PanelComposer& composer;
        const std::uint8_t* frame;
        std::size_t bytesPerLine;
        Compose(PanelComposer& c, const std::uint8_t* f, std::size_t b)
            : composer(c), frame(f), bytesPerLine(b) {}
        void paint(const ScanOut& buffer) const override {
            composer.compose(frame, bytesPerLine, buffer);
        }
    };
    const Frame* frame = key.viewShown && key.frameWidth > 0 ? &m_view->currentFrame() : nullptr;
    const Compose compose(*m_composer, frame ? frame->data() : nullptr,
                          frame ? static_cast<std::size_t>(frame->bytesPerLine()) : 0);
    DrmFailure failure;
    if (!m_panel->draw(compose, &failure)) {
        fail(QString::fromStdString(failure.message()));
        release();
        return;
    }
    ++m_sent;
}

DrmBarOutput::SceneKey DrmBarOutput::sceneKey() const {
    SceneKey key;
    key.container = m_container->size();
    if (m_view && !m_view->isHidden()) {
        const Frame& frame = m_view->currentFrame();
        key.view = m_view->geometry();
        key.viewShown = true;
        key.frameWidth = frame.isNull() ? 0 : frame.width();
        key.frameHeight = frame.isNull() ? 0 : frame.height();
        key.radius = m_view->outlineRadius();
    }
    if (m_closeButton && !m_closeButton->isHidden()) {
        key.button = m_closeButton->geometry();
        key.buttonShown = true;
        key.buttonDown = m_closeButton->isDown();
    }
    return key;
}

void DrmBarOutput::buildScene(const SceneKey& key) {
    m_scene = key;
    const PanelLayout& layout = m_panel->layout();
    const qreal sx = static_cast<qreal>(layout.length()) / key.container.width();
    const qreal sy = static_cast<qreal>(layout.depth()) / key.container.height();
    PanelScene scene;
    scene.format = m_panel->format();
    if (key.viewShown && key.frameWidth > 0 && key.frameHeight > 0) {
        scene.frameWidth = key.frameWidth;
        scene.frameHeight = key.frameHeight;
        scene.viewX = key.view.x() * sx;
        scene.viewY = key.view.y() * sy;
        scene.viewWidth = key.view.width() * sx;
        scene.viewHeight = key.view.height() * sy;
        // The outline's coverage, antialiased as the window draws it.
        QImage coverage(layout.length(), layout.depth(), QImage::Format_Alpha8);
        coverage.fill(Qt::transparent);
        {
            QPainter painter(&coverage);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.scale(sx, sy);
            QPainterPath outline;
            outline.addRoundedRect(QRectF(key.view), key.radius, key.radius);
            painter.fillPath(outline, Qt::black);
        }
        const auto width = static_cast<std::size_t>(coverage.width());
        scene.coverage.resize(width * static_cast<std::size_t>(coverage.height()));
        for (int y = 0; y < coverage.height(); ++y) {
            std::memcpy(scene.coverage.data() + static_cast<std::size_t>(y) * width,
                        coverage.constScanLine(y), width);
        }
    }
    if (key.buttonShown) {
        const QRect place(qRound(key.button.x() * sx), qRound(key.button.y() * sy),
                          qCeil(key.button.width() * sx), qCeil(key.button.height() * sy));
        QImage sprite(place.size(), QImage::Format_ARGB32_Premultiplied);
        sprite.fill(Qt::transparent);
        {
            QPainter painter(&sprite);
            painter.scale(sx, sy);
            m_closeButton->paintButton(painter, sy);
        }
        scene.spriteX = place.x();
        scene.spriteY = place.y();
        scene.spriteWidth = sprite.width();
        scene.spriteHeight = sprite.height();
        scene.sprite.resize(static_cast<std::size_t>(sprite.width()) *
                            static_cast<std::size_t>(sprite.height()));
        for (int y = 0; y < sprite.height(); ++y) {
            std::memcpy(scene.sprite.data() + static_cast<std::size_t>(y) * sprite.width(),
                        sprite.constScanLine(y), static_cast<std::size_t>(sprite.width()) * 4);
        }
    }
    m_composer->setScene(std::move(scene));
}

// A flush ends long before the next tick: its completion is read then, on the frame's own
// wake-up, instead of waking the thread a second time for it.
bool DrmBarOutput::collectCompletions() {
    const int fd = m_panel->eventFd();
    pollfd ready{fd, POLLIN, 0};
    return fd >= 0 && ::poll(&ready, 1, 0) == 1 && (ready.revents & POLLIN) != 0 &&
           m_panel->handleEvents();
}

void DrmBarOutput::catchUp() {
    // A picture that stands still brings no new frame: once the flush ends, what was dropped
    // goes out.
    if (m_owed && m_panel && collectCompletions()) {
        pushFrame();
    }
}

void DrmBarOutput::refresh() {
    updateTouchTarget();
    pushFrame();
}

void DrmBarOutput::updateTouchTarget() {
    if (!m_touch || !m_container) {
        return;
    }
    m_touch->setBarSize(QSizeF(m_container->size()));
    const bool visible = m_closeButton && !m_closeButton->isHidden();
    m_touch->setTarget(visible ? QRectF(m_closeButton->geometry()) : QRectF());
}

void DrmBarOutput::tapClose() {
    if (m_closeButton && !m_closeButton->isHidden()) {
        m_closeButton->click();
    }
}

void DrmBarOutput::fail(const QString& message) {
    if (report) {
        report(message);
    }
}

} // namespace lumora
