#pragma once

#include <QSize>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

class QWindow;

namespace lumora {

// The bar as a layer-shell surface on Wayland compositors that offer it (wlroots ones such as
// sway, KDE Plasma): on the overlay layer, anchored to the bottom edge and centred, taking no
// keyboard focus and pushing no other window aside. Pointer input reaches it as usual.
class LayerShellBar {
public:
    virtual ~LayerShellBar() = default;

    // Whether the compositor named by WAYLAND_DISPLAY offers layer-shell; nothing when it
    // cannot be reached. Asked on a connection of its own, before Qt picks a platform. False
    // in a build without layer-shell support.
    static std::optional<bool> offered();

    // A layer surface maker on the application's Wayland connection, or nothing with `why`
    // set (not on Wayland, no layer-shell, or a build without it). While one exists, windows
    // flagged Qt::BypassWindowManagerHint get no shell role from Qt, so they can take this one.
    static std::unique_ptr<LayerShellBar> create(QString* why);

    // Gives `window` the layer role; it must be shown (its surface exists) and not yet drawn.
    // Waits for the compositor's first configure, so Qt's first frame comes after it.
    virtual bool attach(QWindow* window, QSize size) = 0;
    // A new size for the bar, taken with the window's next frame.
    virtual void resize(QSize size) = 0;
    // Takes the role away again; call before the window is hidden (Qt then drops its surface).
    virtual void detach() = 0;
    virtual bool isAttached() const = 0;

    // The size the compositor gives the bar; it may be narrower than asked for.
    std::function<void(QSize)> onConfigure;
    // The compositor took the bar away (its output went away, say).
    std::function<void()> onClosed;
};

} // namespace lumora
