#include "app/OpenedWindowSnapshot.h"

#include "app/PngFile.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QPixmap>
#include <QTextStream>
#include <QWidget>

namespace lumora {

namespace {

const QString windowTitle = QStringLiteral("Lumora");

} // namespace

QWidget* OpenedWindowSnapshot::findWindow(const QString& title) {
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows) {
        if (window->windowTitle() == title) {
            return window;
        }
    }
    return nullptr;
}

QImage OpenedWindowSnapshot::grab(const std::function<void()>& open) {
    if (open) {
        open();
    }
    // Let layouts settle and pending paints run before the picture is taken.
    const QDeadlineTimer settle(settleMs);
    while (!settle.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    QWidget* window = findWindow(windowTitle);
    return window ? window->grab().toImage() : QImage();
}

int OpenedWindowSnapshot::write(const QString& path, const std::function<void()>& open,
                                QTextStream& err) {
    if (path.isEmpty()) {
        err << "lumora: --snapshot-ui needs a file name" << Qt::endl;
        return 1;
    }
    const QImage image = grab(open);
    // Capturing some other window instead would pass for success; say what went wrong.
    if (image.isNull()) {
        err << "lumora: cannot write " << path << ": no window titled \"" << windowTitle
            << "\" was opened" << Qt::endl;
        return 1;
    }
    return writePngFile(image, path, err);
}

} // namespace lumora
