#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QString>
#include <QUuid>
#include <optional>

namespace lumora {

// A named look: the effect and its six tuning values. Effect and colour stay text so a preset
// that names something unknown still loads and is kept.
struct Preset {
    QUuid id = QUuid::createUuid();
    QString name;
    QString effect;
    double speed = 1.0;
    double brightness = 1.0;
    double width = 0.4;
    QString color;
    double corner = 1.0;
    double angle = 90.0;

    bool operator==(const Preset&) const = default;

    // One element of the stored list. Numbers must be finite: JSON cannot carry the others.
    QJsonObject toJson() const;
    // The fields checked for their JSON types and the id for its canonical form; nothing
    // when any is missing or wrong.
    static std::optional<Preset> fromJson(const QJsonValue& element);

    // Compact JSON array; nothing when a number cannot be carried by JSON (not finite).
    static std::optional<QByteArray> encodeList(const QList<Preset>& presets);
    // All or nothing: any malformed element makes the whole list unreadable.
    static std::optional<QList<Preset>> decodeList(const QByteArray& json);
};

} // namespace lumora
