#include "Settings.h"

#include <QCoreApplication>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

namespace lumora {
namespace {

const QString kEnabled = QStringLiteral("enabled");
const QString kEffect = QStringLiteral("effect");
const QString kSpeed = QStringLiteral("speed");
const QString kBrightness = QStringLiteral("brightness");
const QString kWidth = QStringLiteral("width");
const QString kColor = QStringLiteral("color");
const QString kShowClose = QStringLiteral("showClose");
const QString kCornerFraction = QStringLiteral("cornerFraction");
const QString kAngle = QStringLiteral("angle");
const QString kPresets = QStringLiteral("presets");
const QString kPresetsBackup = QStringLiteral("presetsBackup");

void warn(const QString& line) {
    std::fprintf(stderr, "lumora: %s\n", line.toLocal8Bit().constData());
}

// INI keeps no types: a value read back from disk is text, one written in this process keeps
// its type.
std::optional<QString> textOf(const QVariant& value) {
    switch (value.metaType().id()) {
    case QMetaType::QString: return value.toString();
    case QMetaType::QByteArray: return QString::fromUtf8(value.toByteArray());
    default: return std::nullopt;
    }
}

bool readBool(const QVariant& value, bool fallback) {
    if (value.metaType().id() == QMetaType::Bool) {
        return value.toBool();
    }
    const auto text = textOf(value);
    if (text == u"true") {
        return true;
    }
    if (text == u"false") {
        return false;
    }
    return fallback;
}

// Only finite numbers: a NaN or infinity would later make the preset list unencodable.
double readDouble(const QVariant& value, double fallback) {
    bool ok = false;
    double number = 0.0;
    switch (value.metaType().id()) {
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong: number = value.toDouble(&ok); break;
    default:
        if (const auto text = textOf(value)) {
            number = text->toDouble(&ok);
        }
        break;
    }
    return ok && std::isfinite(number) ? number : fallback;
}

QString effectText(Effect effect) {
    const std::string_view raw = rawValue(effect);
    return QString::fromUtf8(raw.data(), static_cast<qsizetype>(raw.size()));
}

QString hexText(RGB color) {
    return QString::fromStdString(color.hex());
}

std::optional<Effect> effectFromText(const QString& text) {
    return effectFromRawValue(text.toStdString());
}

std::optional<RGB> colorFromText(const QString& text) {
    return RGB::fromHex(text.toStdString());
}

} // namespace

Settings::Settings(const QString& filePath, QObject* parent)
    : QObject(parent), m_store(std::make_unique<QSettings>(filePath, QSettings::IniFormat)) {
    load();
}

Settings::~Settings() {
    sync();
}

Settings& Settings::shared() {
    // Never torn down; the post routine flushes it when the application object goes away.
    static Settings* const instance = [] {
        auto* settings = new Settings(defaultFilePath());
        qAddPostRoutine([] { Settings::shared().sync(); });
        return settings;
    }();
    return *instance;
}

QString Settings::defaultFilePath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/lumora/lumora.conf");
}

QString Settings::filePath() const {
    return m_store->fileName();
}

void Settings::load() {
    loadPresets();
    m_enabled = readBool(m_store->value(kEnabled), true);
    m_showClose = readBool(m_store->value(kShowClose), true);
    const auto effectName = textOf(m_store->value(kEffect));
    m_effect = effectName ? effectFromText(*effectName).value_or(Effect::rainbowWave)
                          : Effect::rainbowWave;
    m_speed = readDouble(m_store->value(kSpeed), 1.0);
    m_brightness = readDouble(m_store->value(kBrightness), 1.0);
    m_width = readDouble(m_store->value(kWidth), 0.4);
    m_cornerFraction = readDouble(m_store->value(kCornerFraction), 1.0);
    m_angle = readDouble(m_store->value(kAngle), 90.0);
    const auto colorName = textOf(m_store->value(kColor));
    m_color = (colorName ? colorFromText(*colorName) : std::nullopt)
                  .value_or(RGB{68.0 / 255.0, 214.0 / 255.0, 44.0 / 255.0});

    // QSettings reads the file on first access, so its status is known only now.
    switch (m_store->status()) {
    case QSettings::FormatError: keepUnreadableFile(); break;
    case QSettings::AccessError:
        warn(QStringLiteral("cannot read %1; starting from the default settings").arg(filePath()));
        break;
    case QSettings::NoError: break;
    }
}

void Settings::loadPresets() {
    const QVariant stored = m_store->value(kPresets);
    if (!stored.isValid()) {
        return;
    }
    const auto text = textOf(stored);
    if (text && text->trimmed().isEmpty()) {
        return;
    }
    if (text) {
        if (auto presets = Preset::decodeList(text->toUtf8())) {
            m_presets = std::move(*presets);
            return;
        }
    }
    m_unreadablePresets = stored;
    warn(QStringLiteral("the presets stored in %1 cannot be read; they will be kept under "
                        "\"%2\" when presets are next saved")
             .arg(filePath(), backupKeyFor(stored)));
}

// QSettings drops the lines it cannot parse when it next writes the file, so keep the file as
// the user left it.
void Settings::keepUnreadableFile() {
    const QString path = filePath();
    QFile original(path);
    if (!original.open(QIODevice::ReadOnly)) {
        warn(QStringLiteral("%1 has lines that cannot be read").arg(path));
        return;
    }
    const QByteArray content = original.readAll();
    for (int n = 1;; ++n) {
        const QString copyPath =
            path + QStringLiteral(".bak") + (n == 1 ? QString() : QString::number(n));
        QFile copy(copyPath);
        if (copy.exists()) {
            // A copy made at an earlier start is reused; any other file is left alone.
            if (!copy.open(QIODevice::ReadOnly) || copy.readAll() != content) {
                continue;
            }
        } else if (!copy.open(QIODevice::WriteOnly) || copy.write(content) != content.size() ||
                   !copy.flush()) {
            warn(QStringLiteral("%1 has lines that cannot be read, and no copy of it could be "
                                "made at %2")
                     .arg(path, copyPath));
            return;
        }
        warn(QStringLiteral("%1 has lines that cannot be read; the file as it was is kept in %2")
                 .arg(path, copyPath));
        return;
    }
}

