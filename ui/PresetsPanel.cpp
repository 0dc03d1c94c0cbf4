#include "ui/PresetsPanel.h"

#include "settings/Limits.h"
#include "settings/PresetFile.h"
#include "ui/AdaptiveGridLayout.h"
#include "ui/NamingPopover.h"
#include "ui/PresetChip.h"
#include "ui/Style.h"

#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QSaveFile>
#include <QVBoxLayout>

namespace lumora {

namespace {

QIcon plusIcon(const QColor& color) {
    QIcon themed = QIcon::fromTheme(QStringLiteral("list-add"));
    if (!themed.isNull()) {
        return themed;
    }
    // No icon theme (offscreen, minimal desktops): a plain plus in the button's text colour.
    const int size = 16;
    const qreal ratio = 2.0;
    QPixmap pixmap(int(size * ratio), int(size * ratio));
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(color, 1.6, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(size / 2.0, 3.5), QPointF(size / 2.0, size - 3.5));
    painter.drawLine(QPointF(3.5, size / 2.0), QPointF(size - 3.5, size / 2.0));
    painter.end();
    return QIcon(pixmap);
}

} // namespace

PresetsPanel::PresetsPanel(Settings& settings, QWidget* parent)
    : Panel(parent), m_settings(settings) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0); // the panel pads itself
    layout->setSpacing(10);

    auto* titleRow = new QHBoxLayout;
    auto* heading = new QLabel(tr("Presets"), this);
    heading->setFont(style::headline());
    titleRow->addWidget(heading);
    titleRow->addStretch(1);
    m_exportButton = new QPushButton(tr("Export…"), this);
    m_importButton = new QPushButton(tr("Import…"), this);
    m_saveButton = new QPushButton(tr("Save Current Look"), this);
    titleRow->addWidget(m_exportButton);
    titleRow->addWidget(m_importButton);
    titleRow->addWidget(m_saveButton);
    layout->addLayout(titleRow);

    m_emptyText = new QLabel(tr("Save a look to bring it back with one click."), this);
    m_emptyText->setFont(style::callout());
    m_emptyText->setForegroundRole(QPalette::PlaceholderText);
    m_emptyText->setWordWrap(true);
    layout->addWidget(m_emptyText);

    m_grid = new QWidget(this);
    m_gridLayout = new AdaptiveGridLayout(130, 8, 8, 0, m_grid);
    layout->addWidget(m_grid);

    m_resultText = new QLabel(this);
    m_resultText->setFont(style::callout());
    m_resultText->setForegroundRole(QPalette::PlaceholderText);
    m_resultText->setWordWrap(true);
    m_resultText->hide();
    layout->addWidget(m_resultText);

    m_popover = new NamingPopover(settings, this);
    connect(m_saveButton, &QPushButton::clicked, this,
            [this] { m_popover->openUnder(m_saveButton); });
    connect(m_exportButton, &QPushButton::clicked, this, &PresetsPanel::exportPresets);
    connect(m_importButton, &QPushButton::clicked, this, &PresetsPanel::importPresets);

    connect(&settings, &Settings::willChange, this, &PresetsPanel::scheduleRefresh);
    updateIcon();
    refresh();
}

void PresetsPanel::scheduleRefresh() {
    if (m_refreshPending) {
        return;
    }
    m_refreshPending = true;
    QMetaObject::invokeMethod(this, &PresetsPanel::refresh, Qt::QueuedConnection);
}

