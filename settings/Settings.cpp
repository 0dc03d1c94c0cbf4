#include "Settings.h"

#include "Limits.h"
#include "PresetFile.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QScopedValueRollback>
#include <QSet>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryFile>
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
const QString kFunctionKeysService = QStringLiteral("functionKeysService");
const QString kDimWhenIdle = QStringLiteral("dimWhenIdle");
const QString kIdleBrightness = QStringLiteral("idleBrightness");
const QString kBatteryFps = QStringLiteral("batteryFps");

// No write on the GUI thread waits longer than this for a lock.
constexpr int kLockWaitMs = 1000;
// No number is written this long; parsing megabytes of digits would stall every start.
constexpr qsizetype kLongestNumber = 64;

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
        if (const auto text = textOf(value); text && text->size() <= kLongestNumber) {
            number = text->toDouble(&ok);
        }
        break;
    }
    return ok && std::isfinite(number) ? number : fallback;
}

double readBetween(const QVariant& value, double low, double high, double fallback) {
    const double number = readDouble(value, fallback);
    return number >= low && number <= high ? number : fallback;
}

// Present but empty is a choice: no service is touched.
QString readServiceName(const QVariant& value) {
    return textOf(value).value_or(QStringLiteral("tiny-dfr.service")).trimmed();
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

int msLeft(const QDeadlineTimer& deadline) {
    return static_cast<int>(std::max<qint64>(deadline.remainingTime(), 0));
}

const Preset* findPreset(const QList<Preset>& list, const QUuid& id) {
    const auto it =
        std::find_if(list.begin(), list.end(), [&](const Preset& p) { return p.id == id; });
    return it == list.end() ? nullptr : &*it;
}

// This store's change (from `base` to `ours`) applied to the list another writer left in the
// file (`theirs`): their additions, renames and deletions stay, ours go on top.
QList<Preset> mergePresets(const QList<Preset>& base, const QList<Preset>& ours,
                           const QList<Preset>& theirs) {
    QList<Preset> merged = theirs;
    for (const Preset& p : base) {
        if (!findPreset(ours, p.id)) {
            merged.removeIf([&](const Preset& q) { return q.id == p.id; });
        }
    }
    for (const Preset& p : ours) {
        const Preset* before = findPreset(base, p.id);
        if (before && *before == p) {
            continue; // not touched here
        }
        const auto sameId = std::find_if(merged.begin(), merged.end(),
                                         [&](const Preset& q) { return q.id == p.id; });
        if (sameId != merged.end()) {
            *sameId = p;
            continue;
        }
        if (!before) {
            // Saving under a name replaces the preset of that name, wherever it was saved.
            const auto sameName = std::find_if(merged.begin(), merged.end(), [&](const Preset& q) {
                return q.name.compare(p.name, Qt::CaseInsensitive) == 0;
            });
            if (sameName != merged.end()) {
                const QUuid id = sameName->id;
                *sameName = p;
                sameName->id = id;
                continue;
            }
        }
        // New here, or changed here after another writer deleted it: the change wins.
        merged.append(p);
    }
    return merged;
}

} // namespace

