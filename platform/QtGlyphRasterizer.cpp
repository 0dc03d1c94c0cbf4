#include "platform/QtGlyphRasterizer.h"

#include "platform/GlyphFonts.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QString>
#include <QStringList>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace lumora {

namespace {

std::atomic<bool> g_warnedMissing{false};

QString codePoint(char32_t c) {
    return QStringLiteral("U+%1").arg(static_cast<uint>(c), 4, 16, QLatin1Char('0')).toUpper();
}

void warnMissingOnce(const QStringList& missing) {
    if (missing.isEmpty() || g_warnedMissing.exchange(true)) {
        return;
    }
    qWarning("lumora: no installed font has %s; the matrix effect leaves those glyphs blank "
             "(a font with Japanese, such as Noto Sans Mono CJK JP, fills them)",
             qPrintable(missing.join(QLatin1Char(' '))));
}

} // namespace

bool QtGlyphRasterizer::drawGlyphs(std::u32string_view glyphs, int cellW, int cellH,
                                   double pixelSize, std::uint8_t* atlas, int bytesPerRow) {
    // Fonts need the GUI application's platform integration; without it Qt aborts.
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr) {
        return false;
    }
    const std::int64_t width = static_cast<std::int64_t>(cellW) * std::ssize(glyphs);
    if (atlas == nullptr || cellW <= 0 || cellH <= 0 || width > bytesPerRow ||
        !std::isfinite(pixelSize) || pixelSize <= 0.0) {
        return false;
    }
    if (glyphs.empty()) {
        return true;
    }

    // Drawn in plain pixels at device pixel ratio 1, so screen scaling never changes the atlas.
    QImage image(static_cast<int>(width), cellH, QImage::Format_Grayscale8);
    if (image.isNull()) {
        return false;
    }
    image.fill(0);

    GlyphFonts fonts(pixelSize);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);

    QStringList missing;
    int drawn = 0;
    for (std::size_t i = 0; i < glyphs.size(); ++i) {
        const char32_t c = glyphs[i];
        const QRawFont font = fonts.fontFor(c);
        if (!font.isValid()) {
            missing << codePoint(c);
            continue;
        }
        const QList<quint32> index = font.glyphIndexesForString(QString::fromUcs4(&c, 1));
        if (index.size() != 1) {
            missing << codePoint(c);
            continue;
        }
        // Centre the glyph's advance and the font's whole line box in the cell. The outline is
        // filled rather than drawn as hinted text: it keeps the fractional size and position,
        // and ignores the user's hinting and antialiasing settings.
        const double advance = font.advancesForGlyphIndexes(index).value(0).x();
        const double lineHeight = font.ascent() + font.descent() + font.leading();
        const double x = (cellW - advance) * 0.5 + static_cast<double>(i) * cellW;
        const double baseline = (cellH - lineHeight) * 0.5 + font.ascent();
        painter.drawPath(font.pathForGlyph(index[0]).translated(x, baseline));
        ++drawn;
    }
    painter.end();
    warnMissingOnce(missing);
    if (drawn == 0) {
        return false;
    }

    for (int row = 0; row < cellH; ++row) {
        std::memcpy(atlas + static_cast<std::ptrdiff_t>(row) * bytesPerRow,
                    image.constScanLine(row), static_cast<std::size_t>(width));
    }
    return true;
}

} // namespace lumora
