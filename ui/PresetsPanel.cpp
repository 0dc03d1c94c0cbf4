#include "ui/PresetsPanel.h"

#include "ui/AdaptiveGridLayout.h"
#include "ui/NamingPopover.h"
#include "ui/PresetChip.h"
#include "ui/Style.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
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
    m_saveButton = new QPushButton(tr("Save Current Look"), this);
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

    m_popover = new NamingPopover(settings, this);
    connect(m_saveButton, &QPushButton::clicked, this,
            [this] { m_popover->openUnder(m_saveButton); });

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
