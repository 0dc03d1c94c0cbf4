#include "Preset.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <array>
#include <cmath>

namespace lumora {
namespace {

const QString kId = QStringLiteral("id");
const QString kName = QStringLiteral("name");
const QString kEffect = QStringLiteral("effect");
const QString kSpeed = QStringLiteral("speed");
const QString kBrightness = QStringLiteral("brightness");
const QString kWidth = QStringLiteral("width");
const QString kColor = QStringLiteral("color");
const QString kCorner = QStringLiteral("corner");
const QString kAngle = QStringLiteral("angle");

bool isHexDigit(QChar c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// Only the canonical 8-4-4-4-12 form: QUuid alone would also take braces or trailing text.
std::optional<QUuid> parseUuid(const QString& text) {
    if (text.size() != 36) {
        return std::nullopt;
    }
    for (qsizetype i = 0; i < text.size(); ++i) {
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash ? text[i] != u'-' : !isHexDigit(text[i])) {
            return std::nullopt;
        }
    }
    return QUuid::fromString(text);
}

std::optional<QString> stringField(const QJsonObject& object, const QString& key) {
    const QJsonValue value = object.value(key);
    if (!value.isString()) {
        return std::nullopt;
    }
    return value.toString();
}

std::optional<double> numberField(const QJsonObject& object, const QString& key) {
    const QJsonValue value = object.value(key);
    if (!value.isDouble()) {
        return std::nullopt;
    }
    return value.toDouble();
}

} // namespace

std::optional<Preset> Preset::fromJson(const QJsonValue& element) {
    if (!element.isObject()) {
        return std::nullopt;
    }
    const QJsonObject object = element.toObject();
    const auto idText = stringField(object, kId);
    const auto id = idText ? parseUuid(*idText) : std::nullopt;
    const auto name = stringField(object, kName);
    const auto effect = stringField(object, kEffect);
    const auto color = stringField(object, kColor);
    const auto speed = numberField(object, kSpeed);
    const auto brightness = numberField(object, kBrightness);
    const auto width = numberField(object, kWidth);
    const auto corner = numberField(object, kCorner);
    const auto angle = numberField(object, kAngle);
    if (!id || !name || !effect || !color || !speed || !brightness || !width || !corner || !angle) {
        return std::nullopt;
    }
    return Preset{*id, *name, *effect, *speed, *brightness, *width, *color, *corner, *angle};
}

QJsonObject Preset::toJson() const {
    // Qt writes doubles as the shortest text that reads back identically, so an exact
    // comparison with the live settings still holds after a restart.
    return QJsonObject{
        {kId, id.toString(QUuid::WithoutBraces).toUpper()},
        {kName, name},
        {kEffect, effect},
        {kSpeed, speed},
        {kBrightness, brightness},
        {kWidth, width},
        {kColor, color},
        {kCorner, corner},
        {kAngle, angle},
    };
}

std::optional<QByteArray> Preset::encodeList(const QList<Preset>& presets) {
    QJsonArray array;
    for (const Preset& preset : presets) {
        const std::array numbers{preset.speed, preset.brightness, preset.width, preset.corner,
                                 preset.angle};
        for (double number : numbers) {
            if (!std::isfinite(number)) {
                return std::nullopt;
            }
        }
        array.append(preset.toJson());
    }
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

std::optional<QList<Preset>> Preset::decodeList(const QByteArray& json) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isArray()) {
        return std::nullopt;
    }
    const QJsonArray array = document.array();
    QList<Preset> presets;
    presets.reserve(array.size());
    for (const QJsonValue& element : array) {
        auto preset = fromJson(element);
        if (!preset) {
            return std::nullopt;
        }
        presets.append(std::move(*preset));
    }
    return presets;
}

} // namespace lumora
