#include "Effect.h"

namespace lumora {
namespace {

struct EffectInfo {
    std::string_view raw;
    std::string_view title;
    std::string_view blurb;
    bool color;
    bool width;
    bool angle;
};

constexpr std::array<EffectInfo, 10> catalogue = {{
    {"rainbowWave", "Rainbow Wave", "The classic. A slow, stretched spectrum wave.", false, true,
     true},
    {"spectrumCycle", "Spectrum Cycle", "The whole bar drifts through every color.", false, false,
     true},
    {"breathing", "Breathing", "Smooth inhale, exhale. One color of your choice.", true, false,
     false},
    {"neonBreath", "Neon Breath",
     "Breath pulses ripple out from the center, white-hot at the peak.", false, false, true},
    {"heartbeat", "Heartbeat", "Thump-thump shockwaves blast out from the middle.", true, false,
     true},
    {"scanner", "Scanner", "A glowing comet with a trail sweeps side to side.", true, false, true},
    {"inferno", "Inferno", "Flickering flames climbing up the bar.", false, false, false},
    {"matrix", "Matrix", "Green code rains down on a black screen.", true, false, false},
    {"starfield", "Starfield", "Random colored stars twinkle on and off.", false, false, false},
    {"solid", "Solid", "A single steady color.", true, false, false},
}};

const EffectInfo& info(Effect effect) {
    return catalogue[static_cast<std::size_t>(effect)];
}

} // namespace

std::string_view rawValue(Effect effect) {
    return info(effect).raw;
}
std::string_view title(Effect effect) {
    return info(effect).title;
}
std::string_view blurb(Effect effect) {
    return info(effect).blurb;
}
bool usesColor(Effect effect) {
    return info(effect).color;
}
bool usesWidth(Effect effect) {
    return info(effect).width;
}
bool usesAngle(Effect effect) {
    return info(effect).angle;
}

std::optional<Effect> effectFromRawValue(std::string_view text) {
    for (Effect effect : allEffects) {
        if (info(effect).raw == text) {
            return effect;
        }
    }
    return std::nullopt;
}

} // namespace lumora
