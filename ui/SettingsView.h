#pragma once

#include "platform/LoginItem.h"
#include "settings/Settings.h"
#include "ui/SnapshotPart.h"

#include <QWidget>
#include <functional>
#include <optional>

class QComboBox;
class QLabel;
class QPushButton;
class QScrollArea;

namespace lumora {

class EffectPreview;
class EffectsPanel;
class PageContent;
class PresetsPanel;
class Switch;
class TuningPanel;

// The settings window's content: one scrolling page with the lighting switch, the live
// preview, the presets, the effect cards, the tuning panel and the general switches. Every
// control writes straight into the settings store. With a part, only that part of the page is
// built (for window snapshots); parts never show the footer.
class SettingsView : public QWidget {
    Q_OBJECT
public:
    explicit SettingsView(std::optional<SnapshotPart> part = {},
                          Settings& settings = Settings::shared(),
                          LoginItem& loginItem = LoginItem::shared(), QWidget* parent = nullptr);

    // How the footer says to come back after closing the window.
    enum class ReturnHint { tray, runAgain };
    void setReturnHint(ReturnHint hint);
    static QString footerText(ReturnHint hint);

    // Called when registering or unregistering the login item fails.
    void setBeep(std::function<void()> beep) { m_beep = std::move(beep); }

    std::optional<SnapshotPart> part() const { return m_part; }
    QScrollArea* scrollArea() const { return m_scroll; }
    PageContent* page() const { return m_page; }

    // The sections; null when the part leaves them out.
    QWidget* header() const { return m_header; }
    Switch* lightingSwitch() const { return m_lighting; }
    EffectPreview* livePreview() const { return m_preview; }
    QLabel* previewCaption() const { return m_caption; }
    PresetsPanel* presetsPanel() const { return m_presets; }
    EffectsPanel* effectsPanel() const { return m_effects; }
    TuningPanel* tuningPanel() const { return m_tuning; }
    QWidget* generalPanel() const { return m_general; }
    Switch* closeButtonSwitch() const { return m_showClose; }
    Switch* loginSwitch() const { return m_login; }
    Switch* idleDimSwitch() const { return m_idleDim; }
    QComboBox* batteryFpsChoice() const { return m_batteryFps; }
    QWidget* footer() const { return m_footer; }
    QLabel* footerNote() const { return m_footerNote; }
    QPushButton* quitButton() const { return m_quit; }

private:
    QWidget* buildHeader();
    QWidget* buildPreview();
    QWidget* buildGeneral();
    QWidget* buildFooter();
    void addWindowShortcuts();
    void toggleLogin(bool on);

    std::optional<SnapshotPart> m_part;
    Settings& m_settings;
    LoginItem& m_loginItem;
    std::function<void()> m_beep;

    QScrollArea* m_scroll = nullptr;
    PageContent* m_page = nullptr;
    QWidget* m_header = nullptr;
    Switch* m_lighting = nullptr;
    EffectPreview* m_preview = nullptr;
    QLabel* m_caption = nullptr;
    PresetsPanel* m_presets = nullptr;
    EffectsPanel* m_effects = nullptr;
    TuningPanel* m_tuning = nullptr;
    QWidget* m_general = nullptr;
    Switch* m_showClose = nullptr;
    Switch* m_login = nullptr;
    Switch* m_idleDim = nullptr;
    QComboBox* m_batteryFps = nullptr;
    QWidget* m_footer = nullptr;
    QLabel* m_footerNote = nullptr;
    QPushButton* m_quit = nullptr;
};

} // namespace lumora
