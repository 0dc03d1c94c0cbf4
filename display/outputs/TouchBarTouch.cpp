#include "display/outputs/TouchBarTouch.h"

#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <libinput.h>
#include <libudev.h>
#include <system_error>
#include <unistd.h>

namespace lumora {

namespace {

constexpr int retryIntervalMs = 2000;

// Every input event node and the name of the input device above it.
std::vector<InputDeviceInfo> listInputDevices(bool* reachedUdev) {
    std::vector<InputDeviceInfo> devices;
    udev* context = udev_new();
    *reachedUdev = context != nullptr;
    if (!context) {
        return devices;
    }
    udev_enumerate* enumerate = udev_enumerate_new(context);
    if (enumerate && udev_enumerate_add_match_subsystem(enumerate, "input") >= 0 &&
        udev_enumerate_add_match_sysname(enumerate, "event*") >= 0 &&
        udev_enumerate_scan_devices(enumerate) >= 0) {
        udev_list_entry* entry = nullptr;
        udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate)) {
            udev_device* device =
                udev_device_new_from_syspath(context, udev_list_entry_get_name(entry));
            if (!device) {
                continue;
            }
            const char* node = udev_device_get_devnode(device);
            udev_device* parent = udev_device_get_parent(device); // owned by `device`
            const char* name = parent ? udev_device_get_sysattr_value(parent, "name") : nullptr;
            if (node && name) {
                devices.push_back({node, name});
            }
            udev_device_unref(device);
        }
    }
    if (enumerate) {
        udev_enumerate_unref(enumerate);
    }
    udev_unref(context);
    return devices;
}

bool isPermissionError(int error) {
    return error == EACCES || error == EPERM;
}

} // namespace

TouchBarTouch::TouchBarTouch() = default;

TouchBarTouch::~TouchBarTouch() {
    detach();
    if (m_input) {
        libinput_unref(m_input);
    }
}

std::unique_ptr<TouchBarTouch> TouchBarTouch::open(std::string* error) {
    static const libinput_interface callbacks{&TouchBarTouch::openRestricted,
                                              &TouchBarTouch::closeRestricted};
    std::unique_ptr<TouchBarTouch> touch(new TouchBarTouch());
    touch->m_input = libinput_path_create_context(&callbacks, touch.get());
    if (!touch->m_input) {
        if (error) {
            *error = "cannot start libinput to read the Touch Bar digitizer";
        }
        return nullptr;
    }
    if (!touch->attach(error)) {
        return nullptr;
    }

    TouchBarTouch* self = touch.get();
    self->m_notifier =
        new QSocketNotifier(libinput_get_fd(self->m_input), QSocketNotifier::Read, self);
    connect(self->m_notifier, &QSocketNotifier::activated, self, [self] { self->readEvents(); });
    self->m_retry = new QTimer(self);
    self->m_retry->setInterval(retryIntervalMs);
    connect(self->m_retry, &QTimer::timeout, self, [self] { self->retryAttach(); });
    // Device-added events are already queued; the notifier only fires on new ones.
    self->readEvents();
    return touch;
}

void TouchBarTouch::setBarSize(QSizeF size) {
    m_map.setBarSize(size.width(), size.height());
}

void TouchBarTouch::setTarget(QRectF target) {
    m_taps.setTarget({target.x(), target.y(), target.width(), target.height()});
}

