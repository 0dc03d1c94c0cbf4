#pragma once

#include "display/outputs/drm/BarPanel.h"
#include "display/outputs/drm/FrameGate.h"

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <sys/timerfd.h>
#include <unistd.h>
#include <vector>

namespace lumora {

// A panel whose scan-out buffer is plain memory: frames are drawn into it as into the DRM
// panel's before it commits, in the Touch Bar's own BGR888 unless told. Given a flush time, each
// flush completes that long after the commit through a descriptor, as the Touch Bar's page-flip
// event does once the frame has crossed USB; without one, at once.
class MemoryPanel : public BarPanel {
public:
    MemoryPanel(int width, int height, long flushMicros = 0,
                PixelFormat format = PixelFormat::bgr888)
        : m_layout(width, height), m_format(format),
          m_buffer(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) *
                   bytesPerPixel(format)),
          m_flush{{0, 0}, {flushMicros / 1'000'000, flushMicros % 1'000'000 * 1000}},
          m_fd(flushMicros > 0 ? ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC)
                               : -1) {}
    ~MemoryPanel() override {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    const PanelLayout& layout() const override { return m_layout; }
    const std::string& device() const override { return m_device; }
    bool wantsFrame() override { return m_gate.offer() == FrameGate::Offer::push; }
    PixelFormat format() const override { return m_format; }
    bool draw(const BufferPainter& painter, DrmFailure*) override {
        painter.paint({m_buffer.data(),
                       static_cast<std::size_t>(m_layout.modeWidth()) * bytesPerPixel(m_format),
                       m_format});
        if (m_fd < 0 || ::timerfd_settime(m_fd, 0, &m_flush, nullptr) != 0) {
            m_gate.completed();
        }
        ++frames;
        return true;
    }
    int eventFd() const override { return m_fd; }
    bool handleEvents() override {
        std::uint64_t expired = 0;
        if (m_fd < 0 || ::read(m_fd, &expired, sizeof expired) != sizeof expired) {
            return false;
        }
        return m_gate.completed();
    }

    std::uint64_t frames = 0;

private:
    PanelLayout m_layout;
    PixelFormat m_format;
    std::vector<std::uint8_t> m_buffer;
    itimerspec m_flush;
    int m_fd;
    FrameGate m_gate;
    std::string m_device = "memory";
};

} // namespace lumora
