#include "app/BarCoordinator.h"

#include <algorithm>

namespace lumora {

namespace {
// Steps of the idle fade; only while fading.
constexpr int fadeStepMs = 16;
} // namespace

BarCoordinator::BarCoordinator(TouchBarPresenter& bar, Settings& settings, QObject* parent)
    : QObject(parent), m_bar(bar), m_settings(settings) {
    m_returnTimer.setSingleShot(true);
    m_returnTimer.setInterval(returnDelayMs);
    connect(&m_returnTimer, &QTimer::timeout, this, [this] {
        if (wantsBar()) {
            show();
        }
    });
    m_fadeTimer.setInterval(fadeStepMs);
    connect(&m_fadeTimer, &QTimer::timeout, this, &BarCoordinator::stepFade);

    connect(
        &m_settings, &Settings::batteryFpsChanged, this, [this] { applyFps(); },
        Qt::QueuedConnection);
    const auto idleSettingChanged = [this] {
        refresh(false);
        applyIdle();
    };
    // Queued: the signal comes before the new value is stored.
    connect(&m_settings, &Settings::dimWhenIdleChanged, this, idleSettingChanged,
            Qt::QueuedConnection);
    connect(&m_settings, &Settings::idleBrightnessChanged, this, idleSettingChanged,
            Qt::QueuedConnection);
    applyFps();
}

BarCoordinator::~BarCoordinator() = default;

double BarCoordinator::idleTarget() const {
    return m_idle && m_settings.dimWhenIdle() ? std::clamp(m_settings.idleBrightness(), 0.0, 1.0)
                                              : 1.0;
}

bool BarCoordinator::wantsBar() const {
    // Dimmed all the way is off.
    return m_enabled && !m_blanked && idleTarget() > 0.0;
}

void BarCoordinator::setEnabled(bool enabled) {
    m_enabled = enabled;
    refresh(false);
}

void BarCoordinator::setBlanked(bool blanked) {
    if (blanked == m_blanked) {
        return;
    }
    m_blanked = blanked;
    refresh(!blanked);
}

void BarCoordinator::setIdle(bool idle) {
    if (idle == m_idle) {
        return;
    }
    m_idle = idle;
    refresh(false);
    applyIdle();
}

void BarCoordinator::setOnBattery(bool onBattery) {
    m_onBattery = onBattery;
    applyFps();
}

void BarCoordinator::wake() {
    if (wantsBar()) {
        // A wake of the machine is often followed by one of the screen: present once.
        m_returnTimer.start();
    }
}

void BarCoordinator::quit() {
    m_returnTimer.stop();
    m_fadeTimer.stop();
    hide(true);
}

void BarCoordinator::refresh(bool delayed) {
    if (!wantsBar()) {
        // Switched off or blanked while a return was pending: it must not come back.
        m_returnTimer.stop();
        if (m_on) {
            hide(false);
        }
        return;
    }
    if (m_on || m_returnTimer.isActive()) {
        return;
    }
    if (delayed) {
        m_returnTimer.start();
    } else {
        show();
    }
}

void BarCoordinator::show() {
    m_on = true;
    const quint64 showing = ++m_showing;
    const auto present = [this, showing] {
        if (m_on && showing == m_showing) {
            m_bar.present();
        }
    };
    if (m_keys) {
        m_keys->takePanel(present);
    } else {
        present();
    }
}

void BarCoordinator::hide(bool quitting) {
    m_on = false;
    ++m_showing;
    // Off the panel first: the keys' service takes it as soon as it starts.
    if (m_bar.isPresented()) {
        m_bar.dismiss();
    }
    if (m_keys) {
        if (quitting) {
            m_keys->givePanelBackNow();
        } else {
            m_keys->givePanelBack();
        }
    }
}

void BarCoordinator::applyIdle() {
    const double target = idleTarget();
    if (target >= 1.0) {
        // Activity: full on the next frame, no fade.
        m_fadeTimer.stop();
        m_bar.view().setBrightnessScale(1.0);
    } else {
        fadeTo(target);
    }
}

void BarCoordinator::fadeTo(double scale) {
    m_fadeFrom = m_bar.view().brightnessScale();
    m_fadeTo = scale;
    m_fadeClock.start();
    m_fadeTimer.start();
}

void BarCoordinator::stepFade() {
    const double t = std::min(1.0, double(m_fadeClock.elapsed()) / fadeMs);
    m_bar.view().setBrightnessScale(m_fadeFrom + (m_fadeTo - m_fadeFrom) * t);
    if (t >= 1.0) {
        m_fadeTimer.stop();
    }
}

void BarCoordinator::applyFps() {
    m_bar.view().setFps(m_onBattery ? m_settings.batteryFps() : mainsFps);
}

} // namespace lumora
