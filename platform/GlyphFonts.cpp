#include "platform/GlyphFonts.h"

#include <QFontDatabase>
#include <QString>

namespace lumora {

namespace {

// Fixed-pitch families known to carry the half-width katakana, best first.
constexpr const char* kKatakanaFamilies[] = {"Noto Sans Mono CJK JP", "VL Gothic"};

// Unhinted, so the user's fontconfig hinting cannot round the advances and move the glyphs.
QFont semibold(QFont font) {
    font.setWeight(QFont::DemiBold);
    font.setStyle(QFont::StyleNormal);
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

} // namespace

GlyphFonts::GlyphFonts(double pixelSize) : m_pixelSize(pixelSize) {
    addCandidate(semibold(QFontDatabase::systemFont(QFontDatabase::FixedFont)), QFontDatabase::Any);
}

void GlyphFonts::addCandidate(const QFont& font, QFontDatabase::WritingSystem system) {
    QRawFont raw = QRawFont::fromFont(font, system);
    if (!raw.isValid()) {
        return;
    }
    raw.setPixelSize(m_pixelSize);
    m_candidates.push_back(raw);
}

void GlyphFonts::loadFallbacks() {
    m_fallbacksLoaded = true;
    for (const char* family : kKatakanaFamilies) {
        if (QFontDatabase::hasFamily(QString::fromLatin1(family))) {
            addCandidate(semibold(QFont(QString::fromLatin1(family))), QFontDatabase::Any);
        }
    }
    // Whatever fontconfig prefers for Japanese next to the fixed font.
    addCandidate(semibold(QFontDatabase::systemFont(QFontDatabase::FixedFont)),
                 QFontDatabase::Japanese);
}

const QRawFont* GlyphFonts::findFrom(std::size_t first, quint32 ucs4) const {
    for (std::size_t i = first; i < m_candidates.size(); ++i) {
        if (m_candidates[i].supportsCharacter(ucs4)) {
            return &m_candidates[i];
        }
    }
    return nullptr;
}

QRawFont GlyphFonts::fontFor(char32_t c) {
    const auto ucs4 = static_cast<quint32>(c);
    if (const QRawFont* font = findFrom(0, ucs4)) {
        return *font;
    }
    if (!m_fallbacksLoaded) {
        const std::size_t known = m_candidates.size();
        loadFallbacks();
        if (const QRawFont* font = findFrom(known, ucs4)) {
            return *font;
        }
    }
    // Last resort, once: any family that claims Japanese. Opening every family is slow, so
    // stop at the first that has the character.
    if (!m_scanned) {
        m_scanned = true;
        for (const QString& family : QFontDatabase::families(QFontDatabase::Japanese)) {
            const std::size_t known = m_candidates.size();
            addCandidate(semibold(QFont(family)), QFontDatabase::Any);
            if (const QRawFont* font = findFrom(known, ucs4)) {
                return *font;
            }
            m_candidates.resize(known);
        }
    }
    return {};
}

} // namespace lumora
