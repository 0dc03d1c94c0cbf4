#pragma once

namespace lumora {

// How the bar window gets to the bottom centre above other windows: it places itself on X11
// (directly or through XWayland), the compositor places it as a layer-shell surface, or
// nothing can place it and the window goes wherever the compositor puts it.
enum class BarPlacement { x11, xwayland, layerShell, unplaced };

// The name the geometry dump uses: x11, xwayland, layer-shell or unplaced.
constexpr const char* placementName(BarPlacement placement) {
    switch (placement) {
    case BarPlacement::x11: return "x11";
    case BarPlacement::xwayland: return "xwayland";
    case BarPlacement::layerShell: return "layer-shell";
    case BarPlacement::unplaced: return "unplaced";
    }
    return "unplaced";
}

} // namespace lumora
