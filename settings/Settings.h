#pragma once

#include "Preset.h"
#include "engine/Params.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUuid>
#include <QVariant>
#include <memory>
#include <optional>
#include <utility>

class QDeadlineTimer;
class QSettings;

namespace lumora {

// The one observable store of the user's look, the display switches and the presets. Values
// load once, and every assignment is announced (willChange, then <property>Changed with the
// new value, before it is stored) and written at once, even when the value is unchanged.
class Settings : public QObject {
    Q_OBJECT
public:
    // A store backed by the INI file at `filePath`.
    explicit Settings(const QString& filePath, QObject* parent = nullptr);
    ~Settings() override;

    // The process-wide store at defaultFilePath(), created on first use.
    static Settings& shared();
    // $XDG_CONFIG_HOME/lumora/lumora.conf (normally ~/.config/lumora/lumora.conf).
    static QString defaultFilePath();

    QString filePath() const;

    bool enabled() const { return m_enabled; }
    Effect effect() const { return m_effect; }
    double speed() const { return m_speed; }
    double brightness() const { return m_brightness; }
    double width() const { return m_width; }
    RGB color() const { return m_color; }
    bool showClose() const { return m_showClose; }
    double cornerFraction() const { return m_cornerFraction; }
    double angle() const { return m_angle; }
    QList<Preset> presets() const { return m_presets; }
    // The system unit that draws the function keys on the Touch Bar; empty: none is touched.
    QString functionKeysService() const { return m_functionKeysService; }
    bool dimWhenIdle() const { return m_dimWhenIdle; }
    // What the brightness is multiplied by while the session is idle; 0 turns the bar off.
    double idleBrightness() const { return m_idleBrightness; }
    // Frames a second while on battery (60 on mains).
    double batteryFps() const { return m_batteryFps; }

    void setEnabled(bool value);
    void setEffect(Effect value);
    void setSpeed(double value);
    void setBrightness(double value);
    void setWidth(double value);
    void setColor(RGB value);
    void setShowClose(bool value);
    void setCornerFraction(double value);
    void setAngle(double value);
    void setPresets(const QList<Preset>& value);
    void setFunctionKeysService(QString value);
    void setDimWhenIdle(bool value);
    void setIdleBrightness(double value);
    void setBatteryFps(double value);

    // What the display shows.
    Effect effectiveEffect() const { return m_effect; }
    double effectiveSpeed() const { return m_speed; }
    double effectiveBrightness() const { return m_brightness; }
    double effectiveWidth() const { return m_width; }
    RGB effectiveColor() const { return m_colorPreview.value_or(m_color); }
    double effectiveCorner() const { return m_cornerFraction; }
    double effectiveAngle() const { return m_angle; }
    Params params() const;

    // A colour shown on the bar and the previews while it is being picked; never stored, and
    // no change of `color`. nullopt shows the stored colour again.
    void setColorPreview(std::optional<RGB> color);
    std::optional<RGB> colorPreview() const { return m_colorPreview; }

    // The id of the preset saved: a name already used, in any case, is re-saved in place.
    // Nothing for a blank name, one over 200 characters, or a new one when the store is full.
    std::optional<QUuid> savePreset(const QString& name);
    // Adds `presets` under fresh ids, renaming on a clash ("Calm (2)"), as many as fit in the
    // store; returns the names they were added under.
    QStringList importPresets(const QList<Preset>& presets);
    void apply(const Preset& preset);
    void deletePreset(const Preset& preset);
    std::optional<Preset> activePreset() const;

    // Flushes pending writes to the file. Like every write, it waits at most a second for the
    // file's lock; a write that cannot get it is reported and made again at the next change.
    void sync();

    // Takes in what another process or a hand edit did to the presets in the file since this
    // store last read or wrote them (additions, renames, deletions), with this store's own
    // unwritten change on top, and announces the list when it changed. False when the file
    // could not be locked in time.
    bool reloadPresets();

    // Removes the file's lock when it names no owner: a process killed between creating and
    // filling it leaves one that would hold every write back for half a minute. Only for the
    // one running Lumora, as another could be filling it right now. True when one was removed.
    bool removeOwnerlessLock();

