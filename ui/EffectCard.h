#pragma once

#include "engine/Effect.h"
#include "settings/Settings.h"

#include <QAbstractButton>

class QLabel;

namespace lumora {

class EffectPreview;

// One effect of the catalogue: a live preview of it, its title and its blurb on a rounded
// card. Clicking it selects the effect; the card is checked (accent border) while its effect
// is the current one.
class EffectCard : public QAbstractButton {
    Q_OBJECT
public:
    EffectCard(Effect effect, Settings& settings = Settings::shared(), QWidget* parent = nullptr);

    Effect effect() const { return m_effect; }
    EffectPreview* preview() const { return m_preview; }

    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    // The check state follows the settings, never the click itself.
    void nextCheckState() override {}

private:
    Effect m_effect;
    Settings& m_settings;
    EffectPreview* m_preview;
    QLabel* m_title;
    QLabel* m_blurb;
};

} // namespace lumora
