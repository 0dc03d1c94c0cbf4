#pragma once

#include <QFontDatabase>
#include <QRawFont>
#include <cstddef>
#include <vector>

namespace lumora {

// Finds, for each character of the glyph atlas, a real font that has it: the system fixed-pitch
// font first, then fonts that cover the half-width katakana. A font lacking a character would
// draw its .notdef box, which still has coverage, so coverage alone cannot tell.
class GlyphFonts {
public:
    // Needs a QGuiApplication. All fonts are semibold (or the nearest weight) at pixelSize.
    explicit GlyphFonts(double pixelSize);

    // The first font that has c; an invalid QRawFont when no installed font does.
    QRawFont fontFor(char32_t c);

private:
    void addCandidate(const QFont& font, QFontDatabase::WritingSystem system);
    void loadFallbacks();
    const QRawFont* findFrom(std::size_t first, quint32 ucs4) const;

    double m_pixelSize;
    bool m_fallbacksLoaded = false;
    bool m_scanned = false;
    std::vector<QRawFont> m_candidates;
};

} // namespace lumora
