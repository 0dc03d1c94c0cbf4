// The bar's daily duties against stand-ins for systemd, logind and UPower on a private bus:
// handing the panel to and from the function keys, going dark when nobody looks, dimming when
// idle, ticking slower on battery.
#include "app/AppDelegate.h"
#include "platform/FunctionKeyService.h"
#include "platform/PowerMonitor.h"
#include "platform/SessionMonitor.h"
#include "support/FakeOutput.h"
#include "support/PrivateBus.h"
#include "support/TextFiles.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>

// Logs read as lines in failures.
inline void PrintTo(const QStringList& list, std::ostream* out) {
    *out << '[' << list.join(QStringLiteral(", ")).toStdString() << ']';
}

using namespace lumora;

namespace {

const QString unitName = "tiny-dfr.service";

// What happened, in order, across the output and the fake services.
using Log = QStringList;

// A service on a connection of its own, answering method calls by name in handleMessage();
// replies are sent on the connection the call came in on.
class FakeService : public QDBusVirtualObject {
public:
    FakeService(QDBusConnection bus, const QString& service, const QString& path) : m_bus(bus) {
        m_bus.registerVirtualObject(path, this, QDBusConnection::SubPath);
        EXPECT_TRUE(m_bus.registerService(service));
    }
    QString introspect(const QString&) const override { return {}; }

protected:
    QDBusConnection m_bus;
};

void reply(const QDBusConnection& connection, const QDBusMessage& call,
           const QVariantList& values = {}) {
    QDBusConnection(connection).send(call.createReply(values));
}

void propertiesChanged(QDBusConnection& from, const QString& path, const QString& interface,
                       const QVariantMap& values) {
    QDBusMessage message =
        QDBusMessage::createSignal(path, "org.freedesktop.DBus.Properties", "PropertiesChanged");
    message << interface << values << QStringList();
    from.send(message);
}

// systemd's manager as far as the handoff uses it. Jobs finish `jobMs` after they are queued.
class FakeSystemd : public FakeService {
public:
    FakeSystemd(QDBusConnection bus, Log& log)
        : FakeService(bus, "org.freedesktop.systemd1", "/org/freedesktop/systemd1"), m_log(log) {}

    QHash<QString, QString> states; // unit -> ActiveState; absent: not loaded
    bool refuseStop = false;
    int jobMs = 100;

private:
    static QString pathOf(const QString& unit) {
        return "/org/freedesktop/systemd1/unit/" +
               QString(unit).replace("-", "_2d").replace(".", "_2e");
    }

    bool handleMessage(const QDBusMessage& call, const QDBusConnection& connection) override {
        const QString method = call.member();
        const QVariantList args = call.arguments();
        if (method == "Subscribe") {
            reply(connection, call);
        } else if (method == "GetUnit") {
            const QString unit = args.value(0).toString();
            if (!states.contains(unit)) {
                QDBusConnection(connection)
                    .send(call.createErrorReply("org.freedesktop.systemd1.NoSuchUnit",
                                                "Unit " + unit + " not loaded."));
            } else {
                reply(connection, call, {QVariant::fromValue(QDBusObjectPath(pathOf(unit)))});
            }
        } else if (method == "Get") {
            for (auto it = states.cbegin(); it != states.cend(); ++it) {
                if (pathOf(it.key()) == call.path()) {
                    reply(connection, call, {QVariant::fromValue(QDBusVariant(it.value()))});
                    return true;
                }
            }
            return false;
        } else if (method == "StopUnit" || method == "StartUnit") {
            const QString unit = args.value(0).toString();
            m_log << method + " " + unit;
            if (method == "StopUnit" && refuseStop) {
                QDBusConnection(connection)
                    .send(call.createErrorReply("org.freedesktop.DBus.Error.AccessDenied",
                                                "Access denied"));
                return true;
            }
            const QString job = "/org/freedesktop/systemd1/job/" + QString::number(++m_jobs);
            reply(connection, call, {QVariant::fromValue(QDBusObjectPath(job))});
            const uint id = m_jobs;
            QTimer::singleShot(jobMs, &m_context, [this, method, unit, job, id] {
                states[unit] = method == "StopUnit" ? "inactive" : "active";
                m_log << "job done";
                QDBusMessage removed = QDBusMessage::createSignal(
                    "/org/freedesktop/systemd1", "org.freedesktop.systemd1.Manager", "JobRemoved");
                removed << id << QVariant::fromValue(QDBusObjectPath(job)) << unit
                        << QString("done");
                m_bus.send(removed);
            });
        } else {
            return false;
        }
        return true;
    }

