// A window that fills the screen with one flat colour, for the end-to-end tests to put the
// bar above: every pixel of it that shows is rgb(30, 144, 90).
//   e2e_fullscreen_window
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
    window.showFullScreen();
    return app.exec();
}
