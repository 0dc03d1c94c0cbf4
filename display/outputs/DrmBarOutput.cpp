#include "display/outputs/DrmBarOutput.h"

#include "display/CloseButton.h"
#include "display/EffectView.h"
#include "display/outputs/TouchBarTouch.h"

#include <QPainter>
#include <cstdio>

namespace lumora {

DrmBarOutput::DrmBarOutput(DrmPanel::Options options, QObject* parent)
    : DrmBarOutput(
          [options](DrmFailure& failure) -> std::unique_ptr<BarPanel> {
              return DrmPanel::open(options, failure);
          },
          [](std::string* error) { return TouchBarTouch::open(error); }, parent) {}

DrmBarOutput::DrmBarOutput(PanelFactory panels, TouchFactory touch, QObject* parent)
    : QObject(parent), m_panels(std::move(panels)), m_touchFactory(std::move(touch)) {
    report = [](const QString& line) {
        std::fprintf(stderr, "lumora: %s\n", qPrintable(line));
    };
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
    const PanelLayout& layout = m_panel->layout();
    m_image = QImage(layout.length(), layout.depth(), QImage::Format_RGB32);
    m_image.fill(Qt::black);

    m_container = container;
    m_view = m_container->findChild<EffectView*>();
    m_closeButton = m_container->findChild<CloseButton*>();
    if (m_view) {
        m_frames = connect(m_view, &EffectView::frameChanged, this, &DrmBarOutput::pushFrame);
    }
    if (m_panel->eventFd() >= 0) {
        m_notifier = std::make_unique<QSocketNotifier>(m_panel->eventFd(), QSocketNotifier::Read);
        connect(m_notifier.get(), &QSocketNotifier::activated, this, &DrmBarOutput::readEvents);
    }

    if (m_touchFactory) {
        std::string error;
        m_touch = m_touchFactory(&error);
        if (m_touch) {
            connect(m_touch.get(), &TouchBarTouch::targetTapped, this,
                    &DrmBarOutput::tapClose);
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
    m_view = nullptr;
    m_closeButton = nullptr;
    m_container = nullptr;
    m_touch.reset();
    m_notifier.reset();
    // Turns the panel off, drops DRM master and closes the card.
    m_panel.reset();
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
    if (!m_panel->wantsFrame()) {
        ++m_dropped;
        return;
    }
    // Whatever the rounded ends leave uncovered stays dark on the panel.
    m_image.fill(Qt::black);
    {
        // The container's two children are painted straight in, at the panel's own
        // resolution: cheaper than rendering the widget tree, and the rounded ends and the
        // cross stay sharp instead of being stretched from a one-to-one picture.
        const qreal sx = static_cast<qreal>(m_image.width()) / m_container->width();
        const qreal sy = static_cast<qreal>(m_image.height()) / m_container->height();
        QPainter painter(&m_image);
        painter.scale(sx, sy);
        if (m_view && !m_view->isHidden()) {
            painter.translate(m_view->pos());
            m_view->paintFrame(painter, sy);
            painter.translate(-m_view->pos());
        }
        if (m_closeButton && !m_closeButton->isHidden()) {
            painter.translate(m_closeButton->pos());
            m_closeButton->paintButton(painter, sy);
        }
    }
    DrmFailure failure;
    const auto* pixels = reinterpret_cast<const std::uint32_t*>(m_image.constBits());
    const auto stride = static_cast<std::size_t>(m_image.bytesPerLine() / 4);
    if (!m_panel->submit(pixels, stride, &failure)) {
        fail(QString::fromStdString(failure.message()));
        release();
        return;
    }
    ++m_sent;
}

void DrmBarOutput::readEvents() {
    if (m_panel && m_panel->handleEvents()) {
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