    Log& m_log;
    QObject m_context; // jobs still running end with the fake
    uint m_jobs = 0;
};

// logind: the manager (lid) and one session (locked, idle).
class FakeLogind : public FakeService {
public:
    static constexpr const char* sessionPath = "/org/freedesktop/login1/session/_31";

    explicit FakeLogind(QDBusConnection bus)
        : FakeService(bus, "org.freedesktop.login1", "/org/freedesktop/login1") {}

    void setSession(const QString& name, bool value) {
        session[name] = value;
        propertiesChanged(m_bus, sessionPath, "org.freedesktop.login1.Session", {{name, value}});
    }
    void setManager(const QString& name, bool value) {
        manager[name] = value;
        propertiesChanged(m_bus, "/org/freedesktop/login1", "org.freedesktop.login1.Manager",
                          {{name, value}});
    }
    void sessionSignal(const QString& name, QDBusConnection* from = nullptr) {
        (from ? *from : m_bus)
            .send(QDBusMessage::createSignal(sessionPath, "org.freedesktop.login1.Session", name));
    }

    QVariantMap session{{"LockedHint", false}, {"IdleHint", false}};
    QVariantMap manager{{"LidClosed", false}, {"Docked", false}};

private:
    bool handleMessage(const QDBusMessage& call, const QDBusConnection& connection) override {
        if (call.member() == "GetSession" && call.arguments().value(0) == "auto") {
            reply(connection, call, {QVariant::fromValue(QDBusObjectPath(sessionPath))});
        } else if (call.member() == "GetAll" && call.path() == sessionPath) {
            reply(connection, call, {session});
        } else if (call.member() == "GetAll" && call.path() == "/org/freedesktop/login1") {
            reply(connection, call, {manager});
        } else {
            return false;
        }
        return true;
    }
};

class FakeUPower : public FakeService {
public:
    explicit FakeUPower(QDBusConnection bus)
        : FakeService(bus, "org.freedesktop.UPower", "/org/freedesktop/UPower") {}
    bool handleMessage(const QDBusMessage& call, const QDBusConnection& connection) override {
        if (call.member() != "Get") {
            return false;
        }
        reply(connection, call, {QVariant::fromValue(QDBusVariant(onBattery))});
        return true;
    }
    void set(bool value) {
        onBattery = value;
        propertiesChanged(m_bus, "/org/freedesktop/UPower", "org.freedesktop.UPower",
                          {{"OnBattery", value}});
    }
    bool onBattery = false;
};

bool waitFor(const std::function<bool()>& done, int ms = 3000) {
    return QTest::qWaitFor(done, ms);
}

class TouchBarDutyTest : public ::testing::Test {
protected:
    void SetUp() override {
        QString why;
        if (m_bus.start(&why).isEmpty()) {
            GTEST_SKIP() << why.toStdString();
        }
        QSettings(m_dir.filePath("lumora.conf"), QSettings::IniFormat)
            .setValue("didShowSettings", true);
        settings = std::make_unique<Settings>(m_dir.filePath("lumora.conf"));
        systemd = std::make_unique<FakeSystemd>(bus("systemd"), log);
        logind = std::make_unique<FakeLogind>(bus("logind"));
        upower = std::make_unique<FakeUPower>(bus("upower"));
    }

    QDBusConnection bus(const QString& role) { return m_bus.connect(role); }

    // Lumora on the Touch Bar with the function keys, as main() wires it. The lighting is on
    // unless the settings say otherwise.
    void startLumora(bool withKeys = true) {
        QDBusConnection system = bus("lumora");
        keys = std::make_unique<FunctionKeyService>(
            [this] { return settings->functionKeysService(); }, m_dir.filePath("run"), system);
        keys->report = [this](const QString& line) { reports << line; };
        session = std::make_unique<SessionMonitor>(system, system);
        power = std::make_unique<PowerMonitor>(system);
        delegate = std::make_unique<AppDelegate>(std::make_unique<FakeOutput>(std::nullopt, &log),
                                                 *settings, loginItem);
        if (withKeys) {
            keys->recover(settings->enabled());
            delegate->useFunctionKeys(*keys);
        }
        delegate->watchSession(*session);
        delegate->watchPower(*power);
        delegate->launch(true, AppDelegate::LaunchMode::snapshot);
    }
    // Started and on the panel, with the session found so that its signals are heard.
    void startLit(bool withKeys = true) {
        startLumora(withKeys);
        ASSERT_TRUE(waitFor([&] { return presented(); }));
        ASSERT_TRUE(waitFor([&] { return !session->sessionPath().isEmpty(); }));
    }