Settings::Settings(const QString& filePath, QObject* parent)
    : QObject(parent), m_stamp(stampOf(filePath)),
      m_store(std::make_unique<QSettings>(filePath, QSettings::IniFormat)) {
    // QSettings writes on its own from the event loop, waiting up to 30 s for the lock; writes
    // go through flush() instead.
    m_store->installEventFilter(this);
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

struct Settings::FileValues {
    bool enabled;
    bool showClose;
    Effect effect;
    double speed;
    double brightness;
    double width;
    double cornerFraction;
    double angle;
    RGB color;
    QString functionKeysService;
    bool dimWhenIdle;
    double idleBrightness;
    double batteryFps;
};

Settings::FileValues Settings::readValues() const {
    const auto effectName = textOf(m_store->value(kEffect));
    const auto colorName = textOf(m_store->value(kColor));
    return {
        .enabled = readBool(m_store->value(kEnabled), true),
        .showClose = readBool(m_store->value(kShowClose), true),
        .effect = effectName ? effectFromText(*effectName).value_or(Effect::rainbowWave)
                             : Effect::rainbowWave,
        .speed = readDouble(m_store->value(kSpeed), 1.0),
        .brightness = readDouble(m_store->value(kBrightness), 1.0),
        .width = readDouble(m_store->value(kWidth), 0.4),
        .cornerFraction = readDouble(m_store->value(kCornerFraction), 1.0),
        .angle = readDouble(m_store->value(kAngle), 90.0),
        .color = (colorName ? colorFromText(*colorName) : std::nullopt)
                     .value_or(RGB{68.0 / 255.0, 214.0 / 255.0, 44.0 / 255.0}),
        .functionKeysService = readServiceName(m_store->value(kFunctionKeysService)),
        .dimWhenIdle = readBool(m_store->value(kDimWhenIdle), true),
        .idleBrightness = readBetween(m_store->value(kIdleBrightness), 0.0, 1.0, 0.3),
        .batteryFps = readBetween(m_store->value(kBatteryFps), 1.0, 60.0, 30.0),
    };
}

void Settings::load() {
    loadPresets();
    const FileValues v = readValues();
    m_enabled = v.enabled;
    m_showClose = v.showClose;
    m_effect = v.effect;
    m_speed = v.speed;
    m_brightness = v.brightness;
    m_width = v.width;
    m_cornerFraction = v.cornerFraction;
    m_angle = v.angle;
    m_functionKeysService = v.functionKeysService;
    m_dimWhenIdle = v.dimWhenIdle;
    m_idleBrightness = v.idleBrightness;
    m_batteryFps = v.batteryFps;
    m_color = v.color;

    // QSettings reads the file on first access, so its status is known only now.
    switch (m_store->status()) {
    case QSettings::FormatError:
        keepFileAsItWas(QStringLiteral("has lines that cannot be read"));
        break;
    case QSettings::AccessError:
        warn(QStringLiteral("cannot read %1; starting from the default settings").arg(filePath()));
        break;
    case QSettings::NoError: {
        // QSettings would write such bytes back as U+FFFD.
        QFile file(filePath());
        if (file.open(QIODevice::ReadOnly) && !QByteArrayView(file.readAll()).isValidUtf8()) {
            keepFileAsItWas(QStringLiteral("is not valid UTF-8"));
        }
        break;
    }
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
            m_presetsOnDisk = m_presets;
            m_presetsTextOnDisk = *text;
            return;
        }
    }
    m_unreadablePresets = stored;
    warn(QStringLiteral("the presets stored in %1 cannot be read; they will be kept under "
                        "\"%2\" when presets are next saved")
             .arg(filePath(), backupKeyFor(stored)));
}

// QSettings drops the lines it cannot parse, and turns bytes that are not UTF-8 into U+FFFD,
// when it next writes the file, so keep the file as the user left it.
void Settings::keepFileAsItWas(const QString& problem) {
    const QString path = filePath();
    QFile original(path);
    if (!original.open(QIODevice::ReadOnly)) {
        warn(QStringLiteral("%1 %2").arg(path, problem));
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
            warn(QStringLiteral("%1 %2, and no copy of it could be made at %3")
                     .arg(path, problem, copyPath));
            return;
        }
        warn(
            QStringLiteral("%1 %2; the file as it was is kept in %3").arg(path, problem, copyPath));
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
    if (m_takingFromFile) {
        return;
    }
    m_store->setValue(key, value);
    m_unwritten = true;
    queueFlush();
}

// Writes made in one pass of the event loop reach the file together.
void Settings::queueFlush() {
    if (m_flushQueued) {
        return;
    }
    m_flushQueued = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_flushQueued = false;
            sync();
        },
        Qt::QueuedConnection);
}

bool Settings::eventFilter(QObject* watched, QEvent* event) {
    return (watched == m_store.get() && event->type() == QEvent::UpdateRequest) ||
           QObject::eventFilter(watched, event);
}

Settings::FileStamp Settings::stampOf(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists()) {
        return {};
    }
    return {info.size(), info.lastModified()};
}

Settings::FileStamp Settings::fileStamp() const {
    return stampOf(filePath());
}

// QSettings waits for the file's lock until it counts as stale, 30 s for one left empty, so it
// is only asked to write once the lock is known to be free.
bool Settings::fileLockFree(const QDeadlineTimer& deadline) {
    QLockFile lock(filePath() + QStringLiteral(".lock"));
    if (lock.tryLock(msLeft(deadline))) {
        lock.unlock();
    } else if (lock.error() == QLockFile::LockFailedError) {
        if (!m_reportedLockBusy) {
            m_reportedLockBusy = true;
            warn(QStringLiteral("settings not written to %1: %2 is held; trying again at the "
                                "next change")
                     .arg(filePath(), lock.fileName()));
        }
        return false;
    }
    // Otherwise no folder yet, or no permission: QSettings creates the one and reports the other.
    m_reportedLockBusy = false;
    return true;
}

bool Settings::syncStore() {
    const FileStamp before = fileStamp();
    m_store->sync();
    // Our own write makes the next look read the file again, which QSettings then skips.
    m_stamp = before;
    if (m_store->status() == QSettings::AccessError) {
        if (!m_reportedWriteError) {
            m_reportedWriteError = true;
            warn(QStringLiteral("cannot write the settings to %1").arg(filePath()));
        }
        return false;
    }
    m_unwritten = false;
    return true;
}

