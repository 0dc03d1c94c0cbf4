#include "app/WindowSnapshot.h"

#include "ui/SettingsView.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QPixmap>
#include <QSaveFile>
#include <QTextStream>

namespace lumora {

QImage WindowSnapshot::grabTall(std::optional<SnapshotPart> part, Settings& settings,
                                LoginItem& loginItem) {
    SettingsView view(part, settings, loginItem);
    view.setAttribute(Qt::WA_DontShowOnScreen);
    view.resize(tallSize);
    view.show();
    // Let layouts settle and pending paints run before the picture is taken.
    const QDeadlineTimer settle(100);
    while (!settle.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return view.grab().toImage();
}

int WindowSnapshot::writeTall(const QString& path, std::optional<SnapshotPart> part,
                              Settings& settings, LoginItem& loginItem, QTextStream& err) {
    if (path.isEmpty()) {
        err << "lumora: --snapshot-ui-tall needs a file name" << Qt::endl;
        return 1;
    }
    // Open first: no point drawing a page that cannot be saved.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        err << "lumora: cannot write " << path << ": " << file.errorString() << Qt::endl;
        return 1;
    }
    const QImage image = grabTall(part, settings, loginItem);
    if (image.isNull() || !image.save(&file, "PNG")) {
        const QString reason = image.isNull() ? QStringLiteral("the page could not be drawn")
                               : file.error() != QFileDevice::NoError
                                   ? file.errorString()
                                   : QStringLiteral("PNG encoding failed");
        file.cancelWriting();
        err << "lumora: cannot write " << path << ": " << reason << Qt::endl;
        return 1;
    }
    if (!file.commit()) {
        err << "lumora: cannot write " << path << ": " << file.errorString() << Qt::endl;
        return 1;
    }
    return 0;
}

} // namespace lumora
