#pragma once

#include "settings/Settings.h"
#include "ui/Panel.h"

#include <QList>

namespace lumora {

class EffectCard;

// "Effects": one live card per effect, in catalogue order, two columns.
class EffectsPanel : public Panel {
    Q_OBJECT
public:
    explicit EffectsPanel(Settings& settings = Settings::shared(), QWidget* parent = nullptr);

    const QList<EffectCard*>& cards() const { return m_cards; }

private:
    QList<EffectCard*> m_cards;
};

} // namespace lumora