    QString notePath() const { return m_dir.filePath("run/function-keys-stopped"); }
    // As a run that crashed while holding the panel leaves it.
    void writeNote(const QByteArray& text) {
        QDir().mkpath(m_dir.filePath("run"));
        writeText(notePath(), text);
    }
    bool presented() const { return delegate->bar().isPresented(); }

    PrivateBus m_bus;
    QTemporaryDir m_dir;
    LoginItem loginItem{m_dir.filePath("autostart"), "/bin/true"};
    std::unique_ptr<Settings> settings;
    Log log;
    QStringList reports;
    std::unique_ptr<FakeSystemd> systemd;
    std::unique_ptr<FakeLogind> logind;
    std::unique_ptr<FakeUPower> upower;
    std::unique_ptr<FunctionKeyService> keys;
    std::unique_ptr<SessionMonitor> session;
    std::unique_ptr<PowerMonitor> power;
    std::unique_ptr<AppDelegate> delegate;
};

} // namespace

TEST_F(TouchBarDutyTest, TakesThePanelFromTheKeysAndGivesItBackInThatOrder) {
    systemd->states[unitName] = "active";
    startLumora();

    // Not before the stop job is done.
    ASSERT_TRUE(waitFor([&] { return log.contains("StopUnit " + unitName); }));
    EXPECT_FALSE(presented());
    EXPECT_TRUE(QFile::exists(notePath()));
    ASSERT_TRUE(waitFor([&] { return presented(); }));
    EXPECT_EQ(log, Log({"StopUnit " + unitName, "job done", "take panel"}));

    // The close button: off the panel first, then the keys start again.
    log.clear();
    delegate->bar().closeButton().click();
    EXPECT_FALSE(settings->enabled());
    ASSERT_TRUE(waitFor([&] { return log.contains("job done"); }));
    EXPECT_EQ(log, Log({"release panel", "StartUnit " + unitName, "job done"}));
    EXPECT_FALSE(QFile::exists(notePath()));

    // On again, then quitting: the keys are started before quit() returns.
    settings->setEnabled(true);
    ASSERT_TRUE(waitFor([&] { return presented(); }));
    log.clear();
    delegate->prepareToQuit();
    EXPECT_EQ(log, Log({"release panel", "StartUnit " + unitName}));
    EXPECT_TRUE(reports.isEmpty()) << reports.join('\n').toStdString();
}

TEST_F(TouchBarDutyTest, KeysStillStartingAreStoppedAgainBeforeThePanelIsTaken) {
    systemd->states[unitName] = "active";
    settings->setFunctionKeysService("tiny-dfr"); // a bare name, as systemctl takes it
    ASSERT_NO_FATAL_FAILURE(startLit());
    log.clear();

    // Off and on again before the keys' start job has run: the unit still reads inactive.
    settings->setEnabled(false);
    ASSERT_TRUE(waitFor([&] { return log.contains("StartUnit " + unitName); }));
    settings->setEnabled(true);
    ASSERT_TRUE(waitFor([&] { return presented(); }));
    EXPECT_EQ(log, Log({"release panel", "StartUnit " + unitName, "StopUnit " + unitName,
                        "job done", "job done", "take panel"}));
    log.clear();
    settings->setEnabled(false);
    ASSERT_TRUE(waitFor([&] { return log.contains("job done"); }));
    EXPECT_EQ(log, Log({"release panel", "StartUnit " + unitName, "job done"}));
}

