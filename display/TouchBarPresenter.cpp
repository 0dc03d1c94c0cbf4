#include "display/TouchBarPresenter.h"

#include <QByteArray>
#include <QEvent>
#include <QSaveFile>
#include <QStringList>
#include <QTimer>
#include <charconv>
#include <cmath>
#include <utility>

namespace lumora {

namespace {

// The close button sits this far from the bar's right end.
constexpr int closeInset = 10;
// Bar widths at or below this are not a real bar and are ignored.
constexpr double smallestBarWidth = 100.0;
// Smaller differences are rounding, not a different bar.
constexpr double widthTolerance = 0.5;

constexpr char debugVariable[] = "LUMORA_DEBUG";

// Shortest text that reads back as the same double, with at least one fractional digit.
QString number(double value) {
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value);
    QString out = QString::fromLatin1(text, static_cast<qsizetype>(result.ptr - text));
    if (std::isfinite(value) && !out.contains(u'.') && !out.contains(u'e')) {
        out += QStringLiteral(".0");
    }
    return out;
}

QString unqualified(const QObject* object) {
    const QString name = QString::fromLatin1(object->metaObject()->className());
    return name.mid(name.lastIndexOf(u':') + 1);
}

} // namespace

TouchBarPresenter::TouchBarPresenter(std::unique_ptr<BarOutput> output, Settings& settings,
                                     QObject* parent)
    : QObject(parent), m_output(std::move(output)), m_container(std::make_unique<QWidget>()) {
    m_container->setFixedSize(barSize);
    m_view = new EffectView(barSize.width(), barSize.height(), 60.0, std::nullopt, std::nullopt,
                            false, settings, {}, m_container.get());
    m_view->setPaintsAtOnce(true);
    // The bar's ends are black, on the hardware and in a window: an opaque view repaints
    // nothing behind it for every frame.
    m_view->setBackdrop(QColor(Qt::black));
    // Added after the view, so it lies above the effect.
    m_closeButton = new CloseButton(m_container.get());
    m_closeButton->setFixedSize(CloseButton::buttonSize);
    m_view->setOverlay(m_closeButton);
    connect(m_closeButton, &CloseButton::clicked, this, [this] {
        if (onClose) {
            onClose();
        }
    });
    m_container->installEventFilter(this);
    layoutContainer();
}

TouchBarPresenter::~TouchBarPresenter() {
    if (m_output) {
        m_output->hide();
    }
    m_view->stop();
}

void TouchBarPresenter::present() {
    m_view->start();
    m_output->show(m_container.get());
    m_presented = true;

    // The context object cancels the fit if the presenter is gone by then.
    QTimer::singleShot(widthFitDelayMs, this, [this] { fitWidth(); });
    if (qEnvironmentVariableIsSet(debugVariable)) {
        const QString path = qEnvironmentVariable(debugVariable);
        QTimer::singleShot(geometryDumpDelayMs, this, [this, path] { dumpGeometry(path); });
    }
}

void TouchBarPresenter::dismiss() {
    m_output->hide();
    m_view->stop();
    m_presented = false;
}

void TouchBarPresenter::setCloseVisible(bool visible) {
    m_closeButton->setHidden(!visible);
    m_output->refresh();
}

void TouchBarPresenter::fitWidth() {
    const std::optional<double> available = m_output->barWidth();
    if (!available || *available <= smallestBarWidth ||
        std::abs(*available - m_width) <= widthTolerance) {
        return;
    }
    m_width = *available;
    m_container->setFixedSize(qRound(m_width), barSize.height());
    // A container that is never shown as a window (the panel output) gets no resize event.
    layoutContainer();
    m_output->refresh();
}

bool TouchBarPresenter::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_container.get() && event->type() == QEvent::Resize) {
        layoutContainer();
    }
    return QObject::eventFilter(watched, event);
}

void TouchBarPresenter::layoutContainer() {
    const QSize size = m_container->size();
    m_view->setGeometry(QRect(QPoint(0, 0), size));
    const QSize button = CloseButton::buttonSize;
    m_closeButton->move(size.width() - closeInset - button.width(),
                        (size.height() - button.height()) / 2);
}

QString TouchBarPresenter::describe(const QRectF& rect) {
    return QStringLiteral("(%1, %2, %3, %4)")
        .arg(number(rect.x()), number(rect.y()), number(rect.width()), number(rect.height()));
}

QString TouchBarPresenter::geometryDescription() const {
    QString text;
    for (const QWidget* widget = m_container.get(); widget; widget = widget->parentWidget()) {
        text += unqualified(widget) + QStringLiteral(" frame=") +
                describe(QRectF(widget->geometry())) + QStringLiteral(" bounds=") +
                describe(QRectF(widget->rect())) + u'\n';
    }
    if (const std::optional<BarOutput::Window> window = m_output->window()) {
        const QString content =
            window->contentFrame
                ? QStringLiteral("Optional(%1)").arg(describe(*window->contentFrame))
                : QStringLiteral("nil");
        text += QStringLiteral("window ") + window->className + QStringLiteral(" frame=") +
                describe(window->frame) + QStringLiteral(" contentView=") + content + u'\n';
        if (!window->placement.isEmpty()) {
            text += QStringLiteral("placement: ") + window->placement + u'\n';
        }
    }
    QStringList screens;
    for (const QRectF& screen : m_output->screens()) {
        screens.append(describe(screen));
    }
    text +=
        QStringLiteral("screens: [") + screens.join(QStringLiteral(", ")) + QStringLiteral("]\n");
    return text;
}

void TouchBarPresenter::dumpGeometry(const QString& path) const {
    // A diagnostic: a path that cannot be written is simply skipped.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return;
    }
    file.write(geometryDescription().toUtf8());
    file.commit();
}

} // namespace lumora
