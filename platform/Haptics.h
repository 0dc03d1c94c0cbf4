#pragma once

namespace lumora {

// A short tactile click, played when a knob settles on a detent. Linux desktops have no
// trackpad haptics, so the default does nothing; tests count the clicks.
class Haptics {
public:
    virtual ~Haptics() = default;
    virtual void click() = 0;

    // One process-wide instance that does nothing.
    static Haptics& none();
};

namespace detail {
class NoHaptics final : public Haptics {
public:
    void click() override {}
};
} // namespace detail

inline Haptics& Haptics::none() {
    static detail::NoHaptics instance;
    return instance;
}

} // namespace lumora
