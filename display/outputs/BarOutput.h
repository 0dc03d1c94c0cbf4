#pragma once

#include <QGuiApplication>
#include <QList>
#include <QRectF>
#include <QScreen>
#include <QString>
#include <optional>

class QWidget;

namespace lumora {

// Where the bar's container is shown: a window on the desktop, or a panel that receives the
// container's pixels. The presenter owns the container; an output only borrows it between
// show() and hide() (and gives it back, unparented, when the output is destroyed).
class BarOutput {
public:
    // The window that holds the container, as the geometry dump describes it. Frames are in
    // screen coordinates; the content frame is relative to the window's frame.
    struct Window {
        QString className;
        QRectF frame;
        std::optional<QRectF> contentFrame;
        // How the window got where it is (x11, xwayland, layer-shell, unplaced); empty when
        // there is no telling.
        QString placement = {};
    };

    virtual ~BarOutput() = default;

    // Shows `container`, which stays owned by the caller. Showing again is harmless.
    virtual void show(QWidget* container) = 0;
    virtual void hide() = 0;
    virtual bool isShown() const = 0;

    // The container's layout or look changed outside its own painting (its width was fitted,
    // the close button shown or hidden). Outputs that copy its pixels show it again.
    virtual void refresh() {}

    // The width, in points, that the output really gives the bar; nothing while not shown.
    virtual std::optional<double> barWidth() const = 0;

    // The window holding the container, if there is one.
    virtual std::optional<Window> window() const = 0;

    // The frames of all screens in the system's order.
    virtual QList<QRectF> screens() const {
        QList<QRectF> frames;
        for (const QScreen* screen : QGuiApplication::screens()) {
            frames.append(QRectF(screen->geometry()));
        }
        return frames;
    }
};

} // namespace lumora
