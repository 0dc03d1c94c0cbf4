#pragma once

#include <array>
#include <string>
#include <vector>

namespace lumora {

// A position on the bar's container, in points: x along the bar from its left end, y down.
struct TouchPoint {
    double x = 0.0;
    double y = 0.0;
};

// A rectangle in container points. Its edges belong to it: a finger resting on the bar's
// bottom edge must still hit a button that spans the bar's full height.
struct TouchRect {
    double x = 0.0;
    double y = 0.0;
    double width = 0.0;
    double height = 0.0;

    bool isEmpty() const { return !(width > 0.0 && height > 0.0); }
    bool contains(TouchPoint point) const {
        return !isEmpty() && point.x >= x && point.x <= x + width && point.y >= y &&
               point.y <= y + height;
    }
};

// From a position on the digitizer, normalised to [0, 1] on both of its axes, to a point on the
// container. The digitizer covers the whole bar. One that reports itself taller than wide is
// mounted like the panel's portrait scan-out: its y runs along the bar and its x runs up it.
class TouchMap {
public:
    // The digitizer's physical size in millimetres; zero or less when the device does not say,
    // in which case its x is taken to run along the bar.
    void setDigitizerSize(double widthMm, double heightMm);
    // The container's size in points.
    void setBarSize(double width, double height);

    TouchPoint toBar(double normalisedX, double normalisedY) const;

    bool turned() const { return m_turned; }

private:
    bool m_turned = false;
    double m_barWidth = 1085.0;
    double m_barHeight = 30.0;
};

// Recognises taps on one target: a touch is a tap only if every position it reported, from
// down to its last motion before up, lay inside the target. Each slot is followed on its own,
// so a second finger elsewhere neither makes nor spoils a tap.
class TapTracker {
public:
    // Slots beyond this many are ignored; the bar's digitizer reports far fewer.
    static constexpr int slotCount = 16;

    // An empty target takes no taps. A touch in progress when the target moves cannot become
    // a tap: it started on something else.
    void setTarget(const TouchRect& target);
    const TouchRect& target() const { return m_target; }

    void down(int slot, TouchPoint point);
    void motion(int slot, TouchPoint point);
    // True when the touch that ends is a tap on the target.
    bool up(int slot);
    void cancel(int slot);
    // Forgets every touch, e.g. when the device goes away.
    void reset();

private:
    struct Slot {
        bool down = false;
        bool inside = false;
    };
    Slot* find(int slot);

    std::array<Slot, slotCount> m_slots{};
    TouchRect m_target;
};

// An input device as udev lists it: the event node and the name of its input device.
struct InputDeviceInfo {
    std::string devnode; // /dev/input/eventN
    std::string name;    // e.g. "Apple Inc. Touch Bar Display Touchpad"
};

// The event nodes that may be the Touch Bar's digitizer, best first: devices whose name
// contains " Touch Bar", those that call themselves a touchpad or touchscreen before the rest
// (the bar also has a keyboard-like device for its function keys), then by event number.
// The caller opens each in turn until one reports touches.
std::vector<InputDeviceInfo> chooseDigitizer(const std::vector<InputDeviceInfo>& devices);

} // namespace lumora
