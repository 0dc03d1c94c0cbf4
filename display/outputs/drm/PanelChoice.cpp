#include "display/outputs/drm/PanelChoice.h"

#include <algorithm>

namespace lumora {

namespace {

constexpr int barAspect = 30;

std::optional<std::size_t> preferredMode(const DrmConnectorInfo& connector) {
    if (connector.modes.empty()) {
        return std::nullopt;
    }
    auto preferred = std::find_if(connector.modes.begin(), connector.modes.end(),
                                  [](const DrmModeInfo& mode) { return mode.preferred; });
    return preferred == connector.modes.end()
               ? 0
               : static_cast<std::size_t>(preferred - connector.modes.begin());
}

// The connector's preferred mode when that passes `test`, else its first mode that does.
template <typename Test>
std::optional<std::size_t> modePassing(const DrmConnectorInfo& connector, Test test) {
    auto preferred = preferredMode(connector);
    if (preferred && test(connector.modes[*preferred])) {
        return preferred;
    }
    for (std::size_t i = 0; i < connector.modes.size(); ++i) {
        if (test(connector.modes[i])) {
            return i;
        }
    }
    return std::nullopt;
}

bool isBarShapedEitherWay(const DrmModeInfo& mode) {
    int shortSide = std::min(mode.width, mode.height);
    int longSide = std::max(mode.width, mode.height);
    return shortSide > 0 && longSide >= barAspect * shortSide;
}

} // namespace

bool isTouchBarDriver(const std::string& driver) {
    return driver == "appletbdrm" || driver == "adp";
}

bool isBarShaped(const DrmModeInfo& mode) {
    return mode.width > 0 && mode.height >= barAspect * mode.width;
}

std::optional<PanelChoice> chooseTouchBar(const std::vector<DrmCardInfo>& cards) {
    for (std::size_t c = 0; c < cards.size(); ++c) {
        if (!isTouchBarDriver(cards[c].driver)) {
            continue;
        }
        const auto& connectors = cards[c].connectors;
        for (std::size_t k = 0; k < connectors.size(); ++k) {
            if (auto mode = preferredMode(connectors[k]); connectors[k].connected && mode) {
                return PanelChoice{c, k, *mode};
            }
        }
    }
    for (std::size_t c = 0; c < cards.size(); ++c) {
        const auto& connectors = cards[c].connectors;
        for (std::size_t k = 0; k < connectors.size(); ++k) {
            if (!connectors[k].connected) {
                continue;
            }
            if (auto mode = modePassing(connectors[k], isBarShaped)) {
                return PanelChoice{c, k, *mode};
            }
        }
    }
    return std::nullopt;
}

std::optional<PanelChoice> choosePanelOn(const DrmCardInfo& card) {
    const auto& connectors = card.connectors;
    for (std::size_t k = 0; k < connectors.size(); ++k) {
        if (!connectors[k].connected) {
            continue;
        }
        if (auto mode = modePassing(connectors[k], isBarShapedEitherWay)) {
            return PanelChoice{0, k, *mode};
        }
    }
    for (std::size_t k = 0; k < connectors.size(); ++k) {
        if (auto mode = preferredMode(connectors[k]); connectors[k].connected && mode) {
            return PanelChoice{0, k, *mode};
        }
    }
    return std::nullopt;
}

} // namespace lumora
