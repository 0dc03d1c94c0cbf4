#include "ui/EffectPreview.h"

#include <QVBoxLayout>

namespace lumora {

namespace {
constexpr int renderHeight = 20;
}

EffectPreview::EffectPreview(std::optional<Effect> effect, int renderWidth, double fps,
                             Settings& settings, QWidget* parent)
    : QWidget(parent), m_effect(effect),
      m_view(new EffectView(renderWidth, renderHeight, fps, std::nullopt, effect, true, settings,
                            {}, this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
    // The frame is stretched to whatever room the layout gives, so the buffer's width must not
    // push the page wider.
    m_view->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void EffectPreview::setEffect(std::optional<Effect> effect) {
    m_effect = effect;
    m_view->setOverrideEffect(effect);
}

QSize EffectPreview::sizeHint() const {
    return {240, renderHeight};
}

QSize EffectPreview::minimumSizeHint() const {
    return {10, 1};
}

} // namespace lumora
