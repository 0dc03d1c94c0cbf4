#include "app/SessionPlatform.h"

namespace lumora {

namespace {

const QString unplacedWindow =
    QStringLiteral("the bar is an ordinary window that cannot be placed or kept above others");

} // namespace

SessionEnvironment SessionEnvironment::current() {
    SessionEnvironment session;
    session.qpaPlatform = qEnvironmentVariable("QT_QPA_PLATFORM");
    session.wayland = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    session.x11 = !qEnvironmentVariableIsEmpty("DISPLAY");
    return session;
}

PlatformChoice choosePlatform(const SessionEnvironment& session, bool barInWindow,
                              const std::function<std::optional<bool>()>& layerShell) {
    PlatformChoice choice;
    const QString asked = session.qpaPlatform.section(u';', 0, 0).trimmed();
    if (!asked.isEmpty()) {
        // The user's platform stands; only say what it means for the bar.
        if (asked == QLatin1String("xcb")) {
            choice.placement = session.wayland ? BarPlacement::xwayland : BarPlacement::x11;
        } else if (!asked.startsWith(QLatin1String("wayland"))) {
            choice.placement = BarPlacement::unplaced;
        } else if (barInWindow && layerShell() == true) {
            choice.placement = BarPlacement::layerShell;
        } else {
            choice.placement = BarPlacement::unplaced;
            if (barInWindow) {
                choice.notice = QStringLiteral("lumora: QT_QPA_PLATFORM=%1 and the compositor "
                                               "offers no layer-shell; %2")
                                    .arg(session.qpaPlatform, unplacedWindow);
            }
        }
        return choice;
    }
    if (!session.wayland) {
        choice.placement = session.x11 ? BarPlacement::x11 : BarPlacement::unplaced;
        return choice;
    }
    if (!barInWindow) {
        // The real Touch Bar: the desktop's own platform suits the other windows best.
        choice.placement = BarPlacement::unplaced;
        return choice;
    }
    const std::optional<bool> offered = layerShell();
    if (offered == true) {
        choice.platform = "wayland";
        choice.placement = BarPlacement::layerShell;
    } else if (session.x11) {
        choice.platform = "xcb";
        choice.placement = BarPlacement::xwayland;
        choice.notice =
            offered ? QStringLiteral("lumora: the Wayland compositor offers no layer-shell; the "
                                     "bar runs through XWayland to stay at the bottom above "
                                     "other windows")
                    : QStringLiteral("lumora: cannot reach the Wayland compositor named by "
                                     "WAYLAND_DISPLAY; running through X11 instead");
    } else if (offered) {
        choice.platform = "wayland";
        choice.placement = BarPlacement::unplaced;
        choice.notice = QStringLiteral("lumora: the Wayland compositor offers no layer-shell "
                                       "and there is no XWayland (DISPLAY is unset); ") +
                        unplacedWindow;
    } else {
        // Nothing to connect to: Qt says so when it starts.
        choice.placement = BarPlacement::unplaced;
    }
    return choice;
}

} // namespace lumora
