#pragma once

#include "Panel.h"
#include "engine/Effect.h"
#include "engine/RGB.h"
#include "settings/Settings.h"

#include <QList>
#include <QString>

class QLabel;
class QSlider;

namespace lumora {

class AngleKnob;
class ColorSwatch;
class ColorWell;
class SliderRow;
class SynthKnob;

// The "Tuning" section of the settings page: the corner and direction knobs, the speed,
// brightness and colour-spread sliders and the colour row. Every control writes straight into
// the store, and the panel follows every change of the store, wherever it comes from. Controls
// the selected effect does not use are hidden; their settings keep their values.
class TuningPanel : public Panel {
    Q_OBJECT
public:
    explicit TuningPanel(Settings& settings = Settings::shared(), QWidget* parent = nullptr);

    // The preset colours of the colour row, in display order.
    struct Swatch {
        const char* name;
        const char* hex;
    };
    static const QList<Swatch>& swatchTable();

    // Value texts of the controls.
    static QString cornerText(double fraction);
    static QString directionText(double degrees);
    static QString speedText(double speed);
    static QString brightnessText(double brightness);
    static QString spreadText(double width);

    SynthKnob* cornerKnob() const { return m_cornerKnob; }
    AngleKnob* directionKnob() const { return m_directionKnob; }
    QWidget* cornerCell() const { return m_cornerCell; }
    QWidget* directionCell() const { return m_directionCell; }
    QLabel* cornerValueLabel() const { return m_cornerValue; }
    QLabel* directionValueLabel() const { return m_directionValue; }
    // "Speed", "Brightness" or "Color Spread"; null for any other title.
    SliderRow* sliderRow(const QString& title) const;
    QSlider* slider(const QString& title) const;
    QWidget* colorRow() const { return m_colorRow; }
    const QList<ColorSwatch*>& swatches() const { return m_swatches; }
    ColorWell* colorWell() const { return m_colorWell; }

private:
    QWidget* makeKnobCell(QWidget* knob, const QString& title, QLabel*& value, const QString& hint);
    QWidget* makeColorRow();
    void connectStore();
    void showEffect(Effect effect);
    void showCorner(double fraction);
    void showAngle(double degrees);
    void showColor(RGB color);

    Settings& m_settings;
    SynthKnob* m_cornerKnob = nullptr;
    AngleKnob* m_directionKnob = nullptr;
    QWidget* m_cornerCell = nullptr;
    QWidget* m_directionCell = nullptr;
    QLabel* m_cornerValue = nullptr;
    QLabel* m_directionValue = nullptr;
    SliderRow* m_speed = nullptr;
    SliderRow* m_brightness = nullptr;
    SliderRow* m_spread = nullptr;
    QWidget* m_colorRow = nullptr;
    QList<ColorSwatch*> m_swatches;
    ColorWell* m_colorWell = nullptr;
};

} // namespace lumora
