#pragma once

#include "display/outputs/drm/PanelLayout.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace lumora {

struct DrmFailure;

// A panel that takes whole landscape frames, one flush at a time: the Touch Bar through
// DRM/KMS, or a stand-in in tests.
class BarPanel {
public:
    virtual ~BarPanel() = default;

    virtual const PanelLayout& layout() const = 0;
    virtual const std::string& device() const = 0;
    // False while the previous frame is still being flushed: drop this one.
    virtual bool wantsFrame() = 0;
    // A layout().length() x layout().depth() XRGB8888 image, stride in pixels.
    virtual bool submit(const std::uint32_t* image, std::size_t stride, DrmFailure* failure) = 0;
    // A descriptor that becomes readable when a flush completes, or -1.
    virtual int eventFd() const = 0;
    // Reads completions; true when a frame was dropped meanwhile and should be drawn again.
    virtual bool handleEvents() = 0;
};

} // namespace lumora
