#include "ui/TuningPanel.h"

#include "settings/Limits.h"
#include "ui/AngleKnob.h"
#include "ui/ColorSwatch.h"
#include "ui/ColorWell.h"
#include "ui/SliderRow.h"
#include "ui/SynthKnob.h"

#include <QColorDialog>
#include <QLabel>
#include <QLayout>
#include <QLocale>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>
#include <functional>
#include <gtest/gtest.h>

namespace lumora {
namespace {

RGB hexColor(const char* hex) {
    return *RGB::fromHex(hex);
}

class TuningPanelTest : public ::testing::Test {
protected:
    TuningPanelTest() : m_settings(m_dir.path() + "/lumora.conf"), m_panel(m_settings) {
        m_panel.resize(560, 700);
        m_panel.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&m_panel));
    }

    bool shown(QWidget* w) const { return w->isVisibleTo(&m_panel); }

    QTemporaryDir m_dir;
    Settings m_settings;
    TuningPanel m_panel;
};

struct SliderCase {
    const char* title;
    double minimum;
    double maximum;
    double (Settings::*get)() const;
    void (Settings::*changed)(double);
};

// The store's limits, which also hold what scripts write: the sliders must reach exactly them.
const SliderCase sliderCases[] = {
    {"Speed", limits::minSpeed, limits::maxSpeed, &Settings::speed, &Settings::speedChanged},
    {"Brightness", limits::minBrightness, limits::maxBrightness, &Settings::brightness,
     &Settings::brightnessChanged},
    {"Color Spread", limits::minWidth, limits::maxWidth, &Settings::width, &Settings::widthChanged},
};

