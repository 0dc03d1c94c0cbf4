#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lumora {

// What a DRM card says about itself, read once when looking for the Touch Bar. Kept apart
// from libdrm so the choice can be made (and tested) on descriptions alone.
struct DrmModeInfo {
    int width = 0;  // hdisplay
    int height = 0; // vdisplay
    bool preferred = false;
};

struct DrmConnectorInfo {
    std::uint32_t id = 0;
    bool connected = false;
    std::vector<DrmModeInfo> modes;
};

struct DrmCardInfo {
    std::string path;   // /dev/dri/cardN
    std::string driver; // the kernel driver's name, e.g. "appletbdrm"
    std::vector<DrmConnectorInfo> connectors;
    int openError = 0; // errno when the card could not be opened to read its connectors
};

struct PanelChoice {
    std::size_t card = 0;
    std::size_t connector = 0;
    std::size_t mode = 0;
    friend bool operator==(const PanelChoice&, const PanelChoice&) = default;
};

// Drivers that only ever drive a Touch Bar: T2 Macs and Apple Silicon.
bool isTouchBarDriver(const std::string& driver);

// A mode at least thirty times taller than wide: the bar's portrait scan-out.
bool isBarShaped(const DrmModeInfo& mode);

// The Touch Bar among `cards`: the first connected connector of a Touch Bar driver, else the
// first connected connector anywhere with a bar-shaped mode. Never guesses a panel length.
std::optional<PanelChoice> chooseTouchBar(const std::vector<DrmCardInfo>& cards);

// The panel on a card the user named: a connected connector with a bar-shaped mode in either
// orientation if there is one, else the first connected connector's preferred mode.
std::optional<PanelChoice> choosePanelOn(const DrmCardInfo& card);

} // namespace lumora
