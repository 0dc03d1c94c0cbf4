#pragma once

#include "display/TouchBarPresenter.h"
#include "platform/FunctionKeyService.h"
#include "settings/Settings.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

namespace lumora {

// Decides when the bar is on the panel and how: lit while the lighting is on and somebody can
// see it, handed to and from the function keys around that, dimmed while the session is
// idle, at a lower frame rate on battery. The inputs come from the settings and the session,
// wake and power monitors; the presenter and the function keys do the work.
class BarCoordinator : public QObject {
    Q_OBJECT
public:
    // After a wake, an unlock or the screen coming back, the bar returns this much later.
    static constexpr int returnDelayMs = 1000;
    static constexpr int fadeMs = 1000;
    static constexpr double mainsFps = 60.0;

    BarCoordinator(TouchBarPresenter& bar, Settings& settings, QObject* parent = nullptr);
    ~BarCoordinator() override;

    // Who holds the panel while the bar does not; nothing (the window, the virtual bar) means
    // the panel is taken and let go without asking anyone.
    void setFunctionKeys(FunctionKeys* keys) { m_keys = keys; }

    void setEnabled(bool enabled);
    // Locked, screensaver on or lid shut: off now, back a second after it ends.
    void setBlanked(bool blanked);
    void setIdle(bool idle);
    void setOnBattery(bool onBattery);
    // The machine or the screen woke: presented afresh a second later while it should show.
    void wake();
    // The process ends: off the panel and the keys given back before returning.
    void quit();

    // Whether the bar should be on the panel now (it may still be waiting for the keys).
    bool wantsBar() const;
    bool isReturning() const { return m_returnTimer.isActive(); }

private:
    void refresh(bool delayed);
    void show();
    void hide(bool quitting);
    void applyIdle();
    void applyFps();
    void fadeTo(double scale);
    void stepFade();
    double idleTarget() const;

    TouchBarPresenter& m_bar;
    Settings& m_settings;
    FunctionKeys* m_keys = nullptr;
    bool m_enabled = false;
    bool m_blanked = false;
    bool m_idle = false;
    bool m_onBattery = false;
    bool m_on = false;     // shown, or waiting for the panel
    quint64 m_showing = 0; // which show a late "panel free" belongs to
    QTimer m_returnTimer;
    QTimer m_fadeTimer;
    QElapsedTimer m_fadeClock;
    double m_fadeFrom = 1.0;
    double m_fadeTo = 1.0;
};

} // namespace lumora
