#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

namespace lumora {

// The catalogue order is the order of every list shown to the user and of the snapshots.
enum class Effect {
    rainbowWave,
    spectrumCycle,
    breathing,
    neonBreath,
    heartbeat,
    scanner,
    inferno,
    matrix,
    starfield,
    solid,
};

inline constexpr std::array<Effect, 10> allEffects = {
    Effect::rainbowWave, Effect::spectrumCycle, Effect::breathing, Effect::neonBreath,
    Effect::heartbeat,   Effect::scanner,       Effect::inferno,   Effect::matrix,
    Effect::starfield,   Effect::solid,
};

// The persisted name, which is also the effect's identity.
std::string_view rawValue(Effect effect);
// Exact, case-sensitive; anything else is no effect.
std::optional<Effect> effectFromRawValue(std::string_view text);

std::string_view title(Effect effect);
std::string_view blurb(Effect effect);
bool usesColor(Effect effect);
bool usesWidth(Effect effect);
bool usesAngle(Effect effect);

} // namespace lumora
