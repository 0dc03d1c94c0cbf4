#pragma once

#include "Preset.h"

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QString>
#include <optional>

namespace lumora {

// A file for sharing looks: {"format": "lumora-presets", "version": 1, "presets": [...]},
// whose entries are the stored preset fields.
namespace presetFile {

inline constexpr const char* format = "lumora-presets";
inline constexpr int version = 1;

// Indented, for people to read and edit.
QByteArray encode(const QList<Preset>& presets);

struct Contents {
    QList<Preset> presets; // the valid entries, names trimmed, in file order
    qsizetype skipped = 0; // entries that are not valid presets
    QString problem;       // why nothing can be imported; empty when `presets` is not
};

// Checks every entry as the store's loading does, and a little more since the file comes from
// elsewhere: a name of 1 to 200 characters, a known effect, six hex digits of colour. Ids are
// not needed: imports take fresh ones. Never more than 1 MiB is parsed.
Contents decode(const QByteArray& json);

// "Imported 3 presets.", "Nothing imported: not a preset file." and the like. `leftOut`
// counts valid presets that did not fit in the store.
QString importSummary(qsizetype imported, qsizetype invalid, qsizetype leftOut,
                      const QString& problem);

// A name clash keeps both: "Calm" becomes "Calm (2)", then "Calm (3)"..., whatever the case.
// `taken` holds the case-folded names in use; the result stays within 200 characters.
QString uniqueName(const QString& name, const QSet<QString>& taken);

// The preset whose id (any case, braces or not) or name (any case, trimmed) is `nameOrId`.
std::optional<Preset> find(const QList<Preset>& presets, const QString& nameOrId);

} // namespace presetFile
} // namespace lumora