void PresetsPanel::refresh() {
    m_refreshPending = false;
    const QList<Preset> presets = m_settings.presets();

    // Chips are kept while the list keeps its identities, so a re-saved preset is renamed
    // where it stands; any other change rebuilds them in list order.
    bool same = presets.size() == m_chips.size();
    for (qsizetype i = 0; same && i < presets.size(); ++i) {
        same = m_chips[i]->preset().id == presets[i].id;
    }
    if (!same) {
        for (PresetChip* chip : std::as_const(m_chips)) {
            m_gridLayout->removeWidget(chip);
            chip->hide();
            chip->deleteLater(); // it may be the one whose menu is still on its way out
        }
        m_chips.clear();
        for (const Preset& preset : presets) {
            auto* chip = new PresetChip(preset, m_grid);
            connect(chip, &QAbstractButton::clicked, this,
                    [this, id = preset.id] { applyPreset(id); });
            connect(chip, &QWidget::customContextMenuRequested, this,
                    [this, chip](const QPoint& at) { showMenu(chip, at); });
            m_gridLayout->addWidget(chip);
            m_chips.append(chip);
        }
    } else {
        for (qsizetype i = 0; i < presets.size(); ++i) {
            if (!(m_chips[i]->preset() == presets[i])) {
                m_chips[i]->setPreset(presets[i]);
            }
        }
    }

    const std::optional<Preset> active = m_settings.activePreset();
    for (PresetChip* chip : std::as_const(m_chips)) {
        chip->setChecked(active && active->id == chip->preset().id);
    }
    m_exportButton->setEnabled(!presets.isEmpty());
    m_emptyText->setVisible(presets.isEmpty());
    m_grid->setVisible(!presets.isEmpty());
}

void PresetsPanel::applyPreset(const QUuid& id) {
    // The store's copy: the chip's may be a moment behind a re-save.
    for (const Preset& preset : m_settings.presets()) {
        if (preset.id == id) {
            m_settings.apply(preset);
            return;
        }
    }
}

void PresetsPanel::showMenu(PresetChip* chip, const QPoint& at) {
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction* remove = menu->addAction(tr("Delete"));
    const Preset preset = chip->preset();
    connect(remove, &QAction::triggered, this, [this, preset] { m_settings.deletePreset(preset); });
    menu->popup(chip->mapToGlobal(at));
}

QString PresetsPanel::chooseFile(FileUse use) {
    if (m_chooseFile) {
        return m_chooseFile(use);
    }
    const QString filter = tr("Preset files (*.json)");
    if (use == FileUse::save) {
        return QFileDialog::getSaveFileName(this, tr("Export Presets"),
                                            QDir::home().filePath(QStringLiteral("presets.json")),
                                            filter);
    }
    return QFileDialog::getOpenFileName(this, tr("Import Presets"), QDir::homePath(), filter);
}

void PresetsPanel::showResult(const QString& text) {
    m_resultText->setText(text);
    m_resultText->show();
}

void PresetsPanel::exportPresets() {
    QString path = chooseFile(FileUse::save);
    if (path.isEmpty()) {
        return;
    }
    if (!path.endsWith(QLatin1String(".json"), Qt::CaseInsensitive)) {
        path += QLatin1String(".json");
    }
    const QList<Preset> presets = m_settings.presets();
    const QByteArray json = presetFile::encode(presets);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(json) != json.size() || !file.commit()) {
        showResult(tr("Nothing exported: %1.").arg(file.errorString()));
        return;
    }
    showResult(presets.size() == 1 ? tr("Exported 1 preset.")
                                   : tr("Exported %1 presets.").arg(presets.size()));
}

void PresetsPanel::importPresets() {
    const QString path = chooseFile(FileUse::open);
    if (path.isEmpty()) {
        return;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        showResult(tr("Nothing imported: %1.").arg(file.errorString()));
        return;
    }
    // One byte more than allowed is enough to know the file is too large.
    const presetFile::Contents contents = presetFile::decode(file.read(limits::maxJsonBytes + 1));
    const QStringList names =
        contents.problem.isEmpty() ? m_settings.importPresets(contents.presets) : QStringList();
    showResult(presetFile::importSummary(names.size(), contents.skipped,
                                         contents.presets.size() - names.size(), contents.problem));
}

void PresetsPanel::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange ||
        event->type() == QEvent::ApplicationPaletteChange) {
        updateIcon();
    }
    Panel::changeEvent(event);
}

void PresetsPanel::updateIcon() {
    m_saveButton->setIcon(plusIcon(palette().color(QPalette::ButtonText)));
}

} // namespace lumora
