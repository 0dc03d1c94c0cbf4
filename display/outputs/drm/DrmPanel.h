#pragma once

#include "display/outputs/drm/BarPanel.h"
#include "display/outputs/drm/FrameGate.h"
#include "display/outputs/drm/PanelChoice.h"
#include "display/outputs/drm/PanelLayout.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace lumora {

// Why the Touch Bar could not be driven, with the one line that tells the user what to do.
struct DrmFailure {
    enum class Kind { none, notFound, permission, busy, noPanel, failed };
    Kind kind = Kind::none;
    std::string device; // empty when no card was found at all
    std::string detail; // what failed, for Kind::failed and Kind::noPanel
    int error = 0;      // errno of the failing call, 0 if none

    explicit operator bool() const { return kind != Kind::none; }
    std::string message() const;
};

// Reads what every card under `directory` says about its driver, connectors and modes.
// Cards that cannot be opened are listed with no connectors.
std::vector<DrmCardInfo> scanDrmCards(const std::string& directory = "/dev/dri");

// The Touch Bar panel held through DRM/KMS: the card opened as DRM master, the mode set, and
// two dumb buffers that frames alternate between, BGR888 where the panel takes it, else
// XRGB8888. Destroying it turns the panel off, gives up master and closes the card, so another
// program can take the bar.
//
// Frames go out one at a time: wantsFrame() says whether a frame may be drawn now, draw()
// sends it. With atomic modesetting or page flips the flush completes asynchronously; call
// handleEvents() when eventFd() is readable. Nothing on the frame path allocates or blocks,
// except the DIRTYFB fallback, which is synchronous in the kernel.
class DrmPanel : public BarPanel {
public:
    struct Options {
        std::string device;      // empty: search /dev/dri for the Touch Bar
        std::string directory = "/dev/dri";
        bool allowAtomic = true; // off: legacy SETCRTC, page flips or DIRTYFB
        bool allowPageFlip = true;
    };
    enum class Flush { atomic, pageFlip, dirtyFb };

    static std::unique_ptr<DrmPanel> open(const Options& options, DrmFailure& failure);
    // Finds the panel and checks that it can be taken (opened, DRM master free), then lets
    // it go without touching the screen. The card's path, or empty with `failure` filled.
    static std::string probe(const Options& options, DrmFailure& failure);
    ~DrmPanel() override;
    DrmPanel(const DrmPanel&) = delete;
    DrmPanel& operator=(const DrmPanel&) = delete;

    const PanelLayout& layout() const override { return m_layout; }
    const std::string& device() const override { return m_device; }
    const std::string& driver() const { return m_driver; }
    PixelFormat format() const override { return m_format; }
    Flush flush() const { return m_flush; }
    int eventFd() const override { return m_fd; }

    // False while the previous frame is still being flushed: the caller drops this frame and
    // is told by handleEvents() when to draw again.
    bool wantsFrame() override { return m_gate.offer() == FrameGate::Offer::push; }
    bool draw(const BufferPainter& painter, DrmFailure* failure) override;
    bool inFlight() const { return m_gate.inFlight(); }

    // Reads the card's events. True when a flush completed after a frame was dropped: draw the
    // current picture again.
    bool handleEvents() override;
    // Waits (up to timeoutMs) until nothing is in flight. For tests and shutdown.
    bool waitIdle(int timeoutMs);

private:
    DrmPanel() = default;
    struct Acquired;
    static bool acquire(const Options& options, Acquired& out, DrmFailure& failure);
    struct Buffer {
        std::uint32_t handle = 0;
        std::uint32_t fb = 0;
        std::uint32_t pitch = 0;
        std::uint64_t size = 0;
        std::uint8_t* pixels = nullptr;
    };
    bool setUp(const DrmCardInfo& card, const PanelChoice& choice, const Options& options,
               DrmFailure& failure);
    bool createBuffer(Buffer& buffer, DrmFailure& failure);
    void destroyBuffer(Buffer& buffer);
    bool modeset(DrmFailure& failure);
    bool modesetAtomic(std::uint32_t fb);
    bool flipAtomic(std::uint32_t fb, std::uint32_t flags);
    void turnOff();
    static void onPageFlip(int fd, unsigned int sequence, unsigned int seconds,
                           unsigned int microseconds, void* data);

    int m_fd = -1;
    std::string m_device;
    std::string m_driver;
    PanelLayout m_layout{0, 0};
    Flush m_flush = Flush::atomic;
    PixelFormat m_format = PixelFormat::xrgb8888;
    FrameGate m_gate;
    Buffer m_buffers[2];
    int m_front = 0; // the buffer on the panel
    bool m_dirtyNeeded = true;
    bool m_allowPageFlip = true;
    bool m_flipped = false; // set by the event handler

    std::uint32_t m_connector = 0;
    std::uint32_t m_crtc = 0;
    std::uint32_t m_plane = 0;
    std::uint32_t m_modeBlob = 0;
    std::vector<std::uint8_t> m_mode; // drmModeModeInfo, kept opaque here

    struct Properties {
        std::uint32_t connectorCrtc = 0;
        std::uint32_t crtcMode = 0, crtcActive = 0;
        std::uint32_t planeFb = 0, planeCrtc = 0;
        std::uint32_t srcX = 0, srcY = 0, srcW = 0, srcH = 0;
        std::uint32_t crtcX = 0, crtcY = 0, crtcW = 0, crtcH = 0;
    } m_props;
    void* m_request = nullptr; // drmModeAtomicReq for switching the panel on and off
};

} // namespace lumora
