#include "display/outputs/LayerShellBar.h"

// Built without Qt's Wayland client: the bar is never a layer surface.
namespace lumora {

std::optional<bool> LayerShellBar::offered() {
    return false;
}

std::unique_ptr<LayerShellBar> LayerShellBar::create(QString* why) {
    *why = QStringLiteral("this Lumora was built without Wayland layer-shell support");
    return nullptr;
}

} // namespace lumora
