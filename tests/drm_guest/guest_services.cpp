// Runs inside the application's test guest on its system bus: a stand-in for systemd that
// starts and stops one unit (a program that holds the panel and draws a known pattern), and a
// stand-in for logind with one session that the step script locks and unlocks.
//
//   lumora_guest_services UNIT COMMAND [ARGS...]
//
// The unit runs COMMAND with stdin from /tmp/keys.in and stdout appended to /tmp/keys.out. It
// is started at once, as at boot. Lines on stdin: "lock", "unlock", "stop" (the unit, as an
// administrator would). Every systemd call and unit change is appended to stdout as one line.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QProcess>
#include <QSocketNotifier>
#include <QTextStream>
#include <cstdio>
#include <unistd.h>

namespace {

const QString sessionPath = QStringLiteral("/org/freedesktop/login1/session/_31");
const QString unitPath = QStringLiteral("/org/freedesktop/systemd1/unit/keys");

void say(const QString& line) {
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

class Services : public QDBusVirtualObject {
public:
    Services(QString unit, QString program, QStringList args)
        : m_bus(QDBusConnection::systemBus()), m_unit(std::move(unit)),
          m_program(std::move(program)), m_args(std::move(args)) {
        m_process.setStandardInputFile(QStringLiteral("/tmp/keys.in"));
        m_process.setStandardOutputFile(QStringLiteral("/tmp/keys.out"), QIODevice::Append);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QObject::connect(&m_process, &QProcess::finished, [this] {
            say(QStringLiteral("unit stopped"));
            if (!m_stopJob.isEmpty()) {
                jobRemoved(std::exchange(m_stopJob, {}));
            }
        });
    }

    bool start() {
        if (!m_bus.isConnected() ||
            !m_bus.registerVirtualObject(QStringLiteral("/org/freedesktop/systemd1"), this,
                                         QDBusConnection::SubPath) ||
            !m_bus.registerVirtualObject(QStringLiteral("/org/freedesktop/login1"), this,
                                         QDBusConnection::SubPath) ||
            !m_bus.registerService(QStringLiteral("org.freedesktop.systemd1")) ||
            !m_bus.registerService(QStringLiteral("org.freedesktop.login1"))) {
            say(QStringLiteral("LUMORA-FAIL services: cannot serve on the bus: ") +
                m_bus.lastError().message());
            return false;
        }
        startUnit();
        return true;
    }

    void command(const QString& line) {
        if (line == u"lock" || line == u"unlock") {
            m_locked = line == u"lock";
            m_bus.send(QDBusMessage::createSignal(
                sessionPath, QStringLiteral("org.freedesktop.login1.Session"),
                m_locked ? QStringLiteral("Lock") : QStringLiteral("Unlock")));
            say(line + QStringLiteral("ed"));
        } else if (line == u"stop") {
            stopUnit();
        }
    }

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& call, const QDBusConnection& connection) override {
        const QString method = call.member();
        const QVariantList args = call.arguments();
        QDBusConnection bus(connection);
        if (method == u"Subscribe") {
            bus.send(call.createReply());
        } else if (method == u"GetUnit") {
            if (args.value(0).toString() != m_unit) {
                bus.send(
                    call.createErrorReply(QStringLiteral("org.freedesktop.systemd1.NoSuchUnit"),
                                          QStringLiteral("not loaded")));
            } else {
                bus.send(call.createReply(QVariant::fromValue(QDBusObjectPath(unitPath))));
            }
        } else if (method == u"Get" && call.path() == unitPath) {
            const QString state = m_process.state() == QProcess::NotRunning
                                      ? QStringLiteral("inactive")
                                      : QStringLiteral("active");
            bus.send(call.createReply(QVariant::fromValue(QDBusVariant(state))));
        } else if (method == u"StopUnit" || method == u"StartUnit") {
            say(method + u' ' + args.value(0).toString());
            const QString job = QStringLiteral("/org/freedesktop/systemd1/job/%1").arg(++m_jobs);
            bus.send(call.createReply(QVariant::fromValue(QDBusObjectPath(job))));
            if (method == u"StopUnit") {
                m_stopJob = job;
                stopUnit();
            } else {
                startUnit();
                jobRemoved(job);
            }
        } else if (method == u"GetSession") {
            bus.send(call.createReply(QVariant::fromValue(QDBusObjectPath(sessionPath))));
        } else if (method == u"GetAll" && call.path() == sessionPath) {
            bus.send(call.createReply(QVariant(QVariantMap{{QStringLiteral("LockedHint"), m_locked},
                                                           {QStringLiteral("IdleHint"), false}})));
        } else if (method == u"GetAll") {
            bus.send(call.createReply(QVariant(QVariantMap{{QStringLiteral("LidClosed"), false},
                                                           {QStringLiteral("Docked"), false}})));
        } else {
            return false;
        }
        return true;
    }

private:
    void startUnit() {
        if (m_process.state() == QProcess::NotRunning) {
            m_process.start(m_program, m_args);
            m_process.waitForStarted();
            say(QStringLiteral("unit started"));
        }
    }

    void stopUnit() {
        if (m_process.state() == QProcess::NotRunning) {
            if (!m_stopJob.isEmpty()) {
                jobRemoved(std::exchange(m_stopJob, {}));
            }
            return;
        }
        m_process.terminate();
    }

    void jobRemoved(const QString& job) {
        QDBusMessage removed = QDBusMessage::createSignal(
            QStringLiteral("/org/freedesktop/systemd1"),
            QStringLiteral("org.freedesktop.systemd1.Manager"), QStringLiteral("JobRemoved"));
        removed << uint(m_jobs) << QVariant::fromValue(QDBusObjectPath(job)) << m_unit
                << QStringLiteral("done");
        m_bus.send(removed);
    }

    QDBusConnection m_bus;
    QString m_unit;
    QString m_program;
    QStringList m_args;
    QProcess m_process;
    QString m_stopJob;
    uint m_jobs = 0;
    bool m_locked = false;
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.size() < 2) {
        say(QStringLiteral("LUMORA-FAIL services: usage: lumora_guest_services UNIT COMMAND..."));
        return 2;
    }
    const QString unit = args.takeFirst();
    const QString program = args.takeFirst();
    Services services(unit, program, args);
    if (!services.start()) {
        return 1;
    }
    say(QStringLiteral("services ready"));
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&services, &input] {
        char line[64];
        const ssize_t n = ::read(STDIN_FILENO, line, sizeof line - 1);
        if (n <= 0) {
            input.setEnabled(false);
            return;
        }
        for (const QByteArray& word : QByteArray(line, n).split('\n')) {
            if (!word.trimmed().isEmpty()) {
                services.command(QString::fromLatin1(word.trimmed()));
            }
        }
    });
    return app.exec();
}