    // Takes in what another program wrote to the file since this store last read or wrote it:
    // the presets as reloadPresets() merges them, and each value that now reads differently
    // assigned as if set (announced, observers follow) but not written back; one that cannot
    // be read takes its default, as at start. True when anything changed.
    bool reloadFromFile();

signals:
    void willChange();
    void enabledChanged(bool value);
    void effectChanged(lumora::Effect value);
    void speedChanged(double value);
    void brightnessChanged(double value);
    void widthChanged(double value);
    void colorChanged(lumora::RGB value);
    void showCloseChanged(bool value);
    void cornerFractionChanged(double value);
    void angleChanged(double value);
    void presetsChanged(const QList<lumora::Preset>& value);
    void functionKeysServiceChanged(QString value);
    void dimWhenIdleChanged(bool value);
    void idleBrightnessChanged(double value);
    void batteryFpsChanged(double value);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct FileStamp {
        qint64 size = -1;
        QDateTime modified;
        bool operator==(const FileStamp&) const = default;
    };

    void load();
    void loadPresets();
    // Every value but the presets as the file has it, each missing or unreadable one at its
    // default: what a start takes and what a reload compares with.
    struct FileValues;
    FileValues readValues() const;
    void write(const QString& key, const QVariant& value);
    template <class T>
    void assign(T& field, const T& value, void (Settings::*changed)(T), const QString& key,
                const QVariant& stored);
    void writePresets();
    bool storePresets();
    bool writePresetsLocked(const QDeadlineTimer& deadline);
    bool fileLockFree(const QDeadlineTimer& deadline);
    bool syncStore();
    bool takeInPresets(const QDeadlineTimer& deadline);
    std::optional<QVariant> presetsInFile() const;
    void queueFlush();
    bool flush(const QDeadlineTimer& deadline);
    static FileStamp stampOf(const QString& path);
    FileStamp fileStamp() const;
    void keepFileAsItWas(const QString& problem);
    // The first backup key that is free or already holds `value`, so no backup is overwritten.
    QString backupKeyFor(const QVariant& value) const;

    // The file as it was just before QSettings last read or wrote it (so declared before the
    // store, which reads it at once). Taken after, it could name a newer file than the one
    // read, and that file's change would be missed.
    FileStamp m_stamp;
    std::unique_ptr<QSettings> m_store;
    // Preset data that could not be read at load, kept aside before the list is first replaced.
    std::optional<QVariant> m_unreadablePresets;
    bool m_reportedWriteError = false;
    bool m_reportedLockBusy = false;
    bool m_flushQueued = false;
    // Values set in QSettings and not yet in the file.
    bool m_unwritten = false;
    // A change of the presets not yet in the file (its lock was held too long).
    bool m_presetsPending = false;
    // The presets as this store last read them from or wrote them to the file: what another
    // writer changed since is told apart from this store's own change.
    QList<Preset> m_presetsOnDisk;
    QString m_presetsTextOnDisk;
    // Values taken from the file are not written back to it.
    bool m_takingFromFile = false;
    bool m_enabled = true;
    Effect m_effect = Effect::rainbowWave;
    double m_speed = 1.0;
    double m_brightness = 1.0;
    double m_width = 0.4;
    RGB m_color{68.0 / 255.0, 214.0 / 255.0, 44.0 / 255.0};
    std::optional<RGB> m_colorPreview;
    bool m_showClose = true;
    double m_cornerFraction = 1.0;
    double m_angle = 90.0;
    QList<Preset> m_presets;
    QString m_functionKeysService = QStringLiteral("tiny-dfr.service");
    bool m_dimWhenIdle = true;
    double m_idleBrightness = 0.3;
    double m_batteryFps = 30.0;
};

// Delivers the current value at once, then every assignment, like a change stream.
// Usage: observe(settings, &Settings::enabledChanged, &Settings::enabled, context, fn).
// Without a context the subscription lasts as long as the store.
template <class Value, class Getter, class Fn>
QMetaObject::Connection observe(Settings& settings, void (Settings::*signal)(Value), Getter getter,
                                const QObject* context, Fn&& fn) {
    fn((settings.*getter)());
    return QObject::connect(&settings, signal, context ? context : &settings, std::forward<Fn>(fn));
}

} // namespace lumora
