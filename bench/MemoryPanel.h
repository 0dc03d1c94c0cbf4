#pragma once

#include "display/outputs/drm/BarPanel.h"
#include "display/outputs/drm/FrameGate.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace lumora {

// A panel whose scan-out buffer is plain memory: frames are drawn into it as into the DRM
// panel's before it commits, and complete at once.
class MemoryPanel : public BarPanel {
public:
    MemoryPanel(int width, int height)
        : m_layout(width, height),
          m_buffer(static_cast<std::size_t>(width) * static_cast<std::size_t>(height)) {}
    const PanelLayout& layout() const override { return m_layout; }
    const std::string& device() const override { return m_device; }
    bool wantsFrame() override { return m_gate.offer() == FrameGate::Offer::push; }
    bool draw(const BufferPainter& painter, DrmFailure*) override {
        painter.paint(m_buffer.data(), static_cast<std::size_t>(m_layout.modeWidth()));
        m_gate.completed();
        ++frames;
        return true;
    }
    int eventFd() const override { return -1; }
    bool handleEvents() override { return false; }

    std::uint64_t frames = 0;

private:
    PanelLayout m_layout;
    std::vector<std::uint32_t> m_buffer;
    FrameGate m_gate;
    std::string m_device = "memory";
};

} // namespace lumora