bool TouchBarTouch::attach(std::string* error) {
    bool reachedUdev = false;
    const std::vector<InputDeviceInfo> candidates = chooseDigitizer(listInputDevices(&reachedUdev));
    if (candidates.empty()) {
        if (error) {
            *error = reachedUdev ? "no Touch Bar digitizer found"
                                 : "cannot reach udev to look for the Touch Bar digitizer";
        }
        return false;
    }

    // Tell the user about the most useful failure: a permission problem has a fix.
    std::string failure;
    bool failureIsPermission = false;
    for (const InputDeviceInfo& candidate : candidates) {
        m_lastOpenError = 0;
        libinput_device* device = libinput_path_add_device(m_input, candidate.devnode.c_str());
        std::string why;
        if (!device) {
            if (isPermissionError(m_lastOpenError)) {
                why = "permission denied on " + candidate.devnode +
                      ": add the udev rule from the README";
            } else if (m_lastOpenError != 0) {
                why = "cannot open " + candidate.devnode + ": " +
                      std::system_category().message(m_lastOpenError);
            } else {
                why = "libinput cannot use " + candidate.devnode + " (" + candidate.name + ")";
            }
        } else if (!libinput_device_has_capability(device, LIBINPUT_DEVICE_CAP_TOUCH)) {
            libinput_path_remove_device(device);
            why = candidate.devnode + " (" + candidate.name + ") is not a touch device to libinput";
        } else {
            m_device = libinput_device_ref(device);
            m_devnode = candidate.devnode;
            double widthMm = 0.0;
            double heightMm = 0.0;
            if (libinput_device_get_size(device, &widthMm, &heightMm) != 0) {
                widthMm = heightMm = 0.0;
            }
            m_map.setDigitizerSize(widthMm, heightMm);
            m_taps.reset();
            return true;
        }
        bool permission = isPermissionError(m_lastOpenError);
        if (failure.empty() || (permission && !failureIsPermission)) {
            failure = why;
            failureIsPermission = permission;
        }
    }
    if (error) {
        *error = failure;
    }
    return false;
}

void TouchBarTouch::detach() {
    if (m_device) {
        libinput_path_remove_device(m_device);
        libinput_device_unref(m_device);
        m_device = nullptr;
    }
    m_devnode.clear();
    m_taps.reset();
}

void TouchBarTouch::retryAttach() {
    if (m_device || attach(nullptr)) {
        m_retry->stop();
    }
    // A rejected candidate leaves added and removed events behind, and the context's fd
    // does not wake for those: drain them here, or every attempt would pile up more.
    readEvents();
}

void TouchBarTouch::readEvents() {
    if (libinput_dispatch(m_input) < 0) {
        return;
    }
    bool tapped = false;
    bool lost = false;
    while (libinput_event* event = libinput_get_event(m_input)) {
        const libinput_event_type type = libinput_event_get_type(event);
        if (type == LIBINPUT_EVENT_DEVICE_REMOVED) {
            // Our own detach() has already dropped the device; this is the kernel's removal.
            lost = lost || (m_device && libinput_event_get_device(event) == m_device);
        } else if (type == LIBINPUT_EVENT_TOUCH_DOWN || type == LIBINPUT_EVENT_TOUCH_MOTION ||
                   type == LIBINPUT_EVENT_TOUCH_UP || type == LIBINPUT_EVENT_TOUCH_CANCEL) {
            libinput_event_touch* touch = libinput_event_get_touch_event(event);
            // A device without slots reports -1 for its one touch.
            const int slot = std::max(libinput_event_touch_get_slot(touch), 0);
            if (type == LIBINPUT_EVENT_TOUCH_UP) {
                tapped = m_taps.up(slot) || tapped;
            } else if (type == LIBINPUT_EVENT_TOUCH_CANCEL) {
                m_taps.cancel(slot);
            } else {
                const TouchPoint point =
                    m_map.toBar(libinput_event_touch_get_x_transformed(touch, 1.0),
                                libinput_event_touch_get_y_transformed(touch, 1.0));
                if (type == LIBINPUT_EVENT_TOUCH_DOWN) {
                    m_taps.down(slot, point);
                } else {
                    m_taps.motion(slot, point);
                }
            }
        }
        libinput_event_destroy(event);
    }
    if (lost) {
        libinput_device_unref(m_device);
        m_device = nullptr;
        m_devnode.clear();
        m_taps.reset();
        m_retry->start();
    }
    // Queued: whoever handles the tap may delete this object, and with it the notifier that
    // is still delivering. Pending calls die with the object.
    if (tapped) {
        QMetaObject::invokeMethod(this, &TouchBarTouch::targetTapped, Qt::QueuedConnection);
    }
}

int TouchBarTouch::openRestricted(const char* path, int flags, void* self) {
    int fd = -1;
    do {
        fd = ::open(path, flags | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        const int error = errno;
        static_cast<TouchBarTouch*>(self)->m_lastOpenError = error;
        return -error;
    }
    return fd;
}

void TouchBarTouch::closeRestricted(int fd, void*) {
    ::close(fd);
}

} // namespace lumora
