#pragma once

#include "settings/Settings.h"
#include "ui/Panel.h"

#include <QList>
#include <functional>

class QLabel;
class QPushButton;

namespace lumora {

class AdaptiveGridLayout;
class NamingPopover;
class PresetChip;

// "Presets": save the current look under a name, bring a saved look back with one click,
// delete one from its context menu. The chip of the active preset is marked. "Export…" and
// "Import…" write and read preset files to share looks, and say how it went under the chips.
class PresetsPanel : public Panel {
    Q_OBJECT
public:
    explicit PresetsPanel(Settings& settings = Settings::shared(), QWidget* parent = nullptr);

    enum class FileUse { save, open };
    // Asks for a file; an empty path means cancelled. Qt's file dialogs unless replaced.
    using FileChooser = std::function<QString(FileUse)>;
    void setFileChooser(FileChooser chooser) { m_chooseFile = std::move(chooser); }

    // Every preset, into a file the chooser names.
    void exportPresets();
    // The presets of a file the chooser names, added beside ours.
    void importPresets();

    QPushButton* saveButton() const { return m_saveButton; }
    QPushButton* exportButton() const { return m_exportButton; }
    QPushButton* importButton() const { return m_importButton; }
    // How the last export or import went; hidden until one is done.
    QLabel* resultText() const { return m_resultText; }
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
    QString chooseFile(FileUse use);
    void showResult(const QString& text);

    Settings& m_settings;
    QPushButton* m_saveButton;
    QPushButton* m_exportButton;
    QPushButton* m_importButton;
    QLabel* m_resultText;
    FileChooser m_chooseFile;
    QLabel* m_emptyText;
    QWidget* m_grid;
    AdaptiveGridLayout* m_gridLayout;
    NamingPopover* m_popover;
    QList<PresetChip*> m_chips;
    bool m_refreshPending = false;
};

} // namespace lumora
