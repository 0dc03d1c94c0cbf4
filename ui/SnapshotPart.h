#pragma once

namespace lumora {

// Which part of the settings page a window snapshot shows.
enum class SnapshotPart {
    top,    // header, live preview, presets and effects
    tuning, // tuning and general panels
};

} // namespace lumora
