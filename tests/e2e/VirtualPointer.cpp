// Clicks the left button at a point of a wlroots compositor's output through a virtual pointer:
// a headless compositor has no input devices of its own.
//   e2e_virtual_pointer X Y WIDTH HEIGHT
// WIDTH and HEIGHT are the output's size; exits 0 once the click is sent, 1 with a line on
// stderr where the compositor offers no virtual pointers.
#include "wayland-wlr-virtual-pointer-unstable-v1-client-protocol.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <wayland-client.h>

namespace {

constexpr uint32_t leftButton = 0x110; // BTN_LEFT

uint32_t now() {
    using namespace std::chrono;
    return static_cast<uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void pause(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: e2e_virtual_pointer X Y WIDTH HEIGHT\n");
        return 2;
    }
    const auto number = [&](int i) { return static_cast<uint32_t>(std::atoi(argv[i])); };
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        std::fprintf(stderr, "e2e_virtual_pointer: no Wayland compositor to connect to\n");
        return 1;
    }
    zwlr_virtual_pointer_manager_v1* manager = nullptr;
    static const wl_registry_listener listener = {
        [](void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
            if (std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0) {
                *static_cast<zwlr_virtual_pointer_manager_v1**>(data) =
                    static_cast<zwlr_virtual_pointer_manager_v1*>(wl_registry_bind(
                        registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
            }
        },
        [](void*, wl_registry*, uint32_t) {}};
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &listener, &manager);
    wl_display_roundtrip(display);
    if (!manager) {
        std::fprintf(stderr, "e2e_virtual_pointer: the compositor offers no virtual pointers\n");
        return 1;
    }
    zwlr_virtual_pointer_v1* pointer =
        zwlr_virtual_pointer_manager_v1_create_virtual_pointer(manager, nullptr);
    wl_display_roundtrip(display);
    // The new device gives the seat a pointer; clients need a moment to bind theirs.
    pause(500);
    zwlr_virtual_pointer_v1_motion_absolute(pointer, now(), number(1), number(2), number(3),
                                            number(4));
    zwlr_virtual_pointer_v1_frame(pointer);
    wl_display_roundtrip(display);
    pause(200);
    for (const auto state : {WL_POINTER_BUTTON_STATE_PRESSED, WL_POINTER_BUTTON_STATE_RELEASED}) {
        zwlr_virtual_pointer_v1_button(pointer, now(), leftButton, state);
        zwlr_virtual_pointer_v1_frame(pointer);
        wl_display_roundtrip(display);
        pause(100);
    }
    zwlr_virtual_pointer_v1_destroy(pointer);
    zwlr_virtual_pointer_manager_v1_destroy(manager);
    wl_registry_destroy(registry);
    wl_display_roundtrip(display);
    wl_display_disconnect(display);
    return 0;
}
