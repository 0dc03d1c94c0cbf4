#include "display/outputs/drm/DrmPanel.h"

#include <xf86drm.h>
#include <xf86drmMode.h>
#include <drm_fourcc.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>

namespace lumora {

namespace {

std::string errorText(int error) {
    return error ? std::string(": ") + std::strerror(error) : std::string();
}

// The driver's name from sysfs, for a card we may not be allowed to open.
std::string sysfsDriver(const std::string& cardName) {
    std::string link = "/sys/class/drm/" + cardName + "/device/driver";
    char target[PATH_MAX];
    ssize_t length = ::readlink(link.c_str(), target, sizeof target - 1);
    if (length <= 0) {
        return {};
    }
    target[length] = '\0';
    const char* slash = std::strrchr(target, '/');
    return slash ? slash + 1 : target;
}

// `probe`: ask the connectors to look again (what a panel plugged in since reports). Left off
// for other cards while searching, so a desktop's monitors are not re-read at every start.
DrmCardInfo describe(int fd, const std::string& path, bool probe = true) {
    DrmCardInfo card;
    card.path = path;
    if (drmVersionPtr version = drmGetVersion(fd)) {
        card.driver.assign(version->name, static_cast<std::size_t>(version->name_len));
        drmFreeVersion(version);
    }
    probe = probe || isTouchBarDriver(card.driver);
    drmModeResPtr resources = drmModeGetResources(fd);
    if (!resources) {
        return card;
    }
    for (int i = 0; i < resources->count_connectors; ++i) {
        drmModeConnectorPtr connector =
            probe ? drmModeGetConnector(fd, resources->connectors[i])
                  : drmModeGetConnectorCurrent(fd, resources->connectors[i]);
        if (!connector) {
            continue;
        }
        DrmConnectorInfo info;
        info.id = connector->connector_id;
        info.connected = connector->connection == DRM_MODE_CONNECTED;
        for (int m = 0; m < connector->count_modes; ++m) {
            const drmModeModeInfo& mode = connector->modes[m];
            info.modes.push_back({mode.hdisplay, mode.vdisplay,
                                  (mode.type & DRM_MODE_TYPE_PREFERRED) != 0});
        }
        card.connectors.push_back(std::move(info));
        drmModeFreeConnector(connector);
    }
    drmModeFreeResources(resources);
    return card;
}

int openCard(const std::string& path) {
    return ::open(path.c_str(), O_RDWR | O_CLOEXEC);
}

DrmFailure failure(DrmFailure::Kind kind, const std::string& device, std::string detail = {},
                   int error = 0) {
    return DrmFailure{kind, device, std::move(detail), error};
}

DrmFailure openFailure(const std::string& device, int error) {
    switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return failure(DrmFailure::Kind::notFound, device, {}, error);
    case EACCES:
    case EPERM:
        return failure(DrmFailure::Kind::permission, device, {}, error);
    default:
        return failure(DrmFailure::Kind::failed, device, "opening it", error);
    }
}

std::uint32_t propertyId(int fd, std::uint32_t object, std::uint32_t type, const char* name,
                         std::uint64_t* value = nullptr) {
    drmModeObjectPropertiesPtr properties = drmModeObjectGetProperties(fd, object, type);
    if (!properties) {
        return 0;
    }
    std::uint32_t id = 0;
    for (std::uint32_t i = 0; i < properties->count_props && id == 0; ++i) {
        drmModePropertyPtr property = drmModeGetProperty(fd, properties->props[i]);
        if (!property) {
            continue;
        }
        if (std::strcmp(property->name, name) == 0) {
            id = property->prop_id;
            if (value) {
                *value = properties->prop_values[i];
            }
        }
        drmModeFreeProperty(property);
    }
    drmModeFreeObjectProperties(properties);
    return id;
}

int monotonicMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int>(now.tv_sec * 1000 + now.tv_nsec / 1000000);
}

} // namespace

