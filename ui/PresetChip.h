#pragma once

#include "settings/Preset.h"

#include <QAbstractButton>

namespace lumora {

// A saved look as a bordered button: its name on one line, elided when narrow. Checked means
// the preset is the active one: the chip is tinted with the accent and carries a check mark.
class PresetChip : public QAbstractButton {
    Q_OBJECT
public:
    explicit PresetChip(const Preset& preset, QWidget* parent = nullptr);

    const Preset& preset() const { return m_preset; }
    void setPreset(const Preset& preset);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    // The check follows the store's active preset, never the click itself.
    void nextCheckState() override {}

private:
    Preset m_preset;
};

} // namespace lumora