TEST_F(TouchBarDutyTest, KeysLumoraDidNotStopAreNeverStartedAndAnEmptySettingTouchesNothing) {
    systemd->states[unitName] = "inactive"; // the user stopped it
    startLumora();
    // On and off again: the panel is taken and given back, and nothing asked of systemd.
    const auto onAndOff = [&] {
        ASSERT_TRUE(waitFor([&] { return presented(); }));
        settings->setEnabled(false);
        QTest::qWait(300);
        EXPECT_EQ(log, Log({"take panel", "release panel"}));
        log.clear();
    };
    onAndOff();
    systemd->states.clear(); // not loaded at all
    settings->setEnabled(true);
    onAndOff();
    // Empty: the running unit is left alone.
    systemd->states[unitName] = "active";
    settings->setFunctionKeysService("");
    settings->setEnabled(true);
    EXPECT_TRUE(presented()); // at once, nobody asked
    onAndOff();
    EXPECT_TRUE(reports.isEmpty());
}

TEST_F(TouchBarDutyTest, ARefusedStopFallsBackWithOneLine) {
    systemd->states[unitName] = "active";
    systemd->refuseStop = true;
    ASSERT_NO_FATAL_FAILURE(startLit());
    ASSERT_EQ(reports.size(), 1);
    EXPECT_TRUE(reports[0].contains(unitName) && reports[0].contains("Access denied") &&
                reports[0].contains("touchbar group"))
        << reports[0].toStdString();
    EXPECT_FALSE(QFile::exists(notePath()));
    settings->setEnabled(false);
    QTest::qWait(300);
    // It was never stopped by us: never started either.
    EXPECT_EQ(log, Log({"StopUnit " + unitName, "take panel", "release panel"}));
}

// A run that crashed holding the panel left a note: the keys come back now, or when the bar
// next lets go if it takes the panel at once.
TEST_F(TouchBarDutyTest, ANoteFromACrashedRunGivesTheKeysBackUnlessTheBarTakesThePanel) {
    writeNote(unitName.toUtf8() + "\n");
    systemd->states[unitName] = "inactive";
    settings->setEnabled(false);
    startLumora();
    ASSERT_TRUE(waitFor([&] { return log.contains("job done"); }));
    EXPECT_EQ(log, Log({"StartUnit " + unitName, "job done"}));
    EXPECT_FALSE(QFile::exists(notePath()));
}

TEST_F(TouchBarDutyTest, ANoteIsOursToGiveBackWhenTheBarTakesThePanelAtOnce) {
    writeNote(unitName.toUtf8());
    systemd->states[unitName] = "inactive";
    ASSERT_NO_FATAL_FAILURE(startLit());
    settings->setEnabled(false);
    ASSERT_TRUE(waitFor([&] { return log.contains("job done"); }));
    EXPECT_EQ(log, Log({"take panel", "release panel", "StartUnit " + unitName, "job done"}));
}

TEST_F(TouchBarDutyTest, DarkWhileLockedAndBackASecondAfterUnlocking) {
    systemd->states[unitName] = "active";
    ASSERT_NO_FATAL_FAILURE(startLit());
    log.clear();

    // Locked: off, and the keys work on the lock screen.
    logind->sessionSignal("Lock");
    ASSERT_TRUE(waitFor([&] { return log.size() == 3; }));
    EXPECT_EQ(log, Log({"release panel", "StartUnit " + unitName, "job done"}));

    // Unlocked: back one second later, after the keys have gone.
    log.clear();
    QElapsedTimer clock;
    clock.start();
    logind->sessionSignal("Unlock");
    ASSERT_TRUE(waitFor([&] { return presented(); }));
    EXPECT_GE(clock.elapsed(), 1000);
    EXPECT_LT(clock.elapsed(), 1800);
    EXPECT_EQ(log, Log({"StopUnit " + unitName, "job done", "take panel"}));

    // LockedHint, the screensaver and the lid count too; a docked lid does not.
    logind->setSession("LockedHint", true);
    ASSERT_TRUE(waitFor([&] { return !presented(); }));
    logind->setSession("LockedHint", false);
    ASSERT_TRUE(waitFor([&] { return presented(); }));

    const auto screenSaver = [desktop = bus("screensaver")](bool active) {
        QDBusMessage message = QDBusMessage::createSignal(
            "/org/freedesktop/ScreenSaver", "org.freedesktop.ScreenSaver", "ActiveChanged");
        desktop.send(message << active);
    };
    screenSaver(true);
    ASSERT_TRUE(waitFor([&] { return !presented(); }));
    screenSaver(false);
    ASSERT_TRUE(waitFor([&] { return presented(); }));

    logind->setManager("Docked", true);
    logind->setManager("LidClosed", true);
    QTest::qWait(300);
    EXPECT_TRUE(presented());
    logind->setManager("Docked", false);
    ASSERT_TRUE(waitFor([&] { return !presented(); }));
    logind->setManager("LidClosed", false);
    ASSERT_TRUE(waitFor([&] { return presented(); }));

    // Switched off while locked: unlocking brings nothing back.
    logind->sessionSignal("Lock");
    ASSERT_TRUE(waitFor([&] { return !presented(); }));
    settings->setEnabled(false);
    logind->sessionSignal("Unlock");
    QTest::qWait(1300);
    EXPECT_FALSE(presented());
}

