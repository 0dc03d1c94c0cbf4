#include "app/AppDelegate.h"

#include "platform/WakeMonitor.h"
#include "support/FakeOutput.h"
#include "ui/SettingsView.h"

#include <QAction>
#include <QApplication>
#include <QDBusConnection>
#include <QLabel>
#include <QMenu>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace lumora;

namespace {

// The menu as a user reads it: "*" marks a ticked item, "-" a disabled one, "---" a separator.
QStringList read(const QMenu& menu) {
    QStringList out;
    for (const QAction* action : menu.actions()) {
        const QString mark = action->isChecked() ? "*" : action->isEnabled() ? "" : "-";
        out << (action->isSeparator() ? QStringLiteral("---") : mark + action->text());
    }
    return out;
}

QAction* item(const QMenu& menu, const QString& title) {
    for (QAction* action : menu.actions()) {
        if (action->text() == title) {
            return action;
        }
    }
    throw std::runtime_error("no item " + title.toStdString());
}

QMenu& submenu(const QMenu& menu, const QString& title) {
    return *item(menu, title)->menu();
}

class AppDelegateTest : public ::testing::Test {
protected:
    // A store that has already been through its first launch, unless told otherwise.
    std::unique_ptr<AppDelegate> makeDelegate(bool firstLaunch = false) {
        if (!firstLaunch) {
            QSettings(settings.filePath(), QSettings::IniFormat).setValue("didShowSettings", true);
        }
        auto output = std::make_unique<FakeOutput>();
        fake = output.get();
        return std::make_unique<AppDelegate>(std::move(output), settings, loginItem);
    }

    // A delegate launched with a tray.
    std::unique_ptr<AppDelegate> launched() {
        auto delegate = makeDelegate();
        delegate->launch(true);
        return delegate;
    }

    QTemporaryDir dir;
    Settings settings{dir.filePath("lumora.conf")};
    LoginItem loginItem{dir.filePath("autostart"), "/bin/true"};
    FakeOutput* fake = nullptr;
    QMenu menu;
};

} // namespace

// What the menu's items do is driven through the tray over D-Bus and by the end-to-end session.
TEST_F(AppDelegateTest, EveryOpeningBuildsTheMenuAfreshWithoutShortcuts) {
    auto delegate = launched();
    ASSERT_NE(delegate->trayIcon(), nullptr);
    for (int i = 0; i < 5; ++i) {
        delegate->rebuildMenu(menu);
    }
    // No old submenus left behind.
    EXPECT_EQ(menu.findChildren<QMenu*>(Qt::FindDirectChildrenOnly).size(), 2);
    EXPECT_EQ(menu.actions().size(), 7);
    // A tray menu cannot take shortcuts, so it shows none.
    for (const QAction* action : menu.actions()) {
        EXPECT_TRUE(action->shortcut().isEmpty()) << action->text().toStdString();
    }
}

TEST_F(AppDelegateTest, PresetsSubmenuAppliesAPresetUnlessItWasDeletedMeanwhile) {
    settings.setEnabled(false);
    auto delegate = launched();
    delegate->rebuildMenu(menu);
    EXPECT_EQ(read(submenu(menu, "Presets")), QStringList{"-No Presets Yet"});

    settings.setSpeed(2.0);
    settings.savePreset("Fast");
    settings.setSpeed(0.5);
    settings.savePreset("Slow");
    settings.setSpeed(0.7);
    delegate->rebuildMenu(menu);
    EXPECT_EQ(read(submenu(menu, "Presets")), QStringList({"Fast", "Slow"})); // neither matches

    item(submenu(menu, "Presets"), "Fast")->trigger();
    EXPECT_DOUBLE_EQ(settings.speed(), 2.0);
    EXPECT_TRUE(delegate->bar().isPresented());
    delegate->rebuildMenu(menu);

    // A preset deleted while the menu was open changes nothing.
    settings.setEnabled(false);
    QAction* slow = item(submenu(menu, "Presets"), "Slow");
    settings.deletePreset(settings.presets().last());
    slow->trigger();
    EXPECT_DOUBLE_EQ(settings.speed(), 2.0);
    EXPECT_FALSE(settings.enabled());
}

TEST_F(AppDelegateTest, PresetNamesShowAsTypedAndMakeNoShortcuts) {
    settings.setEnabled(false);
    settings.setSpeed(2.0);
    settings.savePreset("R&B Nights");
    settings.setSpeed(0.5);
    settings.savePreset("&&");
    auto delegate = launched();
    delegate->rebuildMenu(menu);
    const QList<QAction*> items = submenu(menu, "Presets").actions();
    ASSERT_EQ(items.size(), 2);
    // What the menu draws: '&&' is a literal '&', a lone '&' would underline the next letter.
    EXPECT_EQ(items[0]->text(), "R&&B Nights");
    EXPECT_EQ(items[1]->text(), "&&&&");
    items[0]->trigger();
    EXPECT_DOUBLE_EQ(settings.speed(), 2.0);

    // The window's chip has no hidden Alt+B either.
    settings.setSpeed(0.5);
    delegate->showSettings();
    SettingsView* window = delegate->settingsWindow();
    QApplication::setActiveWindow(window);
    QTest::keyClick(window, Qt::Key_B, Qt::AltModifier);
    EXPECT_DOUBLE_EQ(settings.speed(), 0.5);
}

