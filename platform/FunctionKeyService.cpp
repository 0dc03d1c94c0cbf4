#include "platform/FunctionKeyService.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>
#include <cstdio>

namespace lumora {

namespace {

const QString systemdService = QStringLiteral("org.freedesktop.systemd1");
const QString systemdPath = QStringLiteral("/org/freedesktop/systemd1");
const QString managerInterface = QStringLiteral("org.freedesktop.systemd1.Manager");

bool isRunning(const QString& activeState) {
    return activeState == u"active" || activeState == u"activating" || activeState == u"reloading";
}

} // namespace

FunctionKeyService::FunctionKeyService(std::function<QString()> unit, const QString& noteDirectory,
                                       const QDBusConnection& systemBus, QObject* parent)
    : QObject(parent), m_unit(std::move(unit)), m_noteDirectory(noteDirectory), m_bus(systemBus) {
    report = [](const QString& line) {
        std::fprintf(stderr, "lumora: %s\n", line.toLocal8Bit().constData());
    };
    m_startTimeout.setSingleShot(true);
    m_startTimeout.setInterval(stopTimeoutMs);
    connect(&m_startTimeout, &QTimer::timeout, this, [this] { m_startJob.reset(); });
    m_jobTimeout.setSingleShot(true);
    m_jobTimeout.setInterval(stopTimeoutMs);
    connect(&m_jobTimeout, &QTimer::timeout, this, [this] {
        if (m_state == State::stopping) {
            m_job.clear();
            finishTaking();
        }
    });
}

FunctionKeyService::~FunctionKeyService() {
    if (m_watchingJobs) {
        m_bus.disconnect(systemdService, systemdPath, managerInterface,
                         QStringLiteral("JobRemoved"), this,
                         SLOT(onJobRemoved(uint, QDBusObjectPath, QString, QString)));
    }
}

QString FunctionKeyService::defaultNoteDirectory() {
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return runtime.isEmpty() ? QString() : runtime + QStringLiteral("/lumora");
}

QDBusMessage FunctionKeyService::managerCall(const QString& method) const {
    return QDBusMessage::createMethodCall(systemdService, systemdPath, managerInterface, method);
}

QString FunctionKeyService::notePath() const {
    return m_noteDirectory.isEmpty() ? QString() : m_noteDirectory + u'/' + QLatin1String(noteName);
}

bool FunctionKeyService::writeNote(const QString& unit) {
    const QString path = notePath();
    if (path.isEmpty() || !QDir().mkpath(m_noteDirectory)) {
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    file.write(unit.toUtf8() + '\n');
    return file.commit();
}

void FunctionKeyService::removeNote() {
    if (const QString path = notePath(); !path.isEmpty()) {
        QFile::remove(path);
    }
}

void FunctionKeyService::recover(bool presentingAtOnce) {
    QFile note(notePath());
    if (notePath().isEmpty() || !note.open(QIODevice::ReadOnly)) {
        return;
    }
    const QString unit = QString::fromUtf8(note.read(4096)).trimmed();
    note.close();
    if (unit.isEmpty()) {
        removeNote();
        return;
    }
    // Ours to give back, now or when the bar next leaves the panel.
    m_stopped = unit;
    if (!presentingAtOnce) {
        startStopped();
    }
}

void FunctionKeyService::takePanel(std::function<void()> ready) {
    m_wanted = true;
    m_ready = std::move(ready);
    if (m_state == State::held) {
        finishTaking();
        return;
    }
    if (m_state != State::free) {
        return; // on its way; `ready` runs when it gets there
    }
    QString unit = m_unit ? m_unit() : QString();
    if (!unit.isEmpty() && !unit.contains(u'.')) {
        unit += QStringLiteral(".service"); // as systemctl reads a bare name
    }
    if (unit.isEmpty() || !m_bus.isConnected()) {
        finishTaking();
        return;
    }
    watchJobs();
    checkActive(unit);
}

void FunctionKeyService::watchJobs() {
    if (m_watchingJobs) {
        return;
    }
    // Only systemd itself may say a job is done.
    m_watchingJobs =
        m_bus.connect(systemdService, systemdPath, managerInterface, QStringLiteral("JobRemoved"),
                      this, SLOT(onJobRemoved(uint, QDBusObjectPath, QString, QString)));
    // Job signals go to subscribers (and the job's creator); a refusal changes nothing.
    m_bus.asyncCall(managerCall(QStringLiteral("Subscribe")));
}

void FunctionKeyService::checkActive(const QString& unit) {
    if (m_starting || m_startJob) {
        // Our own start is still on its way and the unit may not show it yet: it is running
        // as far as the panel goes. Stopping replaces the start job.
        stop(unit);
        return;
    }
    m_state = State::checking;
    QDBusMessage getUnit = managerCall(QStringLiteral("GetUnit"));
    getUnit << unit;
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(getUnit), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, unit](auto* call) {
        call->deleteLater();
        QDBusPendingReply<QDBusObjectPath> path = *call;
        if (path.isError()) {
            // Not loaded (or no systemd): nothing holds the panel through it.
            finishTaking();
            return;
        }
        QDBusMessage get = QDBusMessage::createMethodCall(
            systemdService, path.value().path(), QStringLiteral("org.freedesktop.DBus.Properties"),
            QStringLiteral("Get"));
        get << QStringLiteral("org.freedesktop.systemd1.Unit") << QStringLiteral("ActiveState");
        auto* state = new QDBusPendingCallWatcher(m_bus.asyncCall(get), this);
        connect(state, &QDBusPendingCallWatcher::finished, this, [this, unit](auto* done) {
            done->deleteLater();
            QDBusPendingReply<QDBusVariant> value = *done;
            if (!value.isError() && isRunning(value.value().variant().toString())) {
                stop(unit);
            } else {
                finishTaking();
            }
        });
    });
}

