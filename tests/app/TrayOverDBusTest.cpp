// The tray as KDE Plasma, most panels and GNOME's AppIndicator extension show it: the real
// program under its own Xvfb, on a private bus where a stand-in panel answers as the
// StatusNotifierWatcher. Qt then exports the icon as a StatusNotifierItem and the menu over
// com.canonical.dbusmenu; what a panel draws from that must match the program's own menu.
#include "app/AppDelegate.h"
#include "support/FakeOutput.h"
#include "support/PrivateBus.h"
#include "support/TextFiles.h"

#include <QAction>
#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusVariant>
#include <QFile>
#include <QMenu>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <iostream>

using namespace lumora;

QT_BEGIN_NAMESPACE
// Failures show menus as lines of text.
inline void PrintTo(const QStringList& lines, std::ostream* out) {
    *out << "\n" << lines.join(QLatin1Char('\n')).toStdString();
}
QT_END_NAMESPACE

namespace {

const QString watcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString itemInterface = QStringLiteral("org.kde.StatusNotifierItem");
const QString menuInterface = QStringLiteral("com.canonical.dbusmenu");
const QString controlService = QStringLiteral("io.lumora.Lumora");

// The panel's half of the protocol: items register here, and a host is said to be present.
class StandInWatcher : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ registeredItems)
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)

public:
    QStringList registeredItems() const { return items; }
    bool hostRegistered() const { return host; }
    int protocolVersion() const { return 0; }

    bool host = true;
    QStringList items;
    // The bus name each registration came from.
    QStringList senders;

public slots:
    // An item names its bus name (the object is then /StatusNotifierItem) or its object path.
    void RegisterStatusNotifierItem(const QString& service, const QDBusMessage& message) {
        const QString item = service.startsWith(QLatin1Char('/'))
                                 ? message.service() + service
                                 : service + QStringLiteral("/StatusNotifierItem");
        items << item;
        senders << message.service();
        emit StatusNotifierItemRegistered(item);
    }
    void RegisterStatusNotifierHost(const QString&) { emit StatusNotifierHostRegistered(); }

signals:
    void StatusNotifierItemRegistered(const QString& item);
    void StatusNotifierItemUnregistered(const QString& item);
    void StatusNotifierHostRegistered();
};

// A menu as a user reads it, one line an item: nesting by two spaces, "---" a separator,
// "[x]"/"[ ]" a tick box, "(off)" a greyed item, " >" a submenu.
QString line(int depth, const QString& text, bool separator, bool checkable, bool checked,
             bool enabled, bool submenu) {
    QString out(depth * 2, QLatin1Char(' '));
    if (separator) {
        return out + QStringLiteral("---");
    }
    if (!enabled) {
        out += QStringLiteral("(off) ");
    }
    if (checkable) {
        out += checked ? QStringLiteral("[x] ") : QStringLiteral("[ ] ");
    }
    return out + text + (submenu ? QStringLiteral(" >") : QString());
}

// What a label shows, given its mnemonic marker: the marker goes, a doubled one is literal.
QString shown(const QString& label, QChar marker) {
    QString out;
    for (qsizetype i = 0; i < label.size(); ++i) {
        if (label[i] == marker && i + 1 < label.size()) {
            ++i;
        }
        out += label[i];
    }
    return out;
}

void readMenu(const QMenu& menu, int depth, QStringList& out) {
    for (const QAction* action : menu.actions()) {
        if (!action->isVisible()) {
            continue;
        }
        out << line(depth, shown(action->text(), QLatin1Char('&')), action->isSeparator(),
                    action->isCheckable(), action->isChecked(), action->isEnabled(),
                    action->menu() != nullptr);
        if (action->menu()) {
            readMenu(*action->menu(), depth + 1, out);
        }
    }
}

struct DBusMenu {
    QStringList lines;
    // Item ids by their path of shown labels, e.g. "Presets/Evening".
    QHash<QString, int> ids;
};

