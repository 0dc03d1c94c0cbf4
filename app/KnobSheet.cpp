#include "app/KnobSheet.h"

#include "app/PngFile.h"
#include "ui/AngleKnob.h"
#include "ui/SynthKnob.h"

#include <QPainter>
#include <QTextStream>
#include <QWidget>
#include <array>

namespace lumora {

namespace {

// The sheet is a picture, not a control panel: nothing may turn its knobs.
void freeze(QWidget* knob, int index) {
    knob->setAttribute(Qt::WA_TransparentForMouseEvents);
    knob->setFocusPolicy(Qt::NoFocus);
    // The face sits on the grid; the glow margin around it spills into the padding.
    const int x = KnobSheet::padding + index * (KnobSheet::knobSize + KnobSheet::spacing);
    knob->setGeometry(QRect(QPoint(x, KnobSheet::padding) -
                                QPoint(Knob::glowMargin, Knob::glowMargin),
                            knob->size()));
}

} // namespace

QImage KnobSheet::render() {
    QWidget sheet;
    sheet.setAttribute(Qt::WA_DontShowOnScreen);
    sheet.setFixedSize(pointSize);

    constexpr std::array<double, 3> values{0.0, 0.5, 1.0};
    constexpr std::array<double, 3> angles{0.0, 90.0, 45.0};
    int index = 0;
    for (double value : values) {
        auto* knob = new SynthKnob(knobSize, &sheet);
        knob->setValue(value);
        freeze(knob, index++);
    }
    for (double degrees : angles) {
        auto* knob = new AngleKnob(knobSize, &sheet);
        knob->setDegrees(degrees);
        freeze(knob, index++);
    }

    QImage image(pointSize * scale, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    image.fill(background());
    QPainter painter(&image);
    // Children are drawn even though the sheet is never shown; the background is ours.
    sheet.render(&painter, QPoint(), QRegion(), QWidget::RenderFlags(QWidget::DrawChildren));
    painter.end();
    return image;
}

int KnobSheet::write(const QString& path, QTextStream& err) {
    if (path.isEmpty()) {
        err << "lumora: --snapshot-knob needs a file name" << Qt::endl;
        return 1;
    }
    return writePngFile(render(), path, err);
}

} // namespace lumora
