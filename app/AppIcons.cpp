#include "app/AppIcons.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace lumora::icons {

namespace {

constexpr int traySide = 22;

// An icon that renders: a theme entry or a resource whose image format (SVG) is not installed
// yields empty pixmaps.
bool renders(const QIcon& icon) {
    return !icon.isNull() && !icon.pixmap(QSize(traySide, traySide)).isNull();
}

QLinearGradient rainbow(const QRectF& over) {
    QLinearGradient gradient(over.topLeft(), over.topRight());
    const QColor stops[] = {QColor(0xFF, 0x3B, 0x30), QColor(0xFF, 0x95, 0x00),
                            QColor(0xE6, 0xB8, 0x00), QColor(0x2F, 0xB8, 0x4F),
                            QColor(0x00, 0x7A, 0xFF), QColor(0xAF, 0x52, 0xDE)};
    for (int i = 0; i < 6; ++i) {
        gradient.setColorAt(i / 5.0, stops[i]);
    }
    return gradient;
}

QPixmap drawTray(int scale) {
    QPixmap pixmap(traySide * scale, traySide * scale);
    pixmap.setDevicePixelRatio(scale);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    // The bar's shape, wide and short, centred; a dark rim reads on light panels, the light
    // rim inside it on dark ones.
    const QRectF pill(1.5, 6.5, traySide - 3.0, traySide - 13.0);
    painter.setPen(QPen(QColor(0x10, 0x10, 0x14), 1.5));
    painter.setBrush(rainbow(pill));
    painter.drawRoundedRect(pill, pill.height() / 2, pill.height() / 2);
    const QRectF inner = pill.adjusted(1.25, 1.25, -1.25, -1.25);
    painter.setPen(QPen(QColor(255, 255, 255, 200), 1.0));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(inner, inner.height() / 2, inner.height() / 2);
    return pixmap;
}

QPixmap drawApplication(int side) {
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(side / 128.0, side / 128.0);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x0A, 0x0A, 0x12));
    painter.drawRoundedRect(QRectF(4, 4, 120, 120), 26, 26);
    const QRectF strip(18, 54, 92, 20);
    painter.setBrush(rainbow(strip));
    painter.drawRoundedRect(strip, 6, 6);
    return pixmap;
}

} // namespace

QIcon application() {
    const QIcon themed = QIcon::fromTheme(QStringLiteral("lumora"));
    if (renders(themed)) {
        return themed;
    }
    const QIcon bundled(QStringLiteral(":/lumora/lumora.svg"));
    if (renders(bundled)) {
        return bundled;
    }
    QIcon drawn;
    for (const int side : {16, 32, 48, 64, 128, 256}) {
        drawn.addPixmap(drawApplication(side));
    }
    return drawn;
}

QIcon tray() {
    const QIcon themed = QIcon::fromTheme(QLatin1String(trayIconName));
    if (renders(themed)) {
        return themed;
    }
    const QIcon bundled(QStringLiteral(":/lumora/lumora-tray.svg"));
    if (renders(bundled)) {
        return bundled;
    }
    return drawnTray();
}

QIcon drawnTray() {
    QIcon icon;
    for (const int scale : {1, 2}) {
        icon.addPixmap(drawTray(scale));
    }
    return icon;
}

} // namespace lumora::icons