// The wheel over an unfocused slider is left to the page; focused (clicked or tabbed to), keys
// and the wheel move it, to the exact ends of its range.
TEST_F(TuningPanelTest, slidersMoveOnlyWithFocusAndReachTheEndsOfTheirRange) {
    m_settings.setEffect(Effect::rainbowWave); // shows all three sliders
    QApplication::setActiveWindow(&m_panel);
    for (const SliderCase& c : sliderCases) {
        SCOPED_TRACE(c.title);
        QSlider* slider = m_panel.slider(c.title);
        ASSERT_NE(slider, nullptr);
        QSignalSpy writes(&m_settings, c.changed);
        const double before = (m_settings.*c.get)();
        const QPointF at = slider->rect().center();
        QWheelEvent down(at, slider->mapToGlobal(at), {}, QPoint(0, -120), Qt::NoButton,
                         Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(slider, &down);
        EXPECT_FALSE(down.isAccepted());
        EXPECT_EQ((m_settings.*c.get)(), before);

        slider->setFocus();
        ASSERT_TRUE(slider->hasFocus());
        QApplication::sendEvent(slider, &down);
        EXPECT_NE((m_settings.*c.get)(), before);
        QTest::keyClick(slider, Qt::Key_Home);
        EXPECT_EQ((m_settings.*c.get)(), c.minimum);
        QTest::keyClick(slider, Qt::Key_End);
        EXPECT_EQ((m_settings.*c.get)(), c.maximum);
        QTest::keyClick(slider, Qt::Key_PageDown);
        EXPECT_NEAR((m_settings.*c.get)(), c.minimum + (c.maximum - c.minimum) * 0.9, 1e-12);
        EXPECT_EQ(writes.count(), 4);
        slider->clearFocus();
    }
}

TEST_F(TuningPanelTest, aStoreChangeMovesTheControlsWithoutWritingBack) {
    QSignalSpy speedWrites(&m_settings, &Settings::speedChanged);
    QSignalSpy cornerWrites(&m_settings, &Settings::cornerFractionChanged);
    QSignalSpy angleWrites(&m_settings, &Settings::angleChanged);

    m_settings.setSpeed(1.2345);
    EXPECT_EQ(m_panel.slider("Speed")->value(), 263); // (1.2345 - 0.25) / 3.75 of 1000 steps
    EXPECT_EQ(m_panel.sliderRow("Speed")->valueLabel()->text(), "1.2×");

    // Beyond the range: the slider rests at its end, the text (and the store, as the write
    // counts below show) keep the value.
    m_settings.setSpeed(40);
    EXPECT_EQ(m_panel.slider("Speed")->value(), SliderRow::steps);
    EXPECT_EQ(m_panel.sliderRow("Speed")->valueLabel()->text(), "40×");

    m_settings.setCornerFraction(0.5);
    EXPECT_EQ(m_panel.cornerKnob()->value(), 0.5);
    EXPECT_EQ(m_panel.cornerValueLabel()->text(), "Rounded 50%");
    m_settings.setAngle(89.6);
    EXPECT_EQ(m_panel.directionKnob()->degrees(), 89.6);
    EXPECT_EQ(m_panel.directionValueLabel()->text(), "Vertical ↓");

    EXPECT_EQ(speedWrites.count(), 2);
    EXPECT_EQ(cornerWrites.count(), 1);
    EXPECT_EQ(angleWrites.count(), 1);
}

TEST_F(TuningPanelTest, knobEditsWriteTheStore) {
    m_settings.setCornerFraction(0.2);
    m_settings.setAngle(135);
    QTest::mouseDClick(m_panel.cornerKnob(), Qt::LeftButton, {},
                       m_panel.cornerKnob()->rect().center());
    EXPECT_EQ(m_settings.cornerFraction(), 1.0);
    EXPECT_EQ(m_panel.cornerValueLabel()->text(), "Full pill");
    QTest::mouseDClick(m_panel.directionKnob(), Qt::LeftButton, {},
                       m_panel.directionKnob()->rect().center());
    EXPECT_EQ(m_settings.angle(), 0.0);
    EXPECT_EQ(m_panel.directionValueLabel()->text(), "Horizontal →");
}

TEST_F(TuningPanelTest, controlsFollowTheSelectedEffect) {
    QWidget* spread = m_panel.sliderRow("Color Spread");
    m_settings.setEffect(Effect::rainbowWave);
    EXPECT_TRUE(shown(m_panel.directionCell()));
    EXPECT_TRUE(shown(spread));
    EXPECT_FALSE(shown(m_panel.colorRow()));

    m_settings.setWidth(2.0);
    m_settings.setEffect(Effect::solid);
    EXPECT_FALSE(shown(m_panel.directionCell()));
    EXPECT_FALSE(shown(spread));
    EXPECT_TRUE(shown(m_panel.colorRow()));
    EXPECT_EQ(m_settings.width(), 2.0); // hidden controls leave their settings alone

    m_settings.setEffect(Effect::inferno);
    EXPECT_FALSE(shown(m_panel.directionCell()));
    EXPECT_FALSE(shown(spread));
    EXPECT_FALSE(shown(m_panel.colorRow()));
}

TEST_F(TuningPanelTest, knobCellsShareTheRowAndALoneCornerKnobIsCentred) {
    const auto centreX = [this](QWidget* w) { return w->mapTo(&m_panel, w->rect().center()).x(); };
    const int middle = m_panel.contentsRect().center().x();

    m_settings.setEffect(Effect::rainbowWave);
    m_panel.layout()->activate();
    EXPECT_NEAR(m_panel.cornerCell()->width(), m_panel.directionCell()->width(), 1);
    EXPECT_LT(centreX(m_panel.cornerKnob()), middle);

    m_settings.setEffect(Effect::solid);
    m_panel.layout()->activate();
    EXPECT_NEAR(centreX(m_panel.cornerKnob()), middle, 1);
}

TEST_F(TuningPanelTest, swatchesWriteTheColourAndCarryTheRing) {
    m_settings.setEffect(Effect::solid);
    const auto selected = [this] {
        QList<int> on;
        for (int i = 0; i < m_panel.swatches().size(); ++i) {
            if (m_panel.swatches()[i]->isSelected()) {
                on.append(i);
            }
        }
        return on;
    };
    EXPECT_EQ(selected(), QList<int>{0}); // the store's default colour

    ColorSwatch* cyan = m_panel.swatches()[1];
    QTest::mouseClick(cyan, Qt::LeftButton, {}, cyan->rect().center());
    EXPECT_EQ(m_settings.color(), hexColor("00E5FF"));
    EXPECT_EQ(selected(), QList<int>{1});
    QTest::mouseClick(cyan, Qt::LeftButton, {}, cyan->rect().center());
    EXPECT_EQ(selected(), QList<int>{1}); // a second press does not clear the ring
}

TEST_F(TuningPanelTest, thePickerShowsColoursLiveAndStoresOpaqueOnesOnlyOnOk) {
    m_settings.setEffect(Effect::breathing);
    const RGB stored = m_settings.color();
    QSignalSpy changes(&m_settings, &Settings::colorChanged);
    ColorWell* well = m_panel.colorWell();
    QTest::mouseClick(well, Qt::LeftButton, {}, well->rect().center());
    QColorDialog* dialog = well->dialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_FALSE(dialog->testOption(QColorDialog::ShowAlphaChannel));
    EXPECT_EQ(dialog->currentColor(), QColor(0x44, 0xD6, 0x2C)); // the stored colour
    EXPECT_FALSE(m_settings.colorPreview());                     // opening is no preview

    // Every colour passed over shows on what reads the parameters (bar, previews) at once...
    dialog->setCurrentColor(QColor(0x10, 0x20, 0x30));
    EXPECT_EQ(m_settings.params().color, hexColor("102030"));
    dialog->setCurrentColor(QColor(0xFF, 0x00, 0x80));
    EXPECT_EQ(m_settings.params().color, hexColor("FF0080"));
    // ...but nothing is stored or announced.
    EXPECT_EQ(m_settings.color(), stored);
    EXPECT_EQ(changes.count(), 0);

    dialog->reject();
    EXPECT_EQ(m_settings.params().color, stored);
    EXPECT_EQ(changes.count(), 0);

    // OK stores the colour once; no swatch is ringed unless it is that colour.
    QTest::mouseClick(well, Qt::LeftButton, {}, well->rect().center());
    dialog->setCurrentColor(QColor(1, 2, 3));
    dialog->accept();
    EXPECT_EQ(changes.count(), 1);
    EXPECT_EQ(m_settings.color(), (RGB{1 / 255.0, 2 / 255.0, 3 / 255.0}));
    EXPECT_FALSE(m_settings.colorPreview());
    for (ColorSwatch* swatch : m_panel.swatches()) {
        EXPECT_FALSE(swatch->isSelected()) << swatch->name().toStdString();
    }
}

TEST(TuningTexts, readAsTheUserExpects) {
    // At each end's edge; the middle ("Rounded 50%", "Vertical ↓") shows in the panel's labels.
    EXPECT_EQ(TuningPanel::cornerText(0.999), "Full pill");
    EXPECT_EQ(TuningPanel::cornerText(0.0005), "Square");
    EXPECT_EQ(TuningPanel::cornerText(0.998), "Rounded 99%");

    EXPECT_EQ(TuningPanel::directionText(44.4), "44°");
    EXPECT_EQ(TuningPanel::directionText(-0.4), "Horizontal →");
    EXPECT_EQ(TuningPanel::directionText(179.5), "Horizontal ←");
    EXPECT_EQ(TuningPanel::directionText(270), "Vertical ↑");

    EXPECT_EQ(TuningPanel::brightnessText(-0.001), "0%");

    // The speed is never written with a decimal comma.
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(TuningPanel::speedText(1), "1×");
    EXPECT_EQ(TuningPanel::speedText(3.14), "3.1×");
    EXPECT_EQ(TuningPanel::speedText(0.25), "0.25×");
    QLocale::setDefault(before);
}

} // namespace
} // namespace lumora