// One (ia{sv}av) node of a GetLayout reply, as dbusmenu hosts draw it.
void readLayout(const QDBusArgument& arg, int depth, const QString& parent, DBusMenu& out) {
    int id = 0;
    QVariantMap properties;
    arg.beginStructure();
    arg >> id >> properties;
    const QString text = shown(properties.value("label").toString(), QLatin1Char('_'));
    const QString path = parent.isEmpty() ? text : parent + QLatin1Char('/') + text;
    if (depth >= 0 && properties.value("visible", true).toBool()) {
        const QString toggle = properties.value("toggle-type").toString();
        out.lines << line(depth, text, properties.value("type").toString() == "separator",
                          toggle == "checkmark" || toggle == "radio",
                          properties.value("toggle-state").toInt() == 1,
                          properties.value("enabled", true).toBool(),
                          properties.value("children-display").toString() == "submenu");
        out.ids.insert(path, id);
    }
    arg.beginArray();
    while (!arg.atEnd()) {
        QDBusVariant child;
        arg >> child;
        readLayout(qvariant_cast<QDBusArgument>(child.variant()), depth + 1,
                   depth < 0 ? QString() : path, out);
    }
    arg.endArray();
    arg.endStructure();
}

class TrayOverDBusTest : public ::testing::Test {
protected:
    void SetUp() override {
        QString why;
        if (bus.start(&why).isEmpty()) {
            GTEST_SKIP() << why.toStdString();
        }
        const QString xvfb = QStandardPaths::findExecutable("Xvfb");
        if (xvfb.isEmpty()) {
            GTEST_SKIP() << "Xvfb is not installed (scripts/setup.sh installs it)";
        }
        // xdotool tells whether a display answers and which windows show.
        if (QStandardPaths::findExecutable("xdotool").isEmpty()) {
            GTEST_SKIP() << "xdotool is not installed (scripts/setup.sh installs it)";
        }
        // Xvfb picks a free display and writes its number to the descriptor named. Under a
        // parallel test run a display has once been given out that no client could reach, so
        // it must answer before Lumora is started on it, or another is taken.
        for (int attempt = 0; attempt < 3 && displayName.isEmpty(); ++attempt) {
            stopDisplay();
            // No reset when the last client leaves: the probe below is such a client, and a
            // client that connects while the server resets can be turned away.
            display.start(xvfb, {"-displayfd", "1", "-screen", "0", "1280x800x24", "-nolisten",
                                 "tcp", "-noreset"});
            QByteArray number;
            while (!number.contains('\n') && display.waitForReadyRead(10000)) {
                number += display.readAllStandardOutput();
            }
            const QString name = ":" + QString::fromLatin1(number.trimmed());
            if (!number.trimmed().isEmpty() &&
                QTest::qWaitFor([&] { return answers(name); }, 3000)) {
                displayName = name;
            }
        }
        ASSERT_FALSE(displayName.isEmpty()) << "Xvfb gave no display that answers";

        client = bus.connect("client");
    }

    static bool answers(const QString& name) {
        QProcess probe;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", name);
        probe.setProcessEnvironment(env);
        probe.start("xdotool", {"getdisplaygeometry"});
        return probe.waitForFinished(2000) && probe.exitStatus() == QProcess::NormalExit &&
               probe.exitCode() == 0;
    }

    // Asked to stop, Xvfb removes its socket; killed, it leaves it behind for the next one.
    void stopDisplay() {
        if (display.state() == QProcess::NotRunning) {
            return;
        }
        display.terminate();
        if (!display.waitForFinished(5000)) {
            display.kill();
            display.waitForFinished(5000);
        }
    }

    void panelComesLater(bool watcherFirst);

    // The panel takes its place on the bus, as it does at login or once its extension is on.
    void startPanel() {
        panel = bus.connect("panel");
        ASSERT_TRUE(panel.registerObject("/StatusNotifierWatcher", &watcher,
                                         QDBusConnection::ExportAllContents));
        ASSERT_TRUE(panel.registerService(watcherService));
        emit watcher.StatusNotifierHostRegistered();
    }

    void TearDown() override {
        if (app.state() != QProcess::NotRunning) {
            app.terminate();
            // The program may still call the watcher on its way out: keep answering.
            if (!QTest::qWaitFor([&] { return app.state() == QProcess::NotRunning; }, 10000)) {
                app.kill();
                app.waitForFinished(5000);
            }
        }
        stopDisplay();
    }

    QString confPath() const { return home.filePath("config/lumora/lumora.conf"); }