bool Settings::flush(const QDeadlineTimer& deadline) {
    // Only reading the file again takes no lock.
    if (m_unwritten && !fileLockFree(deadline)) {
        return false;
    }
    return syncStore();
}

void Settings::writePresets() {
    if (m_takingFromFile) {
        return;
    }
    m_presetsPending = true;
    storePresets();
}

// Two processes that both save presets must not lose each other's: the file's list is read
// again and merged under a lock of our own, held across reading and writing.
bool Settings::storePresets() {
    const QDeadlineTimer deadline(kLockWaitMs);
    QLockFile presetsLock(filePath() + QStringLiteral(".presets.lock"));
    if (!presetsLock.tryLock(msLeft(deadline)) &&
        presetsLock.error() == QLockFile::LockFailedError) {
        if (!m_reportedLockBusy) {
            m_reportedLockBusy = true;
            warn(QStringLiteral("presets not written to %1: %2 is held; trying again at the "
                                "next change")
                     .arg(filePath(), presetsLock.fileName()));
        }
        return false;
    }
    return takeInPresets(deadline) && writePresetsLocked(deadline);
}

bool Settings::writePresetsLocked(const QDeadlineTimer& deadline) {
    const auto json = Preset::encodeList(m_presets);
    if (!json) {
        // Removing the key here would throw away every preset already on disk.
        warn(QStringLiteral("presets not saved to %1: a preset holds a number that is not "
                            "finite")
                 .arg(filePath()));
        m_presetsPending = false;
        return false;
    }
    // Not left pending in QSettings: a later write would then put it over another
    // process's presets unmerged.
    if (!fileLockFree(deadline)) {
        return false;
    }
    if (m_unreadablePresets) {
        const QString key = backupKeyFor(*m_unreadablePresets);
        if (!m_store->contains(key)) {
            m_store->setValue(key, *m_unreadablePresets);
            m_unwritten = true;
        }
        m_unreadablePresets.reset();
    }
    const QString text = QString::fromUtf8(*json);
    m_store->setValue(kPresets, text);
    m_unwritten = true;
    if (!syncStore()) {
        return false;
    }
    m_presetsOnDisk = m_presets;
    m_presetsTextOnDisk = text;
    m_presetsPending = false;
    return true;
}

// Under the presets lock: merges the presets the file holds now.
bool Settings::takeInPresets(const QDeadlineTimer& deadline) {
    // Brings the store up to date for the other settings (and writes what is pending).
    if (fileStamp() != m_stamp && !flush(deadline)) {
        return false;
    }
    const QVariant stored = presetsInFile().value_or(m_store->value(kPresets));
    const QString text = textOf(stored).value_or(QString());
    if (text == m_presetsTextOnDisk) {
        return true;
    }
    QList<Preset> theirs;
    if (!text.trimmed().isEmpty()) {
        if (auto decoded = Preset::decodeList(text.toUtf8())) {
            theirs = std::move(*decoded);
        } else {
            // Kept aside like an unreadable list at start; ours is all that can be written.
            const bool known = m_unreadablePresets && *m_unreadablePresets == stored;
            m_unreadablePresets = stored;
            if (!known) {
                warn(QStringLiteral("the presets stored in %1 cannot be read; they are kept under "
                                    "\"%2\"")
                         .arg(filePath(), backupKeyFor(stored)));
            }
            theirs = m_presetsOnDisk;
        }
    }
    const QList<Preset> merged = mergePresets(m_presetsOnDisk, m_presets, theirs);
    m_presetsOnDisk = theirs;
    m_presetsTextOnDisk = text;
    if (merged != m_presets) {
        emit willChange();
        emit presetsChanged(merged);
        m_presets = merged;
    }
    return true;
}

// QSettings can hold on to a copy of the file that another process has since replaced, so
// the presets to merge with are read from a copy of the file as it is now. Nothing else
// writes the presets while their lock is held.
std::optional<QVariant> Settings::presetsInFile() const {
    QFile file(filePath());
    if (!file.exists()) {
        return QVariant();
    }
    QTemporaryFile copy;
    if (!file.open(QIODevice::ReadOnly) || !copy.open() || copy.write(file.readAll()) < 0 ||
        !copy.flush()) {
        return std::nullopt;
    }
    return QSettings(copy.fileName(), QSettings::IniFormat).value(kPresets);
}

bool Settings::reloadPresets() {
    const QDeadlineTimer deadline(kLockWaitMs);
    QLockFile presetsLock(filePath() + QStringLiteral(".presets.lock"));
    if (!presetsLock.tryLock(msLeft(deadline)) &&
        presetsLock.error() == QLockFile::LockFailedError) {
        return false;
    }
    return takeInPresets(deadline) && (!m_presetsPending || writePresetsLocked(deadline));
}

