#include "TuningPanel.h"

#include "AngleKnob.h"
#include "ColorSwatch.h"
#include "ColorWell.h"
#include "KnobFace.h"
#include "SliderRow.h"
#include "Style.h"
#include "SynthKnob.h"

#include <QBoxLayout>
#include <QFontDatabase>
#include <QLabel>
#include <QSlider>
#include <cmath>

namespace lumora {
namespace {

QFont mediumSubheadline() {
    QFont font = style::subheadline();
    font.setWeight(QFont::Medium);
    return font;
}

// A whole number as digits: "-0" never shows, and no value is too large to print.
QString wholeNumber(double integral) {
    return QString::number(integral + 0.0, 'f', 0);
}

} // namespace

const QList<TuningPanel::Swatch>& TuningPanel::swatchTable() {
    static const QList<Swatch> table = {
        {QT_TR_NOOP("Toxic Green"), "44D62C"},   {QT_TR_NOOP("Cyan"), "00E5FF"},
        {QT_TR_NOOP("Electric Blue"), "2979FF"}, {QT_TR_NOOP("Purple"), "9D4DFF"},
        {QT_TR_NOOP("Magenta"), "FF2BD6"},       {QT_TR_NOOP("Red"), "FF1744"},
        {QT_TR_NOOP("Orange"), "FF7A00"},        {QT_TR_NOOP("White"), "FFFFFF"},
    };
    return table;
}

QString TuningPanel::cornerText(double fraction) {
    if (fraction >= 0.999) {
        return tr("Full pill");
    }
    if (fraction <= 0.001) {
        return tr("Square");
    }
    if (!std::isfinite(fraction)) {
        return QString();
    }
    return tr("Rounded %L1%").arg(static_cast<int>(std::trunc(fraction * 100)));
}

QString TuningPanel::directionText(double degrees) {
    const double n = std::round(degrees);
    if (n == 0) {
        return tr("Horizontal →");
    }
    if (n == 90) {
        return tr("Vertical ↓");
    }
    if (n == 180) {
        return tr("Horizontal ←");
    }
    if (n == 270) {
        return tr("Vertical ↑");
    }
    return wholeNumber(n) + QStringLiteral("°");
}

QString TuningPanel::speedText(double speed) {
    // Never localised: a point is the decimal separator whatever the locale.
    return QString::number(speed, 'g', 2) + QStringLiteral("×");
}

QString TuningPanel::brightnessText(double brightness) {
    return wholeNumber(std::trunc(brightness * 100)) + QStringLiteral("%");
}

QString TuningPanel::spreadText(double width) {
    if (width < 0.6) {
        return tr("Stretched");
    }
    if (width < 1.5) {
        return tr("Normal");
    }
    return tr("Tight");
}

TuningPanel::TuningPanel(Settings& settings, QWidget* parent)
    : Panel(parent), m_settings(settings) {
    setObjectName(QStringLiteral("tuningSection"));

    auto* title = new QLabel(tr("Tuning"), this);
    title->setFont(style::headline());

    m_cornerKnob = new SynthKnob(104);
    m_cornerKnob->setAccent(knobAccent());
    m_cornerKnob->setResetValue(1.0);
    m_cornerCell = makeKnobCell(
        m_cornerKnob, tr("Corner Radius"), m_cornerValue,
        tr("Drag up or right to round the bar. Hold Shift for fine control, double-click to reset."));
    m_cornerCell->setObjectName(QStringLiteral("cornerKnob"));

    m_directionKnob = new AngleKnob(104);
    m_directionKnob->setAccent(knobAccent());
    m_directionKnob->setResetDegrees(0.0);
    m_directionCell = makeKnobCell(
        m_directionKnob, tr("Direction"), m_directionValue,
        tr("Turn to aim the light. It clicks at every 45°. Double-click for horizontal."));
    m_directionCell->setObjectName(QStringLiteral("directionKnob"));

    auto* knobRow = new QHBoxLayout;
    knobRow->setContentsMargins(0, 0, 0, 0);
    knobRow->setSpacing(12);
    knobRow->addWidget(m_cornerCell, 1, Qt::AlignTop);
    knobRow->addWidget(m_directionCell, 1, Qt::AlignTop);

    m_speed = new SliderRow(tr("Speed"), 0.25, 4.0, &TuningPanel::speedText, this);
    m_brightness = new SliderRow(tr("Brightness"), 0.1, 1.0, &TuningPanel::brightnessText, this);
    m_spread = new SliderRow(tr("Color Spread"), 0.15, 3.0, &TuningPanel::spreadText, this);
    m_colorRow = makeColorRow();

    auto* rows = new QVBoxLayout;
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(20);
    rows->addLayout(knobRow);
    rows->addWidget(m_speed);
    rows->addWidget(m_brightness);
    rows->addWidget(m_spread);
    rows->addWidget(m_colorRow);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(10);
    column->addWidget(title);
    column->addLayout(rows);

    connectStore();
}

QWidget* TuningPanel::makeKnobCell(QWidget* knob, const QString& title, QLabel*& value,
                                   const QString& hint) {
    auto* cell = new QWidget(this);
    // Cells share the row equally whatever their texts; a lone cell spans it and so is centred.
    cell->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    cell->setMinimumWidth(140);

    knob->setParent(cell);
    auto* titleLabel = new QLabel(title, cell);
    titleLabel->setFont(mediumSubheadline());

    value = new QLabel(cell);
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPointSizeF(style::subheadline().pointSizeF());
    value->setFont(mono);
    value->setForegroundRole(QPalette::Highlight);

    auto* hintLabel = new QLabel(hint, cell);
    hintLabel->setFont(style::caption());
    hintLabel->setForegroundRole(QPalette::PlaceholderText);
    hintLabel->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    hintLabel->setWordWrap(true);

    auto* column = new QVBoxLayout(cell);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(10);
    column->addWidget(knob, 0, Qt::AlignHCenter);
    column->addWidget(titleLabel, 0, Qt::AlignHCenter);
    column->addWidget(value, 0, Qt::AlignHCenter);
    column->addWidget(hintLabel);
    return cell;
}

QWidget* TuningPanel::makeColorRow() {
    auto* row = new QWidget(this);
    row->setObjectName(QStringLiteral("colorRow"));

    auto* title = new QLabel(tr("Color"), row);
    title->setFont(mediumSubheadline());

    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->setSpacing(10);
    for (const Swatch& swatch : swatchTable()) {
        // The table's colours are valid hex texts.
        auto* button = new ColorSwatch(tr(swatch.name), *RGB::fromHex(swatch.hex), row);
        connect(button, &QAbstractButton::clicked, this,
                [this, button] { m_settings.setColor(button->color()); });
        buttons->addWidget(button, 0, Qt::AlignVCenter);
        m_swatches.append(button);
    }
    m_colorWell = new ColorWell(row);
    // The bar and the previews follow the dialog at once; only OK stores the colour.
    connect(m_colorWell, &ColorWell::colorPreviewed, this,
            [this](RGB color) { m_settings.setColorPreview(color); });
    connect(m_colorWell, &ColorWell::colorChosen, this, [this](RGB color) {
        m_settings.setColorPreview(std::nullopt);
        m_settings.setColor(color);
    });
    connect(m_colorWell, &ColorWell::previewEnded, this,
            [this] { m_settings.setColorPreview(std::nullopt); });
    buttons->addWidget(m_colorWell, 0, Qt::AlignVCenter);
    buttons->addStretch(1);

    auto* column = new QVBoxLayout(row);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(8);
    column->addWidget(title);
    column->addLayout(buttons);
    return row;
}

void TuningPanel::connectStore() {
    // Controls write; the store's change signals (which carry the value before it is stored)
    // are the only way the panel shows a value, so nothing is written back on display.
    connect(m_cornerKnob, &SynthKnob::valueEdited, this,
            [this](double value) { m_settings.setCornerFraction(value); });
    connect(m_directionKnob, &AngleKnob::degreesEdited, this,
            [this](double degrees) { m_settings.setAngle(degrees); });
    connect(m_speed, &SliderRow::valueEdited, this,
            [this](double value) { m_settings.setSpeed(value); });
    connect(m_brightness, &SliderRow::valueEdited, this,
            [this](double value) { m_settings.setBrightness(value); });
    connect(m_spread, &SliderRow::valueEdited, this,
            [this](double value) { m_settings.setWidth(value); });

    observe(m_settings, &Settings::effectChanged, &Settings::effect, this,
            [this](Effect effect) { showEffect(effect); });
    observe(m_settings, &Settings::cornerFractionChanged, &Settings::cornerFraction, this,
            [this](double value) { showCorner(value); });
    observe(m_settings, &Settings::angleChanged, &Settings::angle, this,
            [this](double value) { showAngle(value); });
    observe(m_settings, &Settings::speedChanged, &Settings::speed, this,
            [this](double value) { m_speed->setValue(value); });
    observe(m_settings, &Settings::brightnessChanged, &Settings::brightness, this,
            [this](double value) { m_brightness->setValue(value); });
    observe(m_settings, &Settings::widthChanged, &Settings::width, this,
            [this](double value) { m_spread->setValue(value); });
    observe(m_settings, &Settings::colorChanged, &Settings::color, this,
            [this](RGB color) { showColor(color); });
}

SliderRow* TuningPanel::sliderRow(const QString& title) const {
    for (SliderRow* row : {m_speed, m_brightness, m_spread}) {
        if (row->title() == title) {
            return row;
        }
    }
    return nullptr;
}

QSlider* TuningPanel::slider(const QString& title) const {
    SliderRow* row = sliderRow(title);
    return row ? row->slider() : nullptr;
}

void TuningPanel::showEffect(Effect effect) {
    m_directionCell->setVisible(usesAngle(effect));
    m_spread->setVisible(usesWidth(effect));
    m_colorRow->setVisible(usesColor(effect));
}

void TuningPanel::showCorner(double fraction) {
    m_cornerKnob->setValue(fraction);
    m_cornerValue->setText(cornerText(fraction));
}

void TuningPanel::showAngle(double degrees) {
    m_directionKnob->setDegrees(degrees);
    m_directionValue->setText(directionText(degrees));
}

void TuningPanel::showColor(RGB color) {
    for (ColorSwatch* swatch : m_swatches) {
        swatch->setSelected(swatch->color() == color);
    }
    m_colorWell->setColor(color);
}

} // namespace lumora