    // Starts Lumora on the private bus and display, and waits for its icon to register, with
    // a panel there from the start unless told otherwise.
    void startLumora(const QByteArray& conf, bool withPanel = true) {
        if (withPanel) {
            startPanel();
        }
        QDir().mkpath(home.filePath("config/lumora"));
        QDir().mkpath(home.filePath("runtime"));
        QFile::setPermissions(home.filePath("runtime"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        writeText(confPath(), "[General]\ndidShowSettings=true\n" + conf);

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DBUS_SESSION_BUS_ADDRESS", bus.address());
        env.insert("DISPLAY", displayName);
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("XDG_CONFIG_HOME", home.filePath("config"));
        env.insert("XDG_RUNTIME_DIR", home.filePath("runtime"));
        env.insert("LUMORA_APPEARANCE", "light");
        for (const char* name : {"WAYLAND_DISPLAY", "QT_QPA_PLATFORMTHEME", "XDG_CURRENT_DESKTOP",
                                 "DESKTOP_SESSION", "KDE_FULL_SESSION"}) {
            env.remove(name);
        }
        app.setProcessEnvironment(env);
        // Twice in full parallel runs Lumora was turned away by a display that answered just
        // before and just after. Started again then, so the case tests Lumora, not the host.
        for (int attempt = 0;; ++attempt) {
            app.start(LUMORA_BINARY, {"--output", "window"});
            ASSERT_TRUE(app.waitForStarted(5000));
            const bool refused =
                QTest::qWaitFor([&] { return app.state() == QProcess::NotRunning; }, 1000) &&
                stderrText().contains("could not connect to display");
            if (!refused || attempt == 2 || !answers(displayName)) {
                break;
            }
            std::cerr << "display " << displayName.toStdString()
                      << " turned Lumora away; starting it again\n";
            errors.clear();
        }
        if (withPanel) {
            waitForIcon();
        }
    }

    void waitForIcon() {
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return !watcher.items.isEmpty() || app.state() == QProcess::NotRunning; },
            15000));
        // Once in a full parallel run Lumora found no display that had just answered: say
        // whether it still answers and what Xvfb said, so the next time shows why.
        ASSERT_FALSE(watcher.items.isEmpty())
            << "the icon never registered; lumora said: " << stderrText().toStdString()
            << "\ndisplay " << displayName.toStdString()
            << (answers(displayName) ? " answers" : " does not answer") << ", Xvfb "
            << (display.state() == QProcess::Running ? "running" : "gone")
            << " and said: " << display.readAllStandardError().toStdString();
        item = watcher.senders.first();
    }

    // The ids of the program's windows on the display that are shown and titled "Lumora".
    QStringList shownSettingsWindows() {
        QProcess search;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", displayName);
        search.setProcessEnvironment(env);
        search.start("xdotool", {"search", "--all", "--onlyvisible", "--pid",
                                 QString::number(app.processId()), "--name", "^Lumora$"});
        search.waitForFinished(5000);
        return QString::fromLatin1(search.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    }

    QString stderrText() { return errors += QString::fromLocal8Bit(app.readAllStandardError()); }

    QDBusMessage call(const QString& service, const QString& path, const QString& interface,
                      const QString& method, const QVariantList& args = {}) {
        QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
        message.setArguments(args);
        return callAndWait(client, message);
    }

    QVariant control(const QString& name) {
        const QDBusMessage reply =
            call(controlService, "/io/lumora/Lumora", "org.freedesktop.DBus.Properties", "Get",
                 {"io.lumora.Lumora1", name});
        return reply.arguments().isEmpty()
                   ? QVariant()
                   : qvariant_cast<QDBusVariant>(reply.arguments().first()).variant();
    }

    QDBusMessage controlCall(const QString& method, const QVariantList& args = {}) {
        return call(controlService, "/io/lumora/Lumora", "io.lumora.Lumora1", method, args);
    }

    // The whole menu as GetLayout gives it, without asking the program to refresh it first.
    DBusMenu exportedMenu() {
        const QDBusMessage reply =
            call(item, menuPath, menuInterface, "GetLayout", {0, -1, QStringList()});
        DBusMenu menu;
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
        if (reply.arguments().size() == 2) {
            readLayout(qvariant_cast<QDBusArgument>(reply.arguments().at(1)), -1, {}, menu);
        }
        return menu;
    }

    // As a panel opens the menu: AboutToShow on the root, then the layout.
    DBusMenu openedMenu() {
        call(item, menuPath, menuInterface, "AboutToShow", {0});
        return exportedMenu();
    }

    bool click(const DBusMenu& menu, const QString& path) {
        EXPECT_TRUE(menu.ids.contains(path)) << path.toStdString() << " is not in the menu";
        const QDBusMessage reply = call(item, menuPath, menuInterface, "Event",
                                        {menu.ids.value(path), QStringLiteral("clicked"),
                                         QVariant::fromValue(QDBusVariant(0)), 0u});
        return reply.type() == QDBusMessage::ReplyMessage;
    }

    // The tray menu the program builds from the settings file as it is now.
    QStringList ownMenu() {
        Settings mirror(confPath());
        LoginItem loginItem(home.filePath("autostart"), "/bin/true");
        AppDelegate delegate(std::make_unique<FakeOutput>(), mirror, loginItem);
        QMenu menu;
        delegate.rebuildMenu(menu);
        QStringList lines;
        readMenu(menu, 0, lines);
        return lines;
    }

    PrivateBus bus;
    QProcess display;
    QString displayName;
    QDBusConnection panel{QString()};
    QDBusConnection client{QString()};
    StandInWatcher watcher;
    QTemporaryDir home;
    QProcess app;
    QString errors;
    QString item;
    QString menuPath = QStringLiteral("/MenuBar");
};

} // namespace