bool Settings::removeOwnerlessLock() {
    const QString path = filePath() + QStringLiteral(".lock");
    QFile lock(path);
    if (!lock.open(QIODevice::ReadOnly)) {
        return false;
    }
    // The first line names the owner's process; QLockFile itself sees when that one is gone.
    bool ok = false;
    const qint64 pid = lock.readLine(32).trimmed().toLongLong(&ok);
    if (ok && pid > 0) {
        return false;
    }
    lock.close();
    if (!QFile::remove(path)) {
        return false;
    }
    warn(QStringLiteral("removed %1, a lock left without an owner").arg(path));
    return true;
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

void Settings::setFunctionKeysService(QString value) {
    assign(m_functionKeysService, value, &Settings::functionKeysServiceChanged,
           kFunctionKeysService, value);
}
void Settings::setDimWhenIdle(bool value) {
    assign(m_dimWhenIdle, value, &Settings::dimWhenIdleChanged, kDimWhenIdle, value);
}
void Settings::setIdleBrightness(double value) {
    assign(m_idleBrightness, value, &Settings::idleBrightnessChanged, kIdleBrightness, value);
}
void Settings::setBatteryFps(double value) {
    assign(m_batteryFps, value, &Settings::batteryFpsChanged, kBatteryFps, value);
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

std::optional<QUuid> Settings::savePreset(const QString& name) {
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty() || trimmed.size() > limits::maxNameLength) {
        return std::nullopt;
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
    } else if (presets.size() >= limits::maxPresets) {
        return std::nullopt;
    } else {
        presets.append(preset);
    }
    setPresets(presets);
    return preset.id;
}

QStringList Settings::importPresets(const QList<Preset>& incoming) {
    QList<Preset> presets = m_presets;
    QSet<QString> taken;
    for (const Preset& p : std::as_const(presets)) {
        taken.insert(p.name.toCaseFolded());
    }
    QStringList names;
    for (const Preset& p : incoming) {
        if (presets.size() >= limits::maxPresets) {
            break;
        }
        Preset added = p;
        added.id = QUuid::createUuid();
        added.name = presetFile::uniqueName(p.name.trimmed(), taken);
        taken.insert(added.name.toCaseFolded());
        names << added.name;
        presets.append(added);
    }
    if (!names.isEmpty()) {
        setPresets(presets);
    }
    return names;
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

bool Settings::reloadFromFile() {
    // Unchanged since we last read it.
    if (fileStamp() == m_stamp) {
        return false;
    }
    const QScopedValueRollback quiet(m_takingFromFile, true);
    // The presets first: their merge reads the file again only while it looks changed.
    const QList<Preset> presetsBefore = m_presets;
    if (!reloadPresets() && !flush(QDeadlineTimer(kLockWaitMs))) {
        return false; // locked out; the next event of the file tries again
    }
    bool changed = m_presets != presetsBefore;
    const auto take = [&](bool differs, auto set, auto value) {
        if (differs) {
            (this->*set)(value);
            changed = true;
        }
    };
    const FileValues v = readValues();
    take(v.enabled != m_enabled, &Settings::setEnabled, v.enabled);
    take(v.effect != m_effect, &Settings::setEffect, v.effect);
    take(v.speed != m_speed, &Settings::setSpeed, v.speed);
    take(v.brightness != m_brightness, &Settings::setBrightness, v.brightness);
    take(v.width != m_width, &Settings::setWidth, v.width);
    take(v.cornerFraction != m_cornerFraction, &Settings::setCornerFraction, v.cornerFraction);
    take(v.angle != m_angle, &Settings::setAngle, v.angle);
    // The file holds whole bytes; a colour picked finer than that is not a change.
    take(hexText(v.color) != hexText(m_color), &Settings::setColor, v.color);
    take(v.showClose != m_showClose, &Settings::setShowClose, v.showClose);
    take(v.functionKeysService != m_functionKeysService, &Settings::setFunctionKeysService,
         v.functionKeysService);
    take(v.dimWhenIdle != m_dimWhenIdle, &Settings::setDimWhenIdle, v.dimWhenIdle);
    take(v.idleBrightness != m_idleBrightness, &Settings::setIdleBrightness, v.idleBrightness);
    take(v.batteryFps != m_batteryFps, &Settings::setBatteryFps, v.batteryFps);
    return changed;
}

void Settings::sync() {
    if (m_presetsPending) {
        storePresets();
    } else {
        flush(QDeadlineTimer(kLockWaitMs));
    }
}

} // namespace lumora
