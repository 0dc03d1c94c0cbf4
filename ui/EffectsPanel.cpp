#include "ui/EffectsPanel.h"

#include "ui/AdaptiveGridLayout.h"
#include "ui/EffectCard.h"
#include "ui/Style.h"

#include <QLabel>
#include <QVBoxLayout>

namespace lumora {

EffectsPanel::EffectsPanel(Settings& settings, QWidget* parent) : Panel(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0); // the panel pads itself
    layout->setSpacing(10);

    auto* heading = new QLabel(tr("Effects"), this);
    heading->setFont(style::headline());
    layout->addWidget(heading);

    auto* grid = new AdaptiveGridLayout(10, 12, 12, 2);
    for (Effect effect : allEffects) {
        auto* card = new EffectCard(effect, settings, this);
        grid->addWidget(card);
        m_cards.append(card);
    }
    layout->addLayout(grid);
}

} // namespace lumora