TEST_F(TrayOverDBusTest, TheIconRegistersWithAPictureAndALeftClickOpensTheWindow) {
    startLumora("enabled=true\neffect=breathing\n");
    EXPECT_EQ(watcher.items.size(), 1);

    const QDBusMessage reply = call(item, "/StatusNotifierItem", "org.freedesktop.DBus.Properties",
                                    "GetAll", {itemInterface});
    ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    const QVariantMap properties = qdbus_cast<QVariantMap>(reply.arguments().first());
    EXPECT_EQ(qvariant_cast<QDBusObjectPath>(properties.value("Menu")).path(), "/MenuBar");

    // A panel needs a picture: a themed name, or pixels of at least one size.
    if (properties.value("IconName").toString().isEmpty()) {
        const QDBusArgument images = qvariant_cast<QDBusArgument>(properties.value("IconPixmap"));
        int pixmaps = 0;
        images.beginArray();
        while (!images.atEnd()) {
            int width = 0;
            int height = 0;
            QByteArray argb;
            images.beginStructure();
            images >> width >> height >> argb;
            images.endStructure();
            pixmaps += width > 0 && argb.size() == qsizetype(width) * height * 4;
        }
        images.endArray();
        EXPECT_GT(pixmaps, 0) << "the item has neither an icon name nor pixels";
    }

    // With a tray there, nobody is told to go and find one, and no window opens unasked.
    QTest::qWait(500);
    EXPECT_FALSE(stderrText().contains("no system tray")) << errors.toStdString();
    EXPECT_TRUE(shownSettingsWindows().isEmpty()) << "the window opened unasked";

    // The panel draws the menu on a right click; a left click asks for the program.
    const QDBusMessage activated =
        call(item, "/StatusNotifierItem", itemInterface, "Activate", {10, 10});
    EXPECT_EQ(activated.type(), QDBusMessage::ReplyMessage)
        << activated.errorMessage().toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !shownSettingsWindows().isEmpty(); }, 5000))
        << "a left click on the icon opened no settings window";
}

// A panel that comes after Lumora, wholly or (watcherFirst) only its host: the watcher was
// already on the bus, as a desktop's session daemon puts it there before its panel starts.
void TrayOverDBusTest::panelComesLater(bool watcherFirst) {
    if (watcherFirst) {
        watcher.host = false;
        startPanel();
    }
    startLumora("enabled=true\n", false);
    // No tray yet: said once, and the window stands in for the menu.
    EXPECT_TRUE(QTest::qWaitFor([&] { return !shownSettingsWindows().isEmpty(); }, 10000));
    // The line may reach us a moment after the window shows.
    (void)QTest::qWaitFor([&] { return stderrText().contains("no system tray found"); }, 5000);
    EXPECT_EQ(stderrText().count("no system tray found"), 1) << errors.toStdString();

    // As when Lumora starts at login before the panel, or the extension is switched on later.
    if (watcherFirst) {
        watcher.host = true;
        emit watcher.StatusNotifierHostRegistered();
    } else {
        startPanel();
    }
    waitForIcon();
    EXPECT_EQ(watcher.items.size(), 1);
    EXPECT_EQ(exportedMenu().lines, ownMenu());
    QTest::qWait(300);
    EXPECT_EQ(stderrText().count("lumora:"), 1) << errors.toStdString();
}

TEST_F(TrayOverDBusTest, APanelThatComesLaterGetsTheIcon) {
    panelComesLater(false);
}

