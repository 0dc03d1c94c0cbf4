#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>
#include <functional>
#include <optional>

class QDBusMessage;
class QDBusObjectPath;
class QDBusPendingCallWatcher;

namespace lumora {

// Whatever draws the function keys on the Touch Bar while Lumora does not.
class FunctionKeys {
public:
    virtual ~FunctionKeys() = default;
    // Frees the panel for Lumora. `ready` runs once, when the panel may be taken: also when
    // the keys could not be stopped (after one line saying why). A givePanelBack() before
    // then cancels it.
    virtual void takePanel(std::function<void()> ready) = 0;
    // Lumora has let go of the panel: the keys come back if Lumora stopped them.
    virtual void givePanelBack() = 0;
    // The same when the process is about to end: waits (briefly) until the start is accepted.
    virtual void givePanelBackNow() = 0;
};

// The function-key service as a systemd unit on the system bus: stopped before Lumora takes
// the panel, started again after it lets go, and only if Lumora was the one that stopped it.
// A note under the runtime directory, written before stopping and removed once the start is
// accepted, lets a later start (or the user unit's ExecStopPost=) give the keys back after a
// crash.
class FunctionKeyService : public QObject, public FunctionKeys {
    Q_OBJECT
public:
    // How long to wait for the stop job before taking the panel anyway.
    static constexpr int stopTimeoutMs = 3000;
    static constexpr int quitTimeoutMs = 2000;
    static constexpr const char* noteName = "function-keys-stopped";

    // `unit` names the unit at each take; empty means none is touched. `noteDirectory` is
    // normally $XDG_RUNTIME_DIR/lumora.
    FunctionKeyService(std::function<QString()> unit, const QString& noteDirectory,
                       const QDBusConnection& systemBus, QObject* parent = nullptr);
    ~FunctionKeyService() override;

    static QString defaultNoteDirectory();

    // At start: a note left by an earlier run that died holding the keys. Unless Lumora
    // presents on the Touch Bar at once, the noted unit is started now.
    void recover(bool presentingAtOnce);

    void takePanel(std::function<void()> ready) override;
    void givePanelBack() override;
    void givePanelBackNow() override;

    // The unit Lumora stopped and has not started again; empty when none.
    QString stoppedUnit() const { return m_stopped; }
    // Receives each problem as one line. Writes to stderr unless replaced.
    std::function<void(const QString&)> report;

private slots:
    void onJobRemoved(uint id, const QDBusObjectPath& job, const QString& unit,
                      const QString& result);

private:
    enum class State { free, checking, stopping, held };

    void watchJobs();
    void checkActive(const QString& unit);
    void stop(const QString& unit);
    void finishTaking();
    void startStopped();
    QDBusMessage managerCall(const QString& method) const;
    QString notePath() const;
    bool writeNote(const QString& unit);
    void removeNote();

    std::function<QString()> m_unit;
    QString m_noteDirectory;
    QDBusConnection m_bus;
    State m_state = State::free;
    bool m_wanted = false;
    std::function<void()> m_ready;
    QString m_stopped;
    QString m_job;            // the stop job being waited for
    QSet<QString> m_doneJobs; // jobs that ended before their call returned
    QTimer m_jobTimeout;
    QDBusPendingCallWatcher* m_starting = nullptr;
    // Our start job until systemd says it is done (or a while has passed).
    std::optional<QString> m_startJob;
    QTimer m_startTimeout;
    bool m_watchingJobs = false;
};

} // namespace lumora
