#include "platform/WakeMonitor.h"

#include "support/PrivateBus.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

using namespace lumora;

namespace {

// A private message bus standing in for both the system and the session bus.
class WakeMonitorTest : public ::testing::Test {
protected:
    void SetUp() override {
        QString why;
        if (m_bus.start(&why).isEmpty()) {
            GTEST_SKIP() << why.toStdString();
        }
    }

    QDBusConnection bus(const QString& role) {
        QDBusConnection connection = m_bus.connect(role);
        EXPECT_TRUE(connection.isConnected()) << role.toStdString();
        return connection;
    }

    // Sends a bool signal, then waits for the bus to have routed it.
    static void signal(QDBusConnection& from, const QString& path, const QString& interface,
                       const QString& name, const QVariant& value) {
        QDBusMessage message = QDBusMessage::createSignal(path, interface, name);
        message << value;
        ASSERT_TRUE(from.send(message));
        from.interface()->serviceOwner("org.freedesktop.DBus");
    }

    static void sleepSignal(QDBusConnection& from, bool starting) {
        signal(from, "/org/freedesktop/login1", "org.freedesktop.login1.Manager", "PrepareForSleep",
               starting);
    }

    // Waits for `count` wakes, then a little more to catch any extra one.
    static int wakesAfter(QSignalSpy& spy, int count) {
        (void)QTest::qWaitFor([&] { return spy.count() >= count; }, 2000);
        QTest::qWait(50);
        return int(spy.count());
    }

    PrivateBus m_bus;
};

TEST_F(WakeMonitorTest, ResumeFromSleepCountsOnlyWhenLogindSaysIt) {
    QDBusConnection logind = bus("logind");
    ASSERT_TRUE(logind.registerService("org.freedesktop.login1"));
    QDBusConnection impostor = bus("impostor");
    QDBusConnection session = bus("session");

    auto monitor = std::make_unique<WakeMonitor>(bus("system"), session);
    QSignalSpy spy(monitor.get(), &WakeMonitor::woke);

    sleepSignal(impostor, false); // anyone may emit on the system bus
    sleepSignal(logind, true);    // going to sleep
    sleepSignal(logind, false);
    EXPECT_EQ(wakesAfter(spy, 1), 1);

    sleepSignal(logind, false); // every resume counts
    EXPECT_EQ(wakesAfter(spy, 2), 2);

    // Gone monitors are unhooked from the bus.
    monitor.reset();
    sleepSignal(logind, false);
    QTest::qWait(50);
}

TEST_F(WakeMonitorTest, ScreenComingBackCountsOncePerChangeWhoeverAnnouncesIt) {
    QDBusConnection kde = bus("kde");
    QDBusConnection gnome = bus("gnome");
    WakeMonitor monitor(bus("system"), bus("session"));
    QSignalSpy spy(&monitor, &WakeMonitor::woke);

    const QString freedesktop = "org.freedesktop.ScreenSaver";
    // One change announced on both of KDE's paths is one wake.
    signal(kde, "/ScreenSaver", freedesktop, "ActiveChanged", true);
    signal(kde, "/org/freedesktop/ScreenSaver", freedesktop, "ActiveChanged", true);
    signal(kde, "/ScreenSaver", freedesktop, "ActiveChanged", false);
    signal(kde, "/org/freedesktop/ScreenSaver", freedesktop, "ActiveChanged", false);
    EXPECT_EQ(wakesAfter(spy, 1), 1);

    signal(kde, "/ScreenSaver", freedesktop, "ActiveChanged", true);
    signal(kde, "/ScreenSaver", freedesktop, "ActiveChanged", false);
    EXPECT_EQ(wakesAfter(spy, 2), 2);

    // First word from another screensaver counts even without a prior "active".
    signal(gnome, "/org/gnome/ScreenSaver", "org.gnome.ScreenSaver", "ActiveChanged", false);
    EXPECT_EQ(wakesAfter(spy, 3), 3);

    // Not ours: another path, another interface, a malformed argument.
    signal(gnome, "/ScreenSaver", freedesktop, "ActiveChanged", true);
    signal(gnome, "/org/other", freedesktop, "ActiveChanged", false);
    signal(gnome, "/ScreenSaver", "org.example.Other", "ActiveChanged", false);
    signal(gnome, "/ScreenSaver", freedesktop, "ActiveChanged", QString("false"));
    signal(gnome, "/ScreenSaver", freedesktop, "ActiveChanged", false); // arrives after them
    EXPECT_EQ(wakesAfter(spy, 4), 4);
}

} // namespace
