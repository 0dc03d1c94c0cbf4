#pragma once

#include "display/outputs/drm/TouchMap.h"

#include <QObject>
#include <QRectF>
#include <QSizeF>
#include <memory>
#include <string>

class QSocketNotifier;
class QTimer;
struct libinput;
struct libinput_device;

namespace lumora {

// Taps on the real Touch Bar, read from its digitizer through libinput. The bar shows the
// container stretched over its whole length; a touch that begins and ends on the target (the
// close button) emits targetTapped().
//
// If the digitizer goes away (the bar's USB device is reset across suspend on some models),
// it is looked for again every few seconds until it is back.
class TouchBarTouch : public QObject {
    Q_OBJECT
public:
    // Finds the digitizer and starts reading it. On failure returns nothing and sets `error`
    // (if given) to one line naming the device and what to do.
    static std::unique_ptr<TouchBarTouch> open(std::string* error);
    ~TouchBarTouch() override;
    TouchBarTouch(const TouchBarTouch&) = delete;
    TouchBarTouch& operator=(const TouchBarTouch&) = delete;

    // The container's size in points: 1085 x 30, or narrower once fitted to the panel.
    void setBarSize(QSizeF size);
    // The rectangle that takes taps, in container points. An empty one (a hidden close
    // button) takes none.
    void setTarget(QRectF target);

    // The event node being read, e.g. "/dev/input/event7"; empty while the device is gone.
    const std::string& device() const { return m_devnode; }

signals:
    // Sent from the event loop, never from inside the read, so a handler may delete this.
    void targetTapped();

private:
    TouchBarTouch();
    // Opens the best candidate that libinput reports as a touch device; false with `error`
    // set when none is usable.
    bool attach(std::string* error);
    void detach();
    void readEvents();
    void retryAttach();

    static int openRestricted(const char* path, int flags, void* self);
    static void closeRestricted(int fd, void* self);

    libinput* m_input = nullptr;
    libinput_device* m_device = nullptr;
    QSocketNotifier* m_notifier = nullptr; // owned as a child
    QTimer* m_retry = nullptr;             // owned as a child
    std::string m_devnode;
    int m_lastOpenError = 0; // errno of the last failed open_restricted
    TouchMap m_map;
    TapTracker m_taps;
};

} // namespace lumora
