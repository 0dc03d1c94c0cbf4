#pragma once

#include "display/outputs/drm/PanelLayout.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace lumora {

struct DrmFailure;

// Draws one frame straight into a scan-out buffer of the panel's mode.
class BufferPainter {
public:
    virtual void paint(const ScanOut& buffer) const = 0;

protected:
    ~BufferPainter() = default;
};

// A panel that takes whole frames, one flush at a time: the Touch Bar through DRM/KMS, or a
// stand-in in tests.
class BarPanel {
public:
    virtual ~BarPanel() = default;

    virtual const PanelLayout& layout() const = 0;
    virtual const std::string& device() const = 0;
    // How its scan-out buffers hold pixels; fixed while it is open.
    virtual PixelFormat format() const { return PixelFormat::xrgb8888; }
    // False while the previous frame is still being flushed: drop this one.
    virtual bool wantsFrame() = 0;
    // Has the frame drawn into the buffer that goes out next, and sends it. Call only after
    // wantsFrame() said yes. False (with `failure` filled) if the kernel refused.
    virtual bool draw(const BufferPainter& painter, DrmFailure* failure) = 0;
    // Sends a landscape layout().length() x layout().depth() XRGB8888 image, stride in pixels,
    // turned as the layout says.
    bool submit(const std::uint32_t* image, std::size_t stride, DrmFailure* failure = nullptr);
    // A descriptor that becomes readable when a flush completes, or -1.
    virtual int eventFd() const = 0;
    // Reads completions; true when a frame was dropped meanwhile and should be drawn again.
    virtual bool handleEvents() = 0;
};

inline bool BarPanel::submit(const std::uint32_t* image, std::size_t stride, DrmFailure* failure) {
    struct Copy final : BufferPainter {
        const PanelLayout& layout;
        const std::uint32_t* image;
        std::size_t stride;
        Copy(const PanelLayout& l, const std::uint32_t* i, std::size_t s)
            : layout(l), image(i), stride(s) {}
        void paint(const ScanOut& buffer) const override { layout.copyInto(image, stride, buffer); }
    };
    return draw(Copy(layout(), image, stride), failure);
}

} // namespace lumora
