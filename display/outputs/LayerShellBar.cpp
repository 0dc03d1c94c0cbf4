#include "display/outputs/LayerShellBar.h"

#include "qwayland-wlr-layer-shell-unstable-v1.h"

#include <QGuiApplication>
#include <QWindow>
#include <QtWaylandClient/QWaylandClientExtensionTemplate>
// Qt 6.4 offers a window's wl_surface only through the platform native interface, which is
// private API: it ties Lumora to this Qt minor version.
#include <cstring>
#include <qpa/qplatformnativeinterface.h>
#include <wayland-client.h>

namespace lumora {

namespace {

constexpr int layerShellVersion = 2;
constexpr char layerShellInterface[] = "zwlr_layer_shell_v1";
// The compositor answers a new surface's first commit at once; more round trips than this
// mean it never will.
constexpr int configureRoundTrips = 3;

// zwlr_layer_shell_v1, bound on Qt's own connection once the registry names it.
class LayerShell : public QWaylandClientExtensionTemplate<LayerShell>,
                   public QtWayland::zwlr_layer_shell_v1 {
public:
    LayerShell() : QWaylandClientExtensionTemplate<LayerShell>(layerShellVersion) {
        // Binds now if Qt has seen the global already (it has, after its first round trip).
        initialize();
    }
};

class LayerSurface : public QtWayland::zwlr_layer_surface_v1 {
public:
    LayerSurface(::zwlr_layer_surface_v1* object, LayerShellBar& owner)
        : QtWayland::zwlr_layer_surface_v1(object), m_owner(owner) {}
    ~LayerSurface() override { destroy(); }

    bool configured = false;

protected:
    void zwlr_layer_surface_v1_configure(uint32_t serial, uint32_t width,
                                         uint32_t height) override {
        ack_configure(serial);
        configured = true;
        if (width > 0 && height > 0 && m_owner.onConfigure) {
            m_owner.onConfigure(QSize(static_cast<int>(width), static_cast<int>(height)));
        }
    }
    void zwlr_layer_surface_v1_closed() override {
        if (m_owner.onClosed) {
            m_owner.onClosed();
        }
    }

private:
    LayerShellBar& m_owner;
};

class WaylandLayerShellBar : public LayerShellBar {
public:
    bool isOffered() const { return m_shell.isActive(); }

    bool attach(QWindow* window, QSize size) override {
        detach();
        QPlatformNativeInterface* native = QGuiApplication::platformNativeInterface();
        auto* surface =
            static_cast<::wl_surface*>(native->nativeResourceForWindow("surface", window));
        auto* display =
            static_cast<::wl_display*>(native->nativeResourceForIntegration("wl_display"));
        if (!surface || !display || !m_shell.isActive()) {
            return false;
        }
        m_surface = std::make_unique<LayerSurface>(
            m_shell.get_layer_surface(surface, nullptr,
                                      QtWayland::zwlr_layer_shell_v1::layer_overlay,
                                      QStringLiteral("lumora")),
            *this);
        m_surface->set_anchor(QtWayland::zwlr_layer_surface_v1::anchor_bottom);
        setSize(size);
        // Zero: other windows keep their room, and a panel's reserved edge is kept clear.
        m_surface->set_exclusive_zone(0);
        m_surface->set_keyboard_interactivity(0);
        // The role's first commit carries no buffer; Qt's first frame must wait for the
        // configure it brings, and Qt draws only once back in its event loop.
        wl_surface_commit(surface);
        for (int i = 0; i < configureRoundTrips && !m_surface->configured; ++i) {
            if (wl_display_roundtrip(display) < 0) {
                break;
            }
        }
        if (!m_surface->configured) {
            detach();
            return false;
        }
        return true;
    }

    void resize(QSize size) override {
        if (m_surface) {
            setSize(size);
        }
    }

    void detach() override { m_surface.reset(); }

    bool isAttached() const override { return m_surface != nullptr; }

private:
    void setSize(QSize size) {
        m_surface->set_size(static_cast<uint32_t>(qMax(1, size.width())),
                            static_cast<uint32_t>(qMax(1, size.height())));
    }

    LayerShell m_shell;
    std::unique_ptr<LayerSurface> m_surface;
};

} // namespace

std::optional<bool> LayerShellBar::offered() {
    ::wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        return std::nullopt;
    }
    bool found = false;
    static const wl_registry_listener listener = {
        [](void* data, ::wl_registry*, uint32_t, const char* interface, uint32_t) {
            if (std::strcmp(interface, layerShellInterface) == 0) {
                *static_cast<bool*>(data) = true;
            }
        },
        [](void*, ::wl_registry*, uint32_t) {}};
    ::wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &listener, &found);
    const bool answered = wl_display_roundtrip(display) >= 0;
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    if (!answered) {
        return std::nullopt;
    }
    return found;
}

std::unique_ptr<LayerShellBar> LayerShellBar::create(QString* why) {
    if (!QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
        *why = QStringLiteral("not running on Wayland");
        return nullptr;
    }
    auto bar = std::make_unique<WaylandLayerShellBar>();
    if (!bar->isOffered()) {
        *why = QStringLiteral("the compositor offers no layer-shell");
        return nullptr;
    }
    // Read by Qt whenever it shows a window: only the bar carries the hint.
    qputenv("QT_WAYLAND_USE_BYPASSWINDOWMANAGERHINT", "1");
    return bar;
}

} // namespace lumora