std::string DrmFailure::message() const {
    switch (kind) {
    case Kind::none:
        return {};
    case Kind::notFound:
        if (device.empty()) {
            return "no Touch Bar found: no card under /dev/dri has a Touch Bar driver (appletbdrm "
                   "or adp) or a bar-shaped panel; check that the driver is loaded";
        }
        return "no Touch Bar at " + device + errorText(error) + "; check the device path";
    case Kind::permission:
        return "permission denied opening the Touch Bar " + device +
               ": add the udev rule from the README (data/70-lumora-touchbar.rules) and log in "
               "again";
    case Kind::busy:
        return "the Touch Bar " + device +
               " is in use by another program: stop tiny-dfr if it runs (\"sudo systemctl stop "
               "tiny-dfr\"), or add the udev rule from the README so the desktop leaves the bar "
               "alone";
    case Kind::noPanel:
        return "no usable panel on " + device + (detail.empty() ? "" : ": " + detail);
    case Kind::failed:
        return "cannot drive the Touch Bar " + device + ": " + detail + errorText(error);
    }
    return {};
}

std::vector<DrmCardInfo> scanDrmCards(const std::string& directory) {
    std::vector<std::pair<int, std::string>> names;
    if (DIR* dir = ::opendir(directory.c_str())) {
        while (dirent* entry = ::readdir(dir)) {
            const char* name = entry->d_name;
            if (std::strncmp(name, "card", 4) != 0 || name[4] == '\0' ||
                std::strspn(name + 4, "0123456789") != std::strlen(name + 4)) {
                continue;
            }
            names.emplace_back(std::atoi(name + 4), name);
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());

    std::vector<DrmCardInfo> cards;
    for (const auto& [number, name] : names) {
        std::string path = directory + "/" + name;
        int fd = openCard(path);
        if (fd < 0) {
            DrmCardInfo card;
            card.path = path;
            card.driver = sysfsDriver(name);
            card.openError = errno;
            cards.push_back(std::move(card));
            continue;
        }
        cards.push_back(describe(fd, path, false));
        ::close(fd);
    }
    return cards;
}

// The card opened and held as DRM master, with the panel chosen on it.
struct DrmPanel::Acquired {
    int fd = -1;
    DrmCardInfo card;
    PanelChoice choice;
};

bool DrmPanel::acquire(const Options& options, Acquired& out, DrmFailure& result) {
    result = {};
    int fd = -1;
    if (!options.device.empty()) {
        fd = openCard(options.device);
        if (fd < 0) {
            result = openFailure(options.device, errno);
            return false;
        }
        out.card = describe(fd, options.device);
        auto found = choosePanelOn(out.card);
        if (!found) {
            ::close(fd);
            result = failure(DrmFailure::Kind::noPanel, options.device,
                             out.card.driver.empty()      ? "it is not a DRM display card"
                             : out.card.connectors.empty() ? "it has no display connectors"
                                                           : "nothing is plugged into it");
            return false;
        }
        out.choice = *found;
    } else {
        auto cards = scanDrmCards(options.directory);
        auto found = chooseTouchBar(cards);
        if (!found) {
            // A Touch Bar driver's card we could not open is the likely bar: say why.
            for (const auto& candidate : cards) {
                if (candidate.openError && isTouchBarDriver(candidate.driver)) {
                    result = openFailure(candidate.path, candidate.openError);
                    return false;
                }
            }
            result = failure(DrmFailure::Kind::notFound, {});
            return false;
        }
        const std::string path = cards[found->card].path;
        fd = openCard(path);
        if (fd < 0) {
            result = openFailure(path, errno);
            return false;
        }
        // Read the card again on this descriptor: it may have changed since the scan.
        out.card = describe(fd, path);
        auto again = choosePanelOn(out.card);
        if (!again) {
            ::close(fd);
            result = failure(DrmFailure::Kind::noPanel, path, "the panel went away");
            return false;
        }
        out.choice = *again;
    }

    // Opening a card nobody holds makes us its master; otherwise someone else is.
    if (drmIsMaster(fd) == 0 && drmSetMaster(fd) != 0) {
        int error = errno;
        ::close(fd);
        result = failure(DrmFailure::Kind::busy, out.card.path, {}, error);
        return false;
    }
    out.fd = fd;
    return true;
}

std::string DrmPanel::probe(const Options& options, DrmFailure& result) {
    Acquired acquired;
    if (!acquire(options, acquired, result)) {
        return {};
    }
    drmDropMaster(acquired.fd);
    ::close(acquired.fd);
    return acquired.card.path;
}

std::unique_ptr<DrmPanel> DrmPanel::open(const Options& options, DrmFailure& result) {
    Acquired acquired;
    if (!acquire(options, acquired, result)) {
        return nullptr;
    }
    std::unique_ptr<DrmPanel> panel(new DrmPanel);
    panel->m_fd = acquired.fd;
    panel->m_device = acquired.card.path;
    panel->m_driver = acquired.card.driver;
    if (!panel->setUp(acquired.card, acquired.choice, options, result)) {
        return nullptr; // the destructor lets go of what was taken
    }
    return panel;
}

bool DrmPanel::setUp(const DrmCardInfo& card, const PanelChoice& choice, const Options& options,
                     DrmFailure& result) {
    auto fail = [&](const char* what, int error = errno) {
        result = failure(DrmFailure::Kind::failed, m_device, what, error);
        return false;
    };

    drmSetClientCap(m_fd, DRM_CLIENT_CAP_UNIVERSAL_PLANES, 1);
    bool atomic = options.allowAtomic && drmSetClientCap(m_fd, DRM_CLIENT_CAP_ATOMIC, 1) == 0;

    m_connector = card.connectors[choice.connector].id;
    drmModeConnectorPtr connector = drmModeGetConnector(m_fd, m_connector);
    if (!connector || choice.mode >= static_cast<std::size_t>(connector->count_modes)) {
        if (connector) {
            drmModeFreeConnector(connector);
        }
        return fail("reading its connector");
    }
    const drmModeModeInfo& mode = connector->modes[choice.mode];
    m_mode.assign(reinterpret_cast<const std::uint8_t*>(&mode),
                  reinterpret_cast<const std::uint8_t*>(&mode) + sizeof mode);
    m_layout = PanelLayout(mode.hdisplay, mode.vdisplay);

    // A CRTC this connector's encoders can drive, the one already in use first.
    drmModeResPtr resources = drmModeGetResources(m_fd);
    if (!resources) {
        drmModeFreeConnector(connector);
        return fail("reading its resources");
    }
    int crtcIndex = -1;
    for (int e = 0; e < connector->count_encoders && crtcIndex < 0; ++e) {
        drmModeEncoderPtr encoder = drmModeGetEncoder(m_fd, connector->encoders[e]);
        if (!encoder) {
            continue;
        }
        for (int c = 0; c < resources->count_crtcs; ++c) {
            if (resources->crtcs[c] == encoder->crtc_id && encoder->crtc_id != 0) {
                crtcIndex = c;
            }
        }
        for (int c = 0; c < resources->count_crtcs && crtcIndex < 0; ++c) {
            if (encoder->possible_crtcs & (1u << c)) {
                crtcIndex = c;
            }
        }
        drmModeFreeEncoder(encoder);
    }
    if (crtcIndex >= 0) {
        m_crtc = resources->crtcs[crtcIndex];
    }
    drmModeFreeResources(resources);
    drmModeFreeConnector(connector);
    if (crtcIndex < 0) {
        return fail("finding a display controller for its panel", 0);
    }

    if (atomic) {
        drmModePlaneResPtr planes = drmModeGetPlaneResources(m_fd);
        for (std::uint32_t p = 0; planes && p < planes->count_planes && m_plane == 0; ++p) {
            drmModePlanePtr plane = drmModeGetPlane(m_fd, planes->planes[p]);
            if (!plane) {
                continue;
            }
            std::uint64_t type = 0;
            if ((plane->possible_crtcs & (1u << crtcIndex)) &&
                propertyId(m_fd, plane->plane_id, DRM_MODE_OBJECT_PLANE, "type", &type) &&
                type == DRM_PLANE_TYPE_PRIMARY) {
                m_plane = plane->plane_id;
                // The Touch Bar's own format: its driver turns every XRGB8888 frame into it
                // on the CPU before the frame goes out.
                const std::uint32_t* formats = plane->formats;
                const std::uint32_t* formatsEnd = formats + plane->count_formats;
                m_format =
                    formats && std::find(formats, formatsEnd, DRM_FORMAT_BGR888) != formatsEnd
                        ? PixelFormat::bgr888
                        : PixelFormat::xrgb8888;
            }
            drmModeFreePlane(plane);
        }
        if (planes) {
            drmModeFreePlaneResources(planes);
        }
        auto& p = m_props;
        p.connectorCrtc = propertyId(m_fd, m_connector, DRM_MODE_OBJECT_CONNECTOR, "CRTC_ID");
        p.crtcMode = propertyId(m_fd, m_crtc, DRM_MODE_OBJECT_CRTC, "MODE_ID");
        p.crtcActive = propertyId(m_fd, m_crtc, DRM_MODE_OBJECT_CRTC, "ACTIVE");
        const std::uint32_t plane = m_plane;
        auto planeProp = [&](const char* name) {
            return plane ? propertyId(m_fd, plane, DRM_MODE_OBJECT_PLANE, name) : 0;
        };
        p.planeFb = planeProp("FB_ID");
        p.planeCrtc = planeProp("CRTC_ID");
        p.srcX = planeProp("SRC_X");
        p.srcY = planeProp("SRC_Y");
        p.srcW = planeProp("SRC_W");
        p.srcH = planeProp("SRC_H");
        p.crtcX = planeProp("CRTC_X");
        p.crtcY = planeProp("CRTC_Y");
        p.crtcW = planeProp("CRTC_W");
        p.crtcH = planeProp("CRTC_H");
        atomic = m_plane && p.connectorCrtc && p.crtcMode && p.crtcActive && p.planeFb &&
                 p.planeCrtc && p.srcX && p.srcY && p.srcW && p.srcH && p.crtcX && p.crtcY &&
                 p.crtcW && p.crtcH;
    }
    m_allowPageFlip = options.allowPageFlip;
    m_flush = atomic ? Flush::atomic : m_allowPageFlip ? Flush::pageFlip : Flush::dirtyFb;

    const auto createBuffers = [&] {
        for (Buffer& buffer : m_buffers) {
            if (!createBuffer(buffer, result)) {
                return false;
            }
        }
        return true;
    };
    if (!createBuffers()) {
        if (m_format != PixelFormat::bgr888) {
            return false;
        }
        // Listed but refused: the format every driver takes.
        for (Buffer& buffer : m_buffers) {
            destroyBuffer(buffer);
        }
        m_format = PixelFormat::xrgb8888;
        result = {};
        if (!createBuffers()) {
            return false;
        }
    }
    return modeset(result);
}

bool DrmPanel::createBuffer(Buffer& buffer, DrmFailure& result) {
    DumbRequest request = dumbRequest(m_driver, m_layout.modeWidth(), m_layout.modeHeight());
    drm_mode_create_dumb create{};
    create.width = request.width;
    create.height = request.height;
    const bool rgb = m_format == PixelFormat::bgr888;
    create.bpp = rgb ? 24 : 32;
    if (drmIoctl(m_fd, DRM_IOCTL_MODE_CREATE_DUMB, &create) != 0) {
        result = failure(DrmFailure::Kind::failed, m_device, "creating a frame buffer", errno);
        return false;
    }
    buffer.handle = create.handle;
    buffer.pitch = create.pitch;
    buffer.size = create.size;
    const auto pixelBytes = static_cast<std::uint32_t>(bytesPerPixel(m_format));
    if (buffer.pitch < static_cast<std::uint32_t>(m_layout.modeWidth()) * pixelBytes ||
        (!rgb && buffer.pitch % 4)) {
        result = failure(DrmFailure::Kind::failed, m_device, "its frame buffer rows are too short",
                         0);
        return false;
    }

    const std::uint32_t handles[4] = {buffer.handle};
    const std::uint32_t pitches[4] = {buffer.pitch};
    const std::uint32_t offsets[4] = {0};
    if (drmModeAddFB2(m_fd, static_cast<std::uint32_t>(m_layout.modeWidth()),
                      static_cast<std::uint32_t>(m_layout.modeHeight()),
                      rgb ? DRM_FORMAT_BGR888 : DRM_FORMAT_XRGB8888, handles, pitches, offsets,
                      &buffer.fb, 0) != 0) {
        result = failure(DrmFailure::Kind::failed, m_device,
                         rgb ? "adding a BGR888 frame buffer" : "adding an XRGB8888 frame buffer",
                         errno);
        return false;
    }

    drm_mode_map_dumb map{};
    map.handle = buffer.handle;
    if (drmIoctl(m_fd, DRM_IOCTL_MODE_MAP_DUMB, &map) != 0) {
        result = failure(DrmFailure::Kind::failed, m_device, "mapping a frame buffer", errno);
        return false;
    }
    void* pixels = ::mmap(nullptr, buffer.size, PROT_READ | PROT_WRITE, MAP_SHARED, m_fd,
                          static_cast<off_t>(map.offset));
    if (pixels == MAP_FAILED) {
        result = failure(DrmFailure::Kind::failed, m_device, "mapping a frame buffer", errno);
        return false;
    }
    buffer.pixels = static_cast<std::uint8_t*>(pixels);
    std::memset(pixels, 0, buffer.size);
    return true;
}

void DrmPanel::destroyBuffer(Buffer& buffer) {
    if (buffer.pixels) {
        ::munmap(buffer.pixels, buffer.size);
    }
    if (buffer.fb) {
        drmModeRmFB(m_fd, buffer.fb);
    }
    if (buffer.handle) {
        drm_mode_destroy_dumb destroy{};
        destroy.handle = buffer.handle;
        drmIoctl(m_fd, DRM_IOCTL_MODE_DESTROY_DUMB, &destroy);
    }
    buffer = {};
}

// Switches the panel on showing `fb`, or off with fb 0. Blocking; not on the frame path.
bool DrmPanel::modesetAtomic(std::uint32_t fb) {
    auto* request = static_cast<drmModeAtomicReqPtr>(m_request);
    drmModeAtomicSetCursor(request, 0);
    const auto& p = m_props;
    const bool on = fb != 0;
    const auto w = static_cast<std::uint64_t>(m_layout.modeWidth());
    const auto h = static_cast<std::uint64_t>(m_layout.modeHeight());
    drmModeAtomicAddProperty(request, m_connector, p.connectorCrtc, on ? m_crtc : 0);
    drmModeAtomicAddProperty(request, m_crtc, p.crtcMode, on ? m_modeBlob : 0);
    drmModeAtomicAddProperty(request, m_crtc, p.crtcActive, on ? 1 : 0);
    drmModeAtomicAddProperty(request, m_plane, p.planeCrtc, on ? m_crtc : 0);
    drmModeAtomicAddProperty(request, m_plane, p.srcX, 0);
    drmModeAtomicAddProperty(request, m_plane, p.srcY, 0);
    drmModeAtomicAddProperty(request, m_plane, p.srcW, on ? w << 16 : 0);
    drmModeAtomicAddProperty(request, m_plane, p.srcH, on ? h << 16 : 0);
    drmModeAtomicAddProperty(request, m_plane, p.crtcX, 0);
    drmModeAtomicAddProperty(request, m_plane, p.crtcY, 0);
    drmModeAtomicAddProperty(request, m_plane, p.crtcW, on ? w : 0);
    drmModeAtomicAddProperty(request, m_plane, p.crtcH, on ? h : 0);
    drmModeAtomicAddProperty(request, m_plane, p.planeFb, fb);
    return drmModeAtomicCommit(m_fd, request, DRM_MODE_ATOMIC_ALLOW_MODESET, this) == 0;
}

// Points the plane at `fb` with the ioctl itself: libdrm's commit copies and sorts the
// request on the heap every time, and this runs once a frame.
bool DrmPanel::flipAtomic(std::uint32_t fb, std::uint32_t flags) {
    std::uint32_t objects[1] = {m_plane};
    std::uint32_t counts[1] = {1};
    std::uint32_t properties[1] = {m_props.planeFb};
    std::uint64_t values[1] = {fb};
    drm_mode_atomic atomic{};
    atomic.flags = flags;
    atomic.count_objs = 1;
    atomic.objs_ptr = reinterpret_cast<std::uintptr_t>(objects);
    atomic.count_props_ptr = reinterpret_cast<std::uintptr_t>(counts);
    atomic.props_ptr = reinterpret_cast<std::uintptr_t>(properties);
    atomic.prop_values_ptr = reinterpret_cast<std::uintptr_t>(values);
    atomic.user_data = reinterpret_cast<std::uintptr_t>(this);
    return drmIoctl(m_fd, DRM_IOCTL_MODE_ATOMIC, &atomic) == 0;
}

bool DrmPanel::modeset(DrmFailure& result) {
    auto* mode = reinterpret_cast<drmModeModeInfo*>(m_mode.data());
    if (m_flush == Flush::atomic) {
        m_request = drmModeAtomicAlloc();
        if (m_request &&
            drmModeCreatePropertyBlob(m_fd, mode, sizeof *mode, &m_modeBlob) == 0 &&
            modesetAtomic(m_buffers[0].fb)) {
            m_front = 0;
            return true;
        }
        // Some drivers advertise atomic but refuse this commit; the legacy calls still work.
        m_flush = m_allowPageFlip ? Flush::pageFlip : Flush::dirtyFb;
    }
    if (drmModeSetCrtc(m_fd, m_crtc, m_buffers[0].fb, 0, 0, &m_connector, 1, mode) != 0) {
        result = failure(DrmFailure::Kind::failed, m_device, "setting its mode", errno);
        return false;
    }
    m_front = 0;
    return true;
}

bool DrmPanel::draw(const BufferPainter& painter, DrmFailure* result) {
    auto fail = [&](const char* what, int error) {
        m_gate.reset();
        if (result) {
            *result = failure(DrmFailure::Kind::failed, m_device, what, error);
        }
        return false;
    };

    if (m_flush == Flush::atomic || m_flush == Flush::pageFlip) {
        const int back = 1 - m_front;
        Buffer& buffer = m_buffers[back];
        painter.paint({buffer.pixels, buffer.pitch, m_format});
        int error = 0;
        if (m_flush == Flush::atomic) {
            if (!flipAtomic(buffer.fb, DRM_MODE_ATOMIC_NONBLOCK | DRM_MODE_PAGE_FLIP_EVENT)) {
                error = errno;
                // The kernel is still tidying up the last flip: wait for it this once rather
                // than lose the frame, which may be the last of a still picture.
                if (error == EBUSY && flipAtomic(buffer.fb, DRM_MODE_PAGE_FLIP_EVENT)) {
                    error = 0;
                }
            }
        } else if (drmModePageFlip(m_fd, m_crtc, buffer.fb, DRM_MODE_PAGE_FLIP_EVENT, this) != 0) {
            error = errno;
            if (error == EINVAL || error == ENOSYS || error == EOPNOTSUPP) {
                // No page flips here: draw into the buffer on the panel and mark it dirty.
                m_flush = Flush::dirtyFb;
                return draw(painter, result);
            }
        }
        if (error) {
            return fail("sending a frame", error);
        }
        m_front = back;
        return true;
    }

    Buffer& buffer = m_buffers[m_front];
    painter.paint({buffer.pixels, buffer.pitch, m_format});
    if (m_dirtyNeeded) {
        drmModeClip clip{0, 0, static_cast<unsigned short>(m_layout.modeWidth()),
                         static_cast<unsigned short>(m_layout.modeHeight())};
        int status = drmModeDirtyFB(m_fd, buffer.fb, &clip, 1);
        if (status == -ENOSYS) {
            m_dirtyNeeded = false; // the driver scans out straight from memory
        } else if (status != 0) {
            return fail("flushing a frame", -status);
        }
    }
    m_gate.completed(); // DIRTYFB returns once the flush is done
    return true;
}

void DrmPanel::onPageFlip(int, unsigned int, unsigned int, unsigned int, void* data) {
    static_cast<DrmPanel*>(data)->m_flipped = true;
}

bool DrmPanel::handleEvents() {
    drmEventContext context{};
    context.version = 2;
    context.page_flip_handler = &DrmPanel::onPageFlip;
    m_flipped = false;
    drmHandleEvent(m_fd, &context);
    return m_flipped && m_gate.completed();
}

bool DrmPanel::waitIdle(int timeoutMs) {
    const int deadline = monotonicMs() + timeoutMs;
    while (m_gate.inFlight()) {
        int left = deadline - monotonicMs();
        if (left <= 0) {
            return false;
        }
        pollfd watch{m_fd, POLLIN, 0};
        int ready = ::poll(&watch, 1, left);
        if (ready < 0 && errno != EINTR) {
            return false;
        }
        if (ready > 0) {
            handleEvents();
        }
    }
    return true;
}

void DrmPanel::turnOff() {
    waitIdle(1000);
    bool off = false;
    if (m_flush == Flush::atomic && m_request) {
        off = modesetAtomic(0);
    }
    if (!off && m_crtc) {
        drmModeSetCrtc(m_fd, m_crtc, 0, 0, 0, nullptr, 0, nullptr);
    }
}

DrmPanel::~DrmPanel() {
    if (m_fd < 0) {
        return;
    }
    if (m_crtc && m_buffers[0].fb) {
        turnOff();
    }
    for (Buffer& buffer : m_buffers) {
        destroyBuffer(buffer);
    }
    if (m_modeBlob) {
        drmModeDestroyPropertyBlob(m_fd, m_modeBlob);
    }
    if (m_request) {
        drmModeAtomicFree(static_cast<drmModeAtomicReqPtr>(m_request));
    }
    drmDropMaster(m_fd);
    ::close(m_fd);
}

} // namespace lumora
