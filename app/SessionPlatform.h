#pragma once

#include "display/outputs/BarPlacement.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>

namespace lumora {

// What the environment says about the graphical session, read before Qt picks a platform.
struct SessionEnvironment {
    QString qpaPlatform;  // QT_QPA_PLATFORM as the user set it; empty when unset
    bool wayland = false; // WAYLAND_DISPLAY is set
    bool x11 = false;     // DISPLAY is set (on a Wayland session: XWayland is there)

    static SessionEnvironment current();
};

// The Qt platform to start with and how the bar window will be placed on it.
struct PlatformChoice {
    QByteArray platform; // for QT_QPA_PLATFORM while the application starts; empty leaves Qt's own
    BarPlacement placement = BarPlacement::x11;
    QString notice; // one line for stderr, or empty
};

// A Wayland compositor can neither let a window place itself nor keep it above others, so the
// bar needs layer-shell there, or X11 through XWayland, or makes do as an ordinary window.
// `barInWindow` is false when the bar goes to the real Touch Bar: then nothing is changed.
// `layerShell` asks the compositor whether it offers layer-shell (nothing when it cannot be
// reached); it is called at most once and only when the answer matters. A QT_QPA_PLATFORM the
// user set is always kept.
PlatformChoice choosePlatform(const SessionEnvironment& session, bool barInWindow,
                              const std::function<std::optional<bool>()>& layerShell);

} // namespace lumora