TEST_F(AppDelegateTest, EnabledPresentsOnceAndAHiddenCloseButtonStaysHidden) {
    settings.setEnabled(true);
    auto delegate = launched();
    EXPECT_TRUE(delegate->bar().isPresented());
    EXPECT_EQ(fake->shows, 1);
    // Repeated assignments of the same value are not new presentations.
    settings.setEnabled(true);
    EXPECT_EQ(fake->shows, 1);

    // Hiding the close button holds across presentations, even when set while dismissed.
    settings.setEnabled(false);
    settings.setShowClose(false);
    EXPECT_TRUE(delegate->bar().closeButton().isHidden());
    settings.setEnabled(true);
    EXPECT_TRUE(delegate->bar().isPresented());
    EXPECT_TRUE(delegate->bar().closeButton().isHidden());
    settings.setShowClose(true);
    EXPECT_FALSE(delegate->bar().closeButton().isHidden());

    delegate->prepareToQuit();
    EXPECT_FALSE(delegate->bar().isPresented());
    EXPECT_FALSE(fake->shown);
}

TEST_F(AppDelegateTest, WakePresentsAgainAfterASecondOnlyWhileOn) {
    WakeMonitor monitor(QDBusConnection("no-such-bus"), QDBusConnection("no-such-bus"));
    settings.setEnabled(true);
    auto delegate = launched();
    delegate->watchWake(monitor);
    ASSERT_EQ(fake->shows, 1);

    // The machine and then the screen wake: one presentation, about a second later.
    emit monitor.woke();
    emit monitor.woke();
    QTest::qWait(600);
    EXPECT_EQ(fake->shows, 1);
    QTest::qWait(700);
    EXPECT_EQ(fake->shows, 2);

    // Switched off during the wait: the bar stays away.
    emit monitor.woke();
    QTest::qWait(300);
    settings.setEnabled(false);
    QTest::qWait(1000);
    EXPECT_FALSE(fake->shown);
    EXPECT_EQ(fake->shows, 2);
}

// A later launch leaving the window closed, and a minimised window coming back, are seen by the
// end-to-end session.
TEST_F(AppDelegateTest, FirstLaunchOpensTheSettingsWindowOnce) {
    settings.setEnabled(false);
    auto delegate = makeDelegate(true);
    delegate->launch(true);
    SettingsView* window = delegate->settingsWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(
        QSettings(settings.filePath(), QSettings::IniFormat).value("didShowSettings").toBool());

    // Closing only hides; the same window comes back.
    window->close();
    EXPECT_FALSE(window->isVisible());
    delegate->showSettings();
    EXPECT_EQ(delegate->settingsWindow(), window);
    EXPECT_TRUE(window->isVisible());
}

// The running program without a tray, and with one that comes later, is driven end to end by
// notray.sh; here, what its footer says either way and that one tray icon is made at most.
TEST_F(AppDelegateTest, WithoutATrayTheWindowOpensAndATrayThatComesLaterGetsTheIcon) {
    settings.setEnabled(false);
    auto delegate = makeDelegate();
    ::testing::internal::CaptureStderr();
    delegate->launch(false);
    delegate->launch(false);
    const QString err = QString::fromStdString(::testing::internal::GetCapturedStderr());
    EXPECT_EQ(err.toStdString(), AppDelegate::noTrayMessage); // once, in one line
    EXPECT_EQ(delegate->trayIcon(), nullptr);
    ASSERT_NE(delegate->settingsWindow(), nullptr);
    EXPECT_TRUE(delegate->settingsWindow()->isVisible());
    EXPECT_FALSE(QApplication::quitOnLastWindowClosed());
    EXPECT_EQ(delegate->settingsWindow()->footerNote()->text(),
              "Closing this window keeps the effect running. Run lumora again to reopen this "
              "window.");

    ::testing::internal::CaptureStderr();
    delegate->showTrayIcon();
    QSystemTrayIcon* icon = delegate->trayIcon();
    delegate->showTrayIcon();
    // (Offscreen, Qt's X11 tray code adds a remark of its own.)
    const QString later = QString::fromStdString(::testing::internal::GetCapturedStderr());
    EXPECT_FALSE(later.contains("lumora:")) << later.toStdString();
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(delegate->trayIcon(), icon);
    EXPECT_TRUE(icon->isVisible());
    EXPECT_EQ(icon->contextMenu(), delegate->menu());
    EXPECT_EQ(delegate->settingsWindow()->footerNote()->text(),
              "Closing this window keeps the effect running. Find Lumora in the system tray.");

    // A picture of the window never makes an icon.
    auto snapshot = makeDelegate();
    snapshot->launch(false, AppDelegate::LaunchMode::snapshot);
    snapshot->showTrayIcon();
    EXPECT_EQ(snapshot->trayIcon(), nullptr);
}
