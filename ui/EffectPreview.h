#pragma once

#include "display/EffectView.h"
#include "engine/Effect.h"
#include "settings/Settings.h"

#include <QWidget>
#include <optional>

namespace lumora {

// A live effect on the page: one EffectView that draws `effect` (or the settings' effect when
// none) and animates only while its window is visible. The height is the owner's to set; the
// width follows the layout.
class EffectPreview : public QWidget {
    Q_OBJECT
public:
    EffectPreview(std::optional<Effect> effect, int renderWidth = 240, double fps = 30,
                  Settings& settings = Settings::shared(), QWidget* parent = nullptr);

    std::optional<Effect> effect() const { return m_effect; }
    void setEffect(std::optional<Effect> effect);

    EffectView* view() const { return m_view; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

private:
    std::optional<Effect> m_effect;
    EffectView* m_view;
};

} // namespace lumora
