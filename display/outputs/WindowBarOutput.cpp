#include "display/outputs/WindowBarOutput.h"

#include "display/outputs/LayerShellBar.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPalette>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <cstdio>

namespace lumora {

namespace {

// A compositor that took the bar away (its output went) is asked again after this long.
constexpr int layerRetryMs = 1000;

} // namespace

WindowBarOutput::WindowBarOutput(BarPlacement placement, QObject* parent)
    : WindowBarOutput(placement, nullptr, parent) {}

WindowBarOutput::WindowBarOutput(std::unique_ptr<LayerShellBar> layer, QObject* parent)
    : WindowBarOutput(BarPlacement::layerShell, std::move(layer), parent) {}

WindowBarOutput::WindowBarOutput(BarPlacement placement, std::unique_ptr<LayerShellBar> layer,
                                 QObject* parent)
    : QObject(parent), m_placement(placement), m_layer(std::move(layer)),
      m_window(std::make_unique<QWidget>(nullptr, Qt::Tool | Qt::FramelessWindowHint |
                                                      Qt::WindowStaysOnTopHint |
                                                      Qt::WindowDoesNotAcceptFocus)) {
    m_window->setWindowTitle(tr("Lumora Touch Bar"));
    m_window->setAttribute(Qt::WA_ShowWithoutActivating);
    // The strip's rounded ends show the bar's own black, as on the hardware.
    QPalette palette = m_window->palette();
    palette.setColor(QPalette::Window, Qt::black);
    m_window->setPalette(palette);
    m_window->setAutoFillBackground(true);

    if (m_placement == BarPlacement::layerShell && !m_layer) {
        QString why;
        m_layer = LayerShellBar::create(&why);
        if (!m_layer) {
            std::fprintf(stderr, "lumora: no layer-shell for the bar (%s); %s\n", qPrintable(why),
                         "it is an ordinary window that cannot be placed or kept above others");
            m_placement = BarPlacement::unplaced;
        }
    }
    if (m_layer) {
        // No xdg-shell role from Qt: the layer role is given instead.
        m_window->setWindowFlag(Qt::BypassWindowManagerHint);
        m_layer->onConfigure = [this](QSize size) {
            if (size != m_window->size()) {
                m_window->resize(size);
                m_placedFrame.setWidth(size.width());
            }
        };
        m_layer->onClosed = [this] {
            // Taken away (its output went): show it again wherever the compositor can.
            // Not from inside the layer surface's own event, which the hiding destroys.
            QTimer::singleShot(0, this, [this] {
                if (!m_layer || !isShown()) {
                    return;
                }
                m_layer->detach();
                m_window->hide();
                QTimer::singleShot(layerRetryMs, this, [this] {
                    if (m_layer && m_wanted && m_container && !isShown()) {
                        showOnLayer();
                    }
                });
            });
        };
    }
}

WindowBarOutput::~WindowBarOutput() {
    // The layer role goes before the window's surface does.
    if (m_layer) {
        m_layer->detach();
    }
    // The container belongs to the presenter: it must outlive our window.
    release();
}

void WindowBarOutput::show(QWidget* container) {
    if (container != m_container) {
        release();
        m_container = container;
        if (container) {
            container->setParent(m_window.get());
            container->installEventFilter(this);
        }
    }
    if (!m_container) {
        return;
    }
    m_wanted = true;
    m_container->move(0, 0);
    m_container->show();
    place();
    if (m_layer) {
        showOnLayer();
    } else {
        m_window->show();
    }
}

void WindowBarOutput::showOnLayer() {
    if (m_window->isVisible() && m_layer->isAttached()) {
        return;
    }
    m_window->show();
    if (!m_layer->attach(m_window->windowHandle(), m_window->size())) {
        // The surface has no role now: without one the compositor never shows it.
        std::fprintf(stderr, "lumora: the compositor did not take the bar as a layer-shell "
                             "surface; it is an ordinary window that cannot be placed\n");
        m_layer.reset();
        m_placement = BarPlacement::unplaced;
        m_window->hide();
        m_window->setWindowFlag(Qt::BypassWindowManagerHint, false);
        m_window->show();
    }
}

void WindowBarOutput::hide() {
    m_wanted = false;
    // The role goes before the surface Qt drops with the hidden window.
    if (m_layer) {
        m_layer->detach();
    }
    m_window->hide();
}

bool WindowBarOutput::isShown() const {
    return m_window->isVisible();
}

std::optional<double> WindowBarOutput::barWidth() const {
    if (!isShown()) {
        return std::nullopt;
    }
    // The window's own width: some window managers (weston's, for one) report frame extents
    // for its shadow even without decorations, and the container must not grow by them.
    return m_window->width();
}

std::optional<BarOutput::Window> WindowBarOutput::window() const {
    const QWindow* handle = m_window->windowHandle();
    if (!isShown() || !handle) {
        return std::nullopt;
    }
    QString name = QString::fromLatin1(handle->metaObject()->className());
    name = name.mid(name.lastIndexOf(u':') + 1);
    // Qt is not told where the compositor put a layer surface: where it was asked to go.
    const QRect frame = m_layer ? m_placedFrame : handle->frameGeometry();
    const QRect content = m_layer ? m_placedFrame : handle->geometry();
    return Window{name, QRectF(frame),
                  QRectF(QPointF(content.topLeft() - frame.topLeft()), QSizeF(content.size())),
                  QString::fromLatin1(placementName(m_placement))};
}

bool WindowBarOutput::eventFilter(QObject* watched, QEvent* event) {
    // The presenter fits the container's width to the bar; the window follows it.
    if (watched == m_container && event->type() == QEvent::Resize) {
        place();
    }
    return QObject::eventFilter(watched, event);
}

void WindowBarOutput::place() {
    QSize size = m_container ? m_container->size() : m_window->size();
    QRect frame(QPoint(0, 0), size);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        if (m_layer) {
            // The compositor would not shrink a bar wider than the screen to fit.
            frame.setWidth(qMin(size.width(), screen->geometry().width()));
        }
        const QRect area = screen->availableGeometry();
        frame.moveLeft(area.x() + (area.width() - frame.width()) / 2);
        frame.moveBottom(area.bottom());
    }
    if (m_layer) {
        // Where the compositor puts it; Qt is told the same so the geometry dump agrees.
        m_layer->resize(frame.size());
    }
    m_placedFrame = frame;
    m_window->setGeometry(frame);
}

void WindowBarOutput::release() {
    if (m_container) {
        m_container->removeEventFilter(this);
        if (m_container->parentWidget() == m_window.get()) {
            m_container->hide();
            m_container->setParent(nullptr);
        }
    }
    m_container = nullptr;
}

} // namespace lumora
