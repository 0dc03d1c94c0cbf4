// A window that fills the screen with one flat colour, for the end-to-end tests to put the
// bar above: every pixel of it that shows is rgb(30, 144, 90).
//   e2e_fullscreen_window [--maximized]
// --maximized: as large as the desktop lets an ordinary window be, where a fullscreen one
// would cover everything (weston's desktop shell stacks fullscreen windows above all others).
#include <QGuiApplication>
#include <QPainter>
#include <QRasterWindow>

namespace {

class Flat : public QRasterWindow {
protected:
    void paintEvent(QPaintEvent*) override {
        QPainter(this).fillRect(QRect(QPoint(), size()), QColor(30, 144, 90));
    }
};

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    Flat window;
    window.setTitle(QStringLiteral("lumora-e2e-fullscreen"));
    if (app.arguments().contains(QStringLiteral("--maximized"))) {
        window.showMaximized();
    } else {
        window.showFullScreen();
    }
    return app.exec();
}