QString Settings::backupKeyFor(const QVariant& value) const {
    for (int n = 1;; ++n) {
        const QString key = n == 1 ? kPresetsBackup : kPresetsBackup + QString::number(n);
        const QVariant held = m_store->value(key);
        if (!held.isValid() || held == value) {
            return key;
        }
    }
}

void Settings::write(const QString& key, const QVariant& value) {
    m_store->setValue(key, value);
}

void Settings::writePresets() {
    const auto json = Preset::encodeList(m_presets);
    if (!json) {
        // Removing the key here would throw away every preset already on disk.
        warn(QStringLiteral("presets not saved to %1: a preset holds a number that is not "
                            "finite")
                 .arg(filePath()));
        return;
    }
    if (m_unreadablePresets) {
        const QString key = backupKeyFor(*m_unreadablePresets);
        if (!m_store->contains(key)) {
            write(key, *m_unreadablePresets);
        }
        m_unreadablePresets.reset();
    }
    write(kPresets, QString::fromUtf8(*json));
}

// Every assignment runs the same sequence: announce, deliver the new value (observers act on
// it, not on the property), store, write. Equal values go through it too.
template <class T>
void Settings::assign(T& field, const T& value, void (Settings::*changed)(T), const QString& key,
                      const QVariant& stored) {
    emit willChange();
    emit(this->*changed)(value);
    field = value;
    write(key, stored);
}

void Settings::setEnabled(bool value) {
    assign(m_enabled, value, &Settings::enabledChanged, kEnabled, value);
}
void Settings::setEffect(Effect value) {
    assign(m_effect, value, &Settings::effectChanged, kEffect, effectText(value));
}
void Settings::setSpeed(double value) {
    assign(m_speed, value, &Settings::speedChanged, kSpeed, value);
}
void Settings::setBrightness(double value) {
    assign(m_brightness, value, &Settings::brightnessChanged, kBrightness, value);
}
void Settings::setWidth(double value) {
    assign(m_width, value, &Settings::widthChanged, kWidth, value);
}
void Settings::setColor(RGB value) {
    assign(m_color, value, &Settings::colorChanged, kColor, hexText(value));
}
void Settings::setShowClose(bool value) {
    assign(m_showClose, value, &Settings::showCloseChanged, kShowClose, value);
}
void Settings::setCornerFraction(double value) {
    assign(m_cornerFraction, value, &Settings::cornerFractionChanged, kCornerFraction, value);
}
void Settings::setAngle(double value) {
    assign(m_angle, value, &Settings::angleChanged, kAngle, value);
}

void Settings::setPresets(const QList<Preset>& value) {
    // A copy, in case `value` is our own list and an observer assigns another one.
    const QList<Preset> presets = value;
    emit willChange();
    emit presetsChanged(presets);
    m_presets = presets;
    writePresets();
}

void Settings::setColorPreview(std::optional<RGB> color) {
    m_colorPreview = color;
}

Params Settings::params() const {
    return Params{effectiveEffect(), effectiveBrightness(), effectiveWidth(), effectiveColor(),
                  effectiveAngle()};
}

void Settings::savePreset(const QString& name) {
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty()) {
        return;
    }
    Preset preset;
    preset.name = trimmed;
    preset.effect = effectText(m_effect);
    preset.speed = m_speed;
    preset.brightness = m_brightness;
    preset.width = m_width;
    preset.color = hexText(m_color);
    preset.corner = m_cornerFraction;
    preset.angle = m_angle;

    QList<Preset> presets = m_presets;
    const auto same = std::find_if(presets.begin(), presets.end(), [&](const Preset& p) {
        return p.name.compare(trimmed, Qt::CaseInsensitive) == 0;
    });
    if (same != presets.end()) {
        preset.id = same->id;
        *same = preset;
    } else {
        presets.append(preset);
    }
    setPresets(presets);
}

void Settings::apply(const Preset& preset) {
    // Copied first: `preset` may live in our own list, which observers could replace.
    const Preset look = preset;
    setEffect(effectFromText(look.effect).value_or(m_effect));
    setSpeed(look.speed);
    setBrightness(look.brightness);
    setWidth(look.width);
    setColor(colorFromText(look.color).value_or(m_color));
    setCornerFraction(look.corner);
    setAngle(look.angle);
}

void Settings::deletePreset(const Preset& preset) {
    const QUuid id = preset.id;
    QList<Preset> presets = m_presets;
    presets.removeIf([&](const Preset& p) { return p.id == id; });
    setPresets(presets);
}

std::optional<Preset> Settings::activePreset() const {
    const QString effect = effectText(m_effect);
    const QString color = hexText(m_color);
    for (const Preset& p : m_presets) {
        if (p.effect == effect && p.speed == m_speed && p.brightness == m_brightness &&
            p.width == m_width && p.color == color && p.corner == m_cornerFraction &&
            p.angle == m_angle) {
            return p;
        }
    }
    return std::nullopt;
}

void Settings::sync() {
    m_store->sync();
    if (m_store->status() == QSettings::AccessError && !m_reportedWriteError) {
        m_reportedWriteError = true;
        warn(QStringLiteral("cannot write the settings to %1").arg(filePath()));
    }
}

} // namespace lumora
