#pragma once

#include <QColor>
#include <QImage>
#include <QSize>
#include <QString>

class QTextStream;

namespace lumora {

// A sheet showing the knob controls at rest: three rotary knobs at 0, 0.5 and 1, then three
// angle knobs at 0, 90 and 45 degrees, in one padded row on a near-black background. Drawn
// offscreen at two pixels per point, so it needs neither a display nor an event loop.
class KnobSheet {
public:
    static constexpr int knobSize = 120;
    static constexpr int spacing = 36;
    static constexpr int padding = 44;
    static constexpr int knobCount = 6;
    static constexpr qreal scale = 2.0;
    // The padded row, in points.
    static constexpr QSize pointSize{knobCount * knobSize + (knobCount - 1) * spacing + 2 * padding,
                                     knobSize + 2 * padding};

    static QColor background() { return QColor::fromRgbF(0.04f, 0.04f, 0.07f); }

    // The sheet at scale 2: twice pointSize in pixels, with a device pixel ratio of 2.
    static QImage render();

    // Writes render() to `path`. Returns the exit status: 0 when written, 1 with one line on
    // `err` otherwise.
    static int write(const QString& path, QTextStream& err);
};

} // namespace lumora
