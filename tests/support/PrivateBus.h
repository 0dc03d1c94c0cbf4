#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QTest>
#include <gtest/gtest.h>

namespace lumora {

// A private message bus for one test, started by the test and killed after it.
class PrivateBus {
public:
    // Empty when dbus-daemon is missing or did not start; `why` says which.
    QString start(QString* why) {
        const QString daemon = QStandardPaths::findExecutable("dbus-daemon");
        if (daemon.isEmpty()) {
            *why = "dbus-daemon is not installed (scripts/setup.sh installs it)";
            return {};
        }
        m_daemon.start(daemon, {"--session", "--print-address", "--nofork"});
        if (!m_daemon.waitForStarted(5000)) {
            *why = "dbus-daemon did not start";
            return {};
        }
        QByteArray address;
        while (!address.contains('\n') && m_daemon.waitForReadyRead(5000)) {
            address += m_daemon.readAllStandardOutput();
        }
        m_address = QString::fromUtf8(address.trimmed());
        if (m_address.isEmpty()) {
            *why = "dbus-daemon gave no address: " + m_daemon.readAllStandardError();
        }
        return m_address;
    }

    ~PrivateBus() {
        for (const QString& name : m_names) {
            QDBusConnection::disconnectFromBus(name);
        }
        if (m_daemon.state() != QProcess::NotRunning) {
            m_daemon.kill();
            m_daemon.waitForFinished(5000);
        }
    }

    // A new connection of its own each call, also for a role asked for before.
    QDBusConnection connect(const QString& role) {
        m_names << QStringLiteral("private-bus-%1-%2").arg(role).arg(m_names.size());
        return QDBusConnection::connectToBus(m_address, m_names.last());
    }

    QString address() const { return m_address; }

private:
    QProcess m_daemon;
    QString m_address;
    QStringList m_names;
};

// Calls and waits while the event loop turns, so a service in this very process can answer.
inline QDBusMessage callAndWait(QDBusConnection& bus, const QDBusMessage& message) {
    QDBusPendingCall pending = bus.asyncCall(message, 5000);
    QDBusPendingCallWatcher watcher(pending);
    (void)QTest::qWaitFor([&] { return watcher.isFinished(); }, 6000);
    return pending.reply();
}

} // namespace lumora
