#include "display/outputs/drm/TouchMap.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace lumora {

void TouchMap::setDigitizerSize(double widthMm, double heightMm) {
    m_turned = widthMm > 0.0 && heightMm > widthMm;
}

void TouchMap::setBarSize(double width, double height) {
    m_barWidth = std::max(width, 0.0);
    m_barHeight = std::max(height, 0.0);
}

TouchPoint TouchMap::toBar(double normalisedX, double normalisedY) const {
    // A NaN survives the clamp and then lies inside no target, which is what it deserves.
    double along = std::clamp(m_turned ? normalisedY : normalisedX, 0.0, 1.0);
    double across = std::clamp(m_turned ? 1.0 - normalisedX : normalisedY, 0.0, 1.0);
    return {along * m_barWidth, across * m_barHeight};
}

void TapTracker::setTarget(const TouchRect& target) {
    if (target.x == m_target.x && target.y == m_target.y && target.width == m_target.width &&
        target.height == m_target.height) {
        return;
    }
    m_target = target;
    for (Slot& slot : m_slots) {
        slot.inside = false;
    }
}

TapTracker::Slot* TapTracker::find(int slot) {
    if (slot < 0 || slot >= slotCount) {
        return nullptr;
    }
    return &m_slots[static_cast<std::size_t>(slot)];
}

void TapTracker::down(int slot, TouchPoint point) {
    if (Slot* s = find(slot)) {
        // A down on a slot still held means its up was lost: this is a new touch.
        s->down = true;
        s->inside = m_target.contains(point);
    }
}

void TapTracker::motion(int slot, TouchPoint point) {
    Slot* s = find(slot);
    if (s && s->down && !m_target.contains(point)) {
        s->inside = false;
    }
}

bool TapTracker::up(int slot) {
    Slot* s = find(slot);
    if (!s || !s->down) {
        return false;
    }
    bool tapped = s->inside;
    *s = Slot{};
    return tapped;
}

void TapTracker::cancel(int slot) {
    if (Slot* s = find(slot)) {
        *s = Slot{};
    }
}

void TapTracker::reset() {
    m_slots.fill(Slot{});
}

namespace {

constexpr std::string_view eventPrefix = "/dev/input/event";

// The N of /dev/input/eventN, or -1 for anything else.
long eventNumber(std::string_view devnode) {
    if (!devnode.starts_with(eventPrefix) || devnode.size() == eventPrefix.size() ||
        devnode.size() > eventPrefix.size() + 6) {
        return -1;
    }
    long number = 0;
    for (char c : devnode.substr(eventPrefix.size())) {
        if (!std::isdigit(static_cast<unsigned char>(c))) {
            return -1;
        }
        number = number * 10 + (c - '0');
    }
    return number;
}

bool containsNoCase(std::string_view text, std::string_view word) {
    auto it = std::search(text.begin(), text.end(), word.begin(), word.end(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) ==
               std::tolower(static_cast<unsigned char>(b));
    });
    return it != text.end();
}

// " Touch Bar" as words: "Acme Touch Barrier" is something else.
bool namesTouchBar(std::string_view name) {
    constexpr std::string_view words = " Touch Bar";
    for (std::size_t at = name.find(words); at != std::string_view::npos;
         at = name.find(words, at + 1)) {
        std::size_t end = at + words.size();
        if (end == name.size() || !std::isalnum(static_cast<unsigned char>(name[end]))) {
            return true;
        }
    }
    return false;
}

bool saysTouch(std::string_view name) {
    return containsNoCase(name, "touchpad") || containsNoCase(name, "touchscreen");
}

} // namespace

std::vector<InputDeviceInfo> chooseDigitizer(const std::vector<InputDeviceInfo>& devices) {
    std::vector<InputDeviceInfo> candidates;
    for (const InputDeviceInfo& device : devices) {
        if (!namesTouchBar(device.name) || eventNumber(device.devnode) < 0) {
            continue;
        }
        bool seen = std::any_of(candidates.begin(), candidates.end(),
                                [&](const auto& c) { return c.devnode == device.devnode; });
        if (!seen) {
            candidates.push_back(device);
        }
    }
    std::stable_sort(candidates.begin(), candidates.end(), [](const auto& a, const auto& b) {
        bool aTouch = saysTouch(a.name);
        bool bTouch = saysTouch(b.name);
        if (aTouch != bTouch) {
            return aTouch;
        }
        return eventNumber(a.devnode) < eventNumber(b.devnode);
    });
    return candidates;
}

} // namespace lumora
