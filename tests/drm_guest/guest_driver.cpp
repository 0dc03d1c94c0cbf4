// Runs inside the test guest: drives the panel through DrmPanel and hands each frame to the
// host for a screen dump.
//
//   lumora_drm_guest [--uid N] --device PATH [--search] --path atomic|legacy|dirtyfb
//                    --name NAME [--frames N] [--first-frame F]
//   lumora_drm_guest [--uid N] --device PATH --expect busy|permission
//
// After each frame is on screen it prints "LUMORA-SHOT NAME FRAME" and waits for a line on
// stdin. Failures print "LUMORA-FAIL NAME: why" and exit 1. --expect prints
// "LUMORA-PASS KIND: message" when the card is refused for that reason. --uid runs as that
// user, as the program normally does, instead of root. --search looks for the panel under
// /dev/dri and insists on finding it at PATH.

#include "display/outputs/drm/DrmPanel.h"
#include "tests/drm_guest/Pattern.h"

#include <cstdio>
#include <cstdlib>
#include <grp.h>
#include <poll.h>
#include <string>
#include <unistd.h>
#include <vector>

using lumora::DrmFailure;
using lumora::DrmPanel;

namespace {

const char* flushName(DrmPanel::Flush flush) {
    switch (flush) {
    case DrmPanel::Flush::atomic: return "atomic";
    case DrmPanel::Flush::pageFlip: return "legacy";
    case DrmPanel::Flush::dirtyFb: return "dirtyfb";
    }
    return "?";
}

int fail(const std::string& name, const std::string& why) {
    std::printf("LUMORA-FAIL %s: %s\n", name.c_str(), why.c_str());
    std::fflush(stdout);
    return 1;
}

// The card must be refused for the expected reason, with a message that names it.
int expectRefusal(const std::string& device, const std::string& kind) {
    const auto wanted = kind == "busy" ? DrmFailure::Kind::busy : DrmFailure::Kind::permission;
    DrmPanel::Options options;
    options.device = device;
    DrmFailure failure;
    auto panel = DrmPanel::open(options, failure);
    if (panel)
        return fail(kind, "opened " + device);
    const std::string message = failure.message();
    if (failure.kind != wanted)
        return fail(kind, "refused for another reason: " + message);
    if (message.find(device) == std::string::npos)
        return fail(kind, "message does not name " + device + ": " + message);
    std::printf("LUMORA-PASS %s: %s\n", kind.c_str(), message.c_str());
    std::fflush(stdout);
    return 0;
}

// The program's own loop: a frame offered while one is on its way is dropped, and reading the
// card's events once the flush completes asks for it again.
bool droppedFrameAskedAgain(DrmPanel& panel, const std::string& name, int frame) {
    if (panel.wantsFrame()) {
        fail(name, "frame " + std::to_string(frame) + " let a second frame through in flight");
        return false;
    }
    for (int tries = 0; tries < 50; ++tries) {
        pollfd watch{panel.eventFd(), POLLIN, 0};
        if (::poll(&watch, 1, 100) > 0 && panel.handleEvents())
            return true;
    }
    fail(name, "frame " + std::to_string(frame) + " completed without asking for the dropped one");
    return false;
}

int drawFrames(const std::string& device, bool search, const std::string& path,
               const std::string& name, int frames, int firstFrame) {
    DrmPanel::Options options;
    options.device = search ? std::string() : device;
    options.allowAtomic = path == "atomic";
    options.allowPageFlip = path != "dirtyfb";
    DrmFailure failure;
    auto panel = DrmPanel::open(options, failure);
    if (!panel)
        return fail(name, failure.message());
    if (panel->device() != device)
        return fail(name, "found " + panel->device() + " instead of " + device);
    if (path != flushName(panel->flush()))
        return fail(name, std::string("asked for the ") + path + " path, got " +
                              flushName(panel->flush()));

    const int length = panel->layout().length();
    const int depth = panel->layout().depth();
    std::vector<std::uint32_t> image(static_cast<std::size_t>(length) * depth);
    for (int frame = firstFrame; frame < firstFrame + frames; ++frame) {
        for (int y = 0; y < depth; ++y)
            for (int x = 0; x < length; ++x)
                image[static_cast<std::size_t>(y) * length + x] =
                    lumora::drm_guest::patternPixel(x, y, frame);
        if (!panel->wantsFrame())
            return fail(name, "panel refused a frame while idle");
        if (!panel->submit(image.data(), static_cast<std::size_t>(length), &failure))
            return fail(name, failure.message());
        if (panel->flush() != DrmPanel::Flush::dirtyFb &&
            !droppedFrameAskedAgain(*panel, name, frame))
            return 1;
        if (!panel->waitIdle(5000))
            return fail(name, "frame " + std::to_string(frame) + " never completed");
        std::printf("LUMORA-SHOT %s %d %dx%d\n", name.c_str(), frame, panel->layout().modeWidth(),
                    panel->layout().modeHeight());
        std::fflush(stdout);
        char answer[64];
        if (!std::fgets(answer, sizeof answer, stdin))
            return fail(name, "no answer from the host");
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    std::string device, path, name, expect;
    int frames = 1, firstFrame = 0, uid = -1;
    bool search = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--device" && hasValue)
            device = argv[++i];
        else if (arg == "--path" && hasValue)
            path = argv[++i];
        else if (arg == "--name" && hasValue)
            name = argv[++i];
        else if (arg == "--frames" && hasValue)
            frames = std::atoi(argv[++i]);
        else if (arg == "--first-frame" && hasValue)
            firstFrame = std::atoi(argv[++i]);
        else if (arg == "--search")
            search = true;
        else if (arg == "--expect" && hasValue)
            expect = argv[++i];
        else if (arg == "--uid" && hasValue)
            uid = std::atoi(argv[++i]);
        else
            return fail("usage", "unknown argument " + arg);
    }
    if (device.empty())
        return fail("usage", "--device is required");
    if (uid >= 0) {
        const auto id = static_cast<uid_t>(uid);
        if (::setgroups(0, nullptr) != 0 || ::setgid(id) != 0 || ::setuid(id) != 0)
            return fail("usage", "cannot become user " + std::to_string(uid));
    }
    if (!expect.empty()) {
        if (expect != "busy" && expect != "permission")
            return fail("usage", "--expect must be busy or permission");
        return expectRefusal(device, expect);
    }
    if (path != "atomic" && path != "legacy" && path != "dirtyfb")
        return fail("usage", "--path must be atomic, legacy or dirtyfb");
    if (name.empty() || frames < 1 || firstFrame < 0 || firstFrame + frames > 16)
        return fail("usage", "--name, --frames 1.. and frames below 16 are required");
    return drawFrames(device, search, path, name, frames, firstFrame);
}
