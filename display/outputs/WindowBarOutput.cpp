#include "display/outputs/WindowBarOutput.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPalette>
#include <QScreen>
#include <QWindow>

namespace lumora {

WindowBarOutput::WindowBarOutput(QObject* parent)
    : QObject(parent),
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
}

WindowBarOutput::~WindowBarOutput() {
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
    m_container->move(0, 0);
    m_container->show();
    place();
    m_window->show();
}

void WindowBarOutput::hide() {
    m_window->hide();
}

bool WindowBarOutput::isShown() const {
    return m_window->isVisible();
}

std::optional<double> WindowBarOutput::barWidth() const {
    if (!isShown()) {
        return std::nullopt;
    }
    return m_window->frameGeometry().width();
}

std::optional<BarOutput::Window> WindowBarOutput::window() const {
    const QWindow* handle = m_window->windowHandle();
    if (!isShown() || !handle) {
        return std::nullopt;
    }
    QString name = QString::fromLatin1(handle->metaObject()->className());
    name = name.mid(name.lastIndexOf(u':') + 1);
    const QRect frame = handle->frameGeometry();
    const QRect content = handle->geometry();
    return Window{name, QRectF(frame),
                  QRectF(QPointF(content.topLeft() - frame.topLeft()), QSizeF(content.size()))};
}

bool WindowBarOutput::eventFilter(QObject* watched, QEvent* event) {
    // The presenter fits the container's width to the bar; the window follows it.
    if (watched == m_container && event->type() == QEvent::Resize) {
        place();
    }
    return QObject::eventFilter(watched, event);
}

void WindowBarOutput::place() {
    const QSize size = m_container ? m_container->size() : m_window->size();
    QRect frame(QPoint(0, 0), size);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        frame.moveLeft(area.x() + (area.width() - size.width()) / 2);
        frame.moveBottom(area.bottom());
    }
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
