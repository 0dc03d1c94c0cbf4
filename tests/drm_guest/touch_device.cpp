// A stand-in for the Touch Bar's digitizer inside the test guest: a uinput multitouch device
// named like the real one, 2008 x 60 units with x along the bar, registered the way udev would
// (the guest runs no udev daemon), then driven by commands on stdin:
//
//   tap X Y    a one-finger tap at bar point (X, Y) of a 1004 x 30 bar
//   quit
//
// Prints "LUMORA-TOUCH-READY /dev/input/eventN" once the device exists.
#include <linux/uinput.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int maxX = 2007;
constexpr int maxY = 59;

void emit(int fd, int type, int code, int value) {
    input_event event{};
    event.type = static_cast<unsigned short>(type);
    event.code = static_cast<unsigned short>(code);
    event.value = value;
    if (write(fd, &event, sizeof event) != static_cast<ssize_t>(sizeof event)) {
        std::printf("LUMORA-FAIL touch: writing an event: %s\n", std::strerror(errno));
    }
}

void axis(int fd, int code, int maximum, int resolution) {
    ioctl(fd, UI_SET_ABSBIT, code);
    uinput_abs_setup setup{};
    setup.code = static_cast<unsigned short>(code);
    setup.absinfo.maximum = maximum;
    setup.absinfo.resolution = resolution;
    ioctl(fd, UI_ABS_SETUP, &setup);
}

// The event node's name ("event3") under the new device's sysfs folder, once it is there.
std::string eventNode(int fd) {
    char sys[64] = {};
    ioctl(fd, UI_GET_SYSNAME(sizeof sys), sys);
    const std::string folder = std::string("/sys/devices/virtual/input/") + sys;
    for (int tries = 0; tries < 300; ++tries) {
        if (DIR* dir = opendir(folder.c_str())) {
            std::string found;
            while (dirent* entry = readdir(dir)) {
                if (std::strncmp(entry->d_name, "event", 5) == 0) {
                    found = entry->d_name;
                }
            }
            closedir(dir);
            if (!found.empty()) {
                return found;
            }
        }
        usleep(10000);
    }
    return {};
}

// What udev would record: libinput only takes devices it has tagged as input devices.
bool registerWithUdev(const std::string& event) {
    FILE* numbers = std::fopen(("/sys/class/input/" + event + "/dev").c_str(), "r");
    unsigned major = 0, minor = 0;
    if (!numbers || std::fscanf(numbers, "%u:%u", &major, &minor) != 2) {
        return false;
    }
    std::fclose(numbers);
    mkdir("/run", 0755);
    mkdir("/run/udev", 0755);
    mkdir("/run/udev/data", 0755);
    const std::string path = "/run/udev/data/c" + std::to_string(major) + ":" + std::to_string(minor);
    FILE* db = std::fopen(path.c_str(), "w");
    if (!db) {
        return false;
    }
    std::fputs("I:1\nE:ID_INPUT=1\nE:ID_INPUT_TOUCHSCREEN=1\n", db);
    std::fclose(db);
    return true;
}

void tap(int fd, double x, double y) {
    const int dx = static_cast<int>(x / 1004.0 * maxX + 0.5);
    const int dy = static_cast<int>(y / 30.0 * maxY + 0.5);
    emit(fd, EV_ABS, ABS_MT_SLOT, 0);
    emit(fd, EV_ABS, ABS_MT_TRACKING_ID, 1);
    emit(fd, EV_ABS, ABS_MT_POSITION_X, dx);
    emit(fd, EV_ABS, ABS_MT_POSITION_Y, dy);
    emit(fd, EV_KEY, BTN_TOUCH, 1);
    emit(fd, EV_ABS, ABS_X, dx);
    emit(fd, EV_ABS, ABS_Y, dy);
    emit(fd, EV_SYN, SYN_REPORT, 0);
    usleep(50000);
    emit(fd, EV_ABS, ABS_MT_TRACKING_ID, -1);
    emit(fd, EV_KEY, BTN_TOUCH, 0);
    emit(fd, EV_SYN, SYN_REPORT, 0);
}

} // namespace

int main() {
    const int fd = open("/dev/uinput", O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        std::printf("LUMORA-FAIL touch: /dev/uinput: %s\n", std::strerror(errno));
        return 1;
    }
    ioctl(fd, UI_SET_EVBIT, EV_KEY);
    ioctl(fd, UI_SET_KEYBIT, BTN_TOUCH);
    ioctl(fd, UI_SET_EVBIT, EV_ABS);
    ioctl(fd, UI_SET_PROPBIT, INPUT_PROP_DIRECT);
    axis(fd, ABS_X, maxX, 10);
    axis(fd, ABS_Y, maxY, 10);
    axis(fd, ABS_MT_SLOT, 9, 0);
    axis(fd, ABS_MT_POSITION_X, maxX, 10);
    axis(fd, ABS_MT_POSITION_Y, maxY, 10);
    axis(fd, ABS_MT_TRACKING_ID, 65535, 0);
    uinput_setup setup{};
    setup.id.bustype = BUS_USB;
    std::strncpy(setup.name, "Lumora Test Touch Bar Display Touchpad", UINPUT_MAX_NAME_SIZE - 1);
    if (ioctl(fd, UI_DEV_SETUP, &setup) != 0 || ioctl(fd, UI_DEV_CREATE) != 0) {
        std::printf("LUMORA-FAIL touch: creating the device: %s\n", std::strerror(errno));
        return 1;
    }
    const std::string event = eventNode(fd);
    if (event.empty() || !registerWithUdev(event)) {
        std::printf("LUMORA-FAIL touch: the device has no usable event node\n");
        return 1;
    }
    const std::string node = "/dev/input/" + event;
    for (int tries = 0; tries < 300 && access(node.c_str(), F_OK) != 0; ++tries) {
        usleep(10000);
    }
    std::printf("LUMORA-TOUCH-READY %s\n", node.c_str());
    std::fflush(stdout);

    char line[128];
    while (std::fgets(line, sizeof line, stdin)) {
        double x = 0, y = 0;
        if (std::sscanf(line, "tap %lf %lf", &x, &y) == 2) {
            tap(fd, x, y);
        } else if (std::strncmp(line, "quit", 4) == 0) {
            break;
        }
    }
    ioctl(fd, UI_DEV_DESTROY);
    close(fd);
    return 0;
}
