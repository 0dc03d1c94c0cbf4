#pragma once

#include "settings/Settings.h"
#include "ui/Panel.h"

#include <QList>

class QLabel;
class QPushButton;

namespace lumora {

class AdaptiveGridLayout;
class NamingPopover;
class PresetChip;

// "Presets": save the current look under a name, bring a saved look back with one click,
// delete one from its context menu. The chip of the active preset is marked.
class PresetsPanel : public Panel {
    Q_OBJECT
public:
    explicit PresetsPanel(Settings& settings = Settings::shared(), QWidget* parent = nullptr);

    QPushButton* saveButton() const { return m_saveButton; }
    NamingPopover* popover() const { return m_popover; }
    QLabel* emptyText() const { return m_emptyText; }
    const QList<PresetChip*>& chips() const { return m_chips; }

protected:
    void changeEvent(QEvent* event) override;

private:
    // Store changes arrive before the new value is stored, so the chips are brought up to date
    // once the assignments are over.
    void scheduleRefresh();
    void refresh();
    void applyPreset(const QUuid& id);
    void showMenu(PresetChip* chip, const QPoint& at);
    void updateIcon();

    Settings& m_settings;
    QPushButton* m_saveButton;
    QLabel* m_emptyText;
    QWidget* m_grid;
    AdaptiveGridLayout* m_gridLayout;
    NamingPopover* m_popover;
    QList<PresetChip*> m_chips;
    bool m_refreshPending = false;
};

} // namespace lumora
