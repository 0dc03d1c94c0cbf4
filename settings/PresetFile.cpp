#include "PresetFile.h"

#include "Limits.h"
#include "engine/Effect.h"
#include "engine/RGB.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>

namespace lumora::presetFile {
namespace {

const QString kFormat = QStringLiteral("format");
const QString kVersion = QStringLiteral("version");
const QString kPresets = QStringLiteral("presets");

bool isSixHexDigits(const QString& text) {
    if (text.size() != 6) {
        return false;
    }
    for (QChar c : text) {
        if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F'))) {
            return false;
        }
    }
    return true;
}

std::optional<Preset> importable(const QJsonValue& element) {
    if (!element.isObject()) {
        return std::nullopt;
    }
    // A file written by hand may leave the id out; it is replaced anyway.
    QJsonObject object = element.toObject();
    object.insert(QStringLiteral("id"), QUuid::createUuid().toString(QUuid::WithoutBraces));
    std::optional<Preset> preset = Preset::fromJson(object);
    if (!preset) {
        return std::nullopt;
    }
    preset->name = preset->name.trimmed();
    const bool finite = std::isfinite(preset->speed) && std::isfinite(preset->brightness) &&
                        std::isfinite(preset->width) && std::isfinite(preset->corner) &&
                        std::isfinite(preset->angle);
    if (preset->name.isEmpty() || preset->name.size() > limits::maxNameLength || !finite ||
        !effectFromRawValue(preset->effect.toStdString()) || !isSixHexDigits(preset->color)) {
        return std::nullopt;
    }
    preset->color = preset->color.toUpper();
    return preset;
}

} // namespace

QByteArray encode(const QList<Preset>& presets) {
    QJsonArray array;
    for (const Preset& preset : presets) {
        array.append(preset.toJson());
    }
    const QJsonObject document{
        {kFormat, QLatin1String(format)},
        {kVersion, version},
        {kPresets, array},
    };
    return QJsonDocument(document).toJson(QJsonDocument::Indented);
}

Contents decode(const QByteArray& json) {
    Contents contents;
    if (json.size() > limits::maxJsonBytes) {
        contents.problem = QStringLiteral("the file is larger than 1 MiB");
        return contents;
    }
    if (json.trimmed().isEmpty()) {
        contents.problem = QStringLiteral("the file is empty");
        return contents;
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    const QJsonObject object = document.object();
    if (error.error != QJsonParseError::NoError || !document.isObject() ||
        object.value(kFormat).toString() != QLatin1String(format) ||
        !object.value(kPresets).isArray()) {
        contents.problem = QStringLiteral("not a preset file");
        return contents;
    }
    const QJsonValue fileVersion = object.value(kVersion);
    if (fileVersion != QJsonValue(version)) {
        contents.problem = fileVersion.isDouble()
                               ? QStringLiteral("preset file version %1 is not supported")
                                     .arg(fileVersion.toDouble())
                               : QStringLiteral("not a preset file");
        return contents;
    }
    const QJsonArray entries = object.value(kPresets).toArray();
    for (const QJsonValue& entry : entries) {
        if (std::optional<Preset> preset = importable(entry)) {
            contents.presets.append(std::move(*preset));
        } else {
            ++contents.skipped;
        }
    }
    if (contents.presets.isEmpty()) {
        contents.problem = QStringLiteral("no valid preset in the file");
    }
    return contents;
}

QString importSummary(qsizetype imported, qsizetype invalid, qsizetype leftOut,
                      const QString& problem) {
    const QString full = QStringLiteral("Lumora keeps at most %1 presets").arg(limits::maxPresets);
    if (!problem.isEmpty()) {
        return QStringLiteral("Nothing imported: %1.").arg(problem);
    }
    if (imported == 0) {
        return QStringLiteral("Nothing imported: %1.").arg(full);
    }
    QString text = imported == 1 ? QStringLiteral("Imported 1 preset.")
                                 : QStringLiteral("Imported %1 presets.").arg(imported);
    if (invalid > 0) {
        text += invalid == 1 ? QStringLiteral(" Skipped 1 invalid entry.")
                             : QStringLiteral(" Skipped %1 invalid entries.").arg(invalid);
    }
    if (leftOut > 0) {
        text += QStringLiteral(" Left out %1: %2.").arg(leftOut).arg(full);
    }
    return text;
}

QString uniqueName(const QString& name, const QSet<QString>& taken) {
    if (!taken.contains(name.toCaseFolded())) {
        return name;
    }
    for (qsizetype n = 2;; ++n) {
        const QString suffix = QStringLiteral(" (%1)").arg(n);
        const QString candidate = name.left(limits::maxNameLength - suffix.size()) + suffix;
        if (!taken.contains(candidate.toCaseFolded())) {
            return candidate;
        }
    }
}

std::optional<Preset> find(const QList<Preset>& presets, const QString& nameOrId) {
    const QUuid id = QUuid::fromString(nameOrId.trimmed());
    if (!id.isNull()) {
        for (const Preset& preset : presets) {
            if (preset.id == id) {
                return preset;
            }
        }
    }
    const QString name = nameOrId.trimmed();
    for (const Preset& preset : presets) {
        if (preset.name.compare(name, Qt::CaseInsensitive) == 0) {
            return preset;
        }
    }
    return std::nullopt;
}

} // namespace lumora::presetFile