void FunctionKeyService::stop(const QString& unit) {
    m_state = State::stopping;
    // Noted before stopping: a crash from here on must still give the keys back.
    const bool noted = writeNote(unit);
    QDBusMessage call = managerCall(QStringLiteral("StopUnit"));
    call << unit << QStringLiteral("replace");
    m_doneJobs.clear();
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, unit, noted](auto* done) {
        done->deleteLater();
        QDBusPendingReply<QDBusObjectPath> job = *done;
        if (job.isError()) {
            if (noted) {
                removeNote();
            }
            report(QStringLiteral("cannot stop %1 to take the Touch Bar (%2); install "
                                  "50-lumora-function-keys.rules into /etc/polkit-1/rules.d "
                                  "and join the touchbar group")
                       .arg(unit, job.error().message()));
            finishTaking();
            return;
        }
        m_stopped = unit;
        m_job = job.value().path();
        if (m_doneJobs.contains(m_job)) {
            m_job.clear();
            finishTaking();
        } else {
            m_jobTimeout.start();
        }
    });
}

void FunctionKeyService::onJobRemoved(uint, const QDBusObjectPath& path, const QString&,
                                      const QString&) {
    const QString job = path.path();
    if (m_startJob && *m_startJob == job) {
        m_startJob.reset();
    }
    if (m_state != State::stopping) {
        return;
    }
    if (m_job.isEmpty()) {
        // The job may end before the reply naming it is read.
        m_doneJobs.insert(job);
        return;
    }
    if (job == m_job) {
        m_jobTimeout.stop();
        m_job.clear();
        finishTaking();
    }
}

void FunctionKeyService::finishTaking() {
    m_state = State::held;
    if (!m_wanted) {
        // Let go while it was being taken.
        m_state = State::free;
        startStopped();
        return;
    }
    if (auto ready = std::exchange(m_ready, {})) {
        ready();
    }
}

void FunctionKeyService::givePanelBack() {
    m_wanted = false;
    m_ready = {};
    if (m_state == State::held) {
        m_state = State::free;
        startStopped();
    }
}

void FunctionKeyService::startStopped() {
    if (m_stopped.isEmpty() || !m_bus.isConnected()) {
        return;
    }
    const QString unit = std::exchange(m_stopped, {});
    watchJobs();
    QDBusMessage call = managerCall(QStringLiteral("StartUnit"));
    call << unit << QStringLiteral("replace");
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    m_starting = watcher;
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, unit](auto* done) {
        done->deleteLater();
        if (m_starting == done) {
            m_starting = nullptr;
        }
        if (done->isError()) {
            // The note stays, so the next start tries again.
            report(QStringLiteral("cannot start %1 again (%2); run: systemctl start %1")
                       .arg(unit, done->error().message()));
            return;
        }
        // systemd carries the job out whatever happens to us now.
        removeNote();
        m_startJob = QDBusPendingReply<QDBusObjectPath>(*done).value().path();
        m_startTimeout.start();
    });
}

void FunctionKeyService::givePanelBackNow() {
    givePanelBack();
    if (m_state == State::stopping && !m_stopped.isEmpty()) {
        // Quitting while the stop job runs: start it again behind it.
        m_state = State::free;
        startStopped();
    }
    if (!m_starting) {
        return;
    }
    QEventLoop wait;
    connect(m_starting, &QDBusPendingCallWatcher::finished, &wait, &QEventLoop::quit,
            Qt::QueuedConnection);
    QTimer::singleShot(quitTimeoutMs, &wait, &QEventLoop::quit);
    wait.exec(QEventLoop::ExcludeUserInputEvents);
}

} // namespace lumora