TEST_F(TrayOverDBusTest, AHostThatRegistersLaterGetsTheIcon) {
    panelComesLater(true);
}

TEST_F(TrayOverDBusTest, TheExportedMenuIsTheTrayMenuAndItsItemsAct) {
    startLumora("enabled=true\neffect=breathing\n");

    // Presets made after the start, with names a menu could mangle.
    for (const auto& [speed, name] :
         {std::pair(1.0, "Evening_Glow"), std::pair(2.0, "Drum & Bass & Dub"),
          std::pair(3.0, "Rock & Roll")}) {
        const QDBusMessage set =
            call(controlService, "/io/lumora/Lumora", "org.freedesktop.DBus.Properties", "Set",
                 {"io.lumora.Lumora1", "Speed", QVariant::fromValue(QDBusVariant(speed))});
        ASSERT_EQ(set.type(), QDBusMessage::ReplyMessage) << set.errorMessage().toStdString();
        ASSERT_EQ(controlCall("SavePreset", {name}).type(), QDBusMessage::ReplyMessage);
    }

    // clang-format off
    const QStringList expected = {
        "Open Lumora\u2026",
        "---",
        "[x] Lighting",
        "Presets >",
        "  [ ] Evening_Glow",
        "  [ ] Drum & Bass & Dub",
        "  [x] Rock & Roll",
        "Effects >",
        "  [ ] Rainbow Wave",
    };
    // clang-format on
    // A panel may read the layout without opening the menu first (on LayoutUpdated): it must
    // be whole and current then too.
    QStringList exported;
    (void)QTest::qWaitFor([&] { return (exported = exportedMenu().lines).mid(0, 9) == expected; },
                          3000);
    EXPECT_EQ(exported.mid(0, 9), expected) << exported.join('\n').toStdString();
    EXPECT_TRUE(exported.contains("  [x] Breathing")) << exported.join('\n').toStdString();
    EXPECT_EQ(exported.mid(exported.size() - 2), QStringList({"---", "Quit Lumora"}));

    const DBusMenu readBefore = exportedMenu();
    DBusMenu opened = openedMenu();
    EXPECT_EQ(opened.lines, exported);
    // The same items, ticks and separators the tray menu draws itself.
    (void)QTest::qWaitFor([&] { return ownMenu() == opened.lines; }, 3000);
    EXPECT_EQ(ownMenu(), opened.lines);

    // Each item acts as its twin in the tray menu does, also when the panel clicks by the ids
    // it read before it opened the menu.
    EXPECT_EQ(opened.ids, readBefore.ids);
    ASSERT_TRUE(click(readBefore, "Lighting"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return control("Enabled") == QVariant(false); }, 3000));
    opened = openedMenu();
    EXPECT_TRUE(opened.lines.contains("[ ] Lighting")) << opened.lines.join('\n').toStdString();

    ASSERT_TRUE(click(opened, "Presets/Evening_Glow"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return control("Speed").toDouble() == 1.0; }, 3000));
    EXPECT_EQ(control("Enabled"), QVariant(true));
    opened = openedMenu();
    EXPECT_TRUE(opened.lines.contains("  [x] Evening_Glow"))
        << opened.lines.join('\n').toStdString();
    EXPECT_TRUE(opened.lines.contains("  [ ] Rock & Roll"));

    ASSERT_TRUE(click(opened, "Effects/Heartbeat"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return control("Effect") == QVariant("heartbeat"); }, 3000));
    opened = openedMenu();
    EXPECT_TRUE(opened.lines.contains("  [x] Heartbeat"));
    EXPECT_TRUE(opened.lines.contains("  [ ] Breathing"));

    // A preset deleted elsewhere leaves the menu at once.
    ASSERT_EQ(controlCall("DeletePreset", {"Rock & Roll"}).type(), QDBusMessage::ReplyMessage);
    (void)QTest::qWaitFor([&] { return !exportedMenu().lines.contains("  [ ] Rock & Roll"); },
                          3000);
    EXPECT_FALSE(exportedMenu().lines.contains("  [ ] Rock & Roll"));
    EXPECT_EQ(ownMenu(), openedMenu().lines);

    ASSERT_TRUE(click(openedMenu(), "Quit Lumora"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return app.state() == QProcess::NotRunning; }, 5000));
    EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app.exitCode(), 0);
}

#include "TrayOverDBusTest.moc"