TEST_F(TouchBarDutyTest, OnlyTheRealServicesAreHeardAndOnBatteryTheBarTicksSlower) {
    ASSERT_NO_FATAL_FAILURE(startLit(false));
    QDBusConnection impostor = bus("impostor");
    logind->sessionSignal("Lock", &impostor);
    propertiesChanged(impostor, FakeLogind::sessionPath, "org.freedesktop.login1.Session",
                      {{"LockedHint", true}, {"IdleHint", true}});
    propertiesChanged(impostor, "/org/freedesktop/login1", "org.freedesktop.login1.Manager",
                      {{"LidClosed", true}});
    propertiesChanged(impostor, "/org/freedesktop/UPower", "org.freedesktop.UPower",
                      {{"OnBattery", true}});
    QTest::qWait(400);
    EXPECT_TRUE(presented());
    EXPECT_FALSE(session->idle());
    EXPECT_FALSE(power->onBattery());

    // From the real owners: on battery at the battery rate, as set, and locking counts.
    EffectView& view = delegate->bar().view();
    upower->set(true);
    ASSERT_TRUE(waitFor([&] { return view.fps() == 30.0; }));
    settings->setBatteryFps(15.0);
    ASSERT_TRUE(waitFor([&] { return view.fps() == 15.0; }));
    upower->set(false);
    ASSERT_TRUE(waitFor([&] { return view.fps() == 60.0; }));
    logind->sessionSignal("Lock");
    ASSERT_TRUE(waitFor([&] { return !presented(); }));
}

TEST_F(TouchBarDutyTest, IdleDimsTheFramesOverASecondAndActivityRestoresThemAtOnce) {
    settings->setEffect(Effect::solid);
    settings->setColor(RGB{1.0, 1.0, 1.0});
    settings->setBrightness(1.0);
    ASSERT_NO_FATAL_FAILURE(startLit(false));
    EffectView& view = delegate->bar().view();
    const auto middle = [&view] { return int(view.currentFrame().pixel(540, 15)[0]); };
    ASSERT_TRUE(waitFor([&] { return middle() == 255; }));

    logind->setSession("IdleHint", true);
    QElapsedTimer clock;
    clock.start();
    // Half way through the fade it is between full and dimmed.
    ASSERT_TRUE(waitFor([&] { return middle() < 230; }));
    EXPECT_GT(middle(), 100);
    ASSERT_TRUE(waitFor([&] { return middle() == qRound(255 * 0.3); }, 2000));
    EXPECT_GE(clock.elapsed(), 900);
    EXPECT_EQ(settings->brightness(), 1.0); // never stored
    EXPECT_TRUE(presented());

    // Activity: full on the next frame.
    logind->setSession("IdleHint", false);
    ASSERT_TRUE(waitFor([&] { return view.brightnessScale() == 1.0; }, 1000));
    const quint64 ticks = view.tickCount();
    ASSERT_TRUE(waitFor([&] { return view.tickCount() > ticks; }, 1000));
    EXPECT_EQ(middle(), 255);

    // 0 switches the bar off while idle; not dimming leaves it alone.
    settings->setIdleBrightness(0.0);
    logind->setSession("IdleHint", true);
    ASSERT_TRUE(waitFor([&] { return !presented(); }));
    logind->setSession("IdleHint", false);
    ASSERT_TRUE(waitFor([&] { return presented(); }, 500));
    settings->setDimWhenIdle(false);
    logind->setSession("IdleHint", true);
    QTest::qWait(1200);
    EXPECT_TRUE(presented());
    EXPECT_EQ(middle(), 255);
}
