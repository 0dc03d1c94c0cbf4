#include "ui/SettingsView.h"

#include "display/EffectView.h"
#include "support/TextFiles.h"
#include "ui/EffectCard.h"
#include "ui/EffectPreview.h"
#include "ui/EffectsPanel.h"
#include "ui/NamingPopover.h"
#include "ui/PresetsPanel.h"
#include "ui/Style.h"
#include "ui/Switch.h"
#include "ui/TuningPanel.h"

#include <QAccessible>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace lumora {
namespace {

bool waitUntil(const std::function<bool()>& condition) {
    return QTest::qWaitFor(condition, 3000);
}

class SettingsViewTest : public ::testing::Test {
protected:
    SettingsViewTest()
        : settings(dir.path() + "/lumora.conf"),
          login(dir.path() + "/autostart", dir.path() + "/bin/lumora") {}

    std::unique_ptr<SettingsView> makeView(std::optional<SnapshotPart> part = {}) {
        auto view = std::make_unique<SettingsView>(part, settings, login);
        view->setBeep([this] { ++beeps; });
        view->resize(660, 800);
        return view;
    }

    QTemporaryDir dir;
    Settings settings;
    LoginItem login;
    int beeps = 0;
};

TEST_F(SettingsViewTest, LightingSwitchPausesTheBarNotThePreview) {
    const auto view = makeView();
    view->show();
    EffectView* preview = view->livePreview()->view();
    ASSERT_TRUE(waitUntil([&] { return preview->isRunning(); }));
    const QString onCaption = view->previewCaption()->text();

    QTest::mouseClick(view->lightingSwitch(), Qt::LeftButton);
    EXPECT_FALSE(settings.enabled());
    EXPECT_NE(view->previewCaption()->text(), onCaption);
    EXPECT_TRUE(preview->isRunning());

    // Switched back from elsewhere (the menu): the page follows.
    settings.setEnabled(true);
    EXPECT_TRUE(view->lightingSwitch()->isChecked());
    EXPECT_EQ(view->previewCaption()->text(), onCaption);
}

// The page's switches write the store and follow changes made elsewhere (the menu, ctl).
TEST_F(SettingsViewTest, SwitchesAndTheBatteryRateFollowTheStore) {
    const auto view = makeView(SnapshotPart::tuning);
    QTest::mouseClick(view->closeButtonSwitch(), Qt::LeftButton);
    EXPECT_FALSE(settings.showClose());
    settings.setShowClose(true);
    EXPECT_TRUE(view->closeButtonSwitch()->isChecked());
    QTest::mouseClick(view->idleDimSwitch(), Qt::LeftButton);
    EXPECT_FALSE(settings.dimWhenIdle());

    QComboBox* rate = view->batteryFpsChoice();
    emit rate->activated(2);
    EXPECT_EQ(settings.batteryFps(), 15.0);
    settings.setBatteryFps(60.0);
    EXPECT_EQ(rate->currentText(), "60 fps");
}
TEST_F(SettingsViewTest, ClickingACardSelectsItsEffect) {
    const auto view = makeView(SnapshotPart::top);
    view->show();
    const QList<EffectCard*>& cards = view->effectsPanel()->cards();
    ASSERT_EQ(cards.size(), 10);
    const auto checked = [&] {
        QList<int> which;
        for (int i = 0; i < cards.size(); ++i) {
            if (cards[i]->isChecked()) {
                which << i;
            }
        }
        return which;
    };
    EXPECT_EQ(checked(), QList<int>{0});

    EffectCard* scanner = cards[5];
    // Clicks on the card's preview or text count as clicks on the card.
    QTest::mouseClick(scanner, Qt::LeftButton, {}, QPoint(scanner->width() / 2, 20));
    EXPECT_EQ(settings.effect(), Effect::scanner);
    EXPECT_EQ(checked(), QList<int>{5});

    // The accent border is on the chosen card only.
    const QColor accent = style::accent(view->palette());
    const auto edge = [](EffectCard* card) {
        return card->grab().toImage().pixelColor(1, card->height() / 2);
    };
    EXPECT_EQ(edge(scanner), accent);
    EXPECT_NE(edge(cards[0]), accent);
    EXPECT_TRUE(QAccessible::queryAccessibleInterface(scanner)->state().checked);

    settings.setEffect(Effect::solid); // chosen from the menu
    EXPECT_EQ(checked(), QList<int>{9});
}

TEST_F(SettingsViewTest, OpenAtLoginShowsWhatTheDesktopHas) {
    const auto view = makeView(SnapshotPart::tuning);
    Switch* toggle = view->loginSwitch();
    EXPECT_FALSE(toggle->isChecked());

    QTest::mouseClick(toggle, Qt::LeftButton);
    EXPECT_TRUE(toggle->isChecked());
    EXPECT_TRUE(QFile::exists(login.filePath()));
    QTest::mouseClick(toggle, Qt::LeftButton);
    EXPECT_FALSE(toggle->isChecked());
    EXPECT_FALSE(QFile::exists(login.filePath()));
    EXPECT_EQ(beeps, 0);

    // An enabled entry is seen when the page is built.
    ASSERT_TRUE(login.setEnabled(true));
    EXPECT_TRUE(makeView(SnapshotPart::tuning)->loginSwitch()->isChecked());
}

TEST_F(SettingsViewTest, FailedLoginRegistrationBeepsAndSnapsBack) {
    // A folder under a regular file can never be made, not even by root.
    writeText(dir.path() + "/file", "");
    LoginItem blocked(dir.path() + "/file/autostart", dir.path() + "/bin/lumora");
    SettingsView view(SnapshotPart::tuning, settings, blocked);
    view.setBeep([this] { ++beeps; });

    QTest::mouseClick(view.loginSwitch(), Qt::LeftButton);
    EXPECT_EQ(beeps, 1);
    EXPECT_FALSE(view.loginSwitch()->isChecked());
}

TEST_F(SettingsViewTest, PreviewsRunOnlyWhileTheWindowIsShown) {
    const auto view = makeView();
    const QList<EffectView*> views = view->findChildren<EffectView*>();
    ASSERT_EQ(views.size(), 11); // the live preview and one per card
    const auto all = [&](bool running) {
        return std::all_of(views.begin(), views.end(),
                           [&](EffectView* v) { return v->isRunning() == running; });
    };
    EXPECT_TRUE(all(false));
    view->show();
    EXPECT_TRUE(waitUntil([&] { return all(true); }));
    view->hide();
    EXPECT_TRUE(all(false));
    view->show();
    EXPECT_TRUE(waitUntil([&] { return all(true); }));
}

TEST_F(SettingsViewTest, EscapeClosesThePopoverFirstThenTheWindow) {
    const auto view = makeView();
    const auto showActive = [&] {
        view->show();
        QApplication::setActiveWindow(view.get());
        return QTest::qWaitForWindowActive(view.get());
    };
    // Ctrl+W and Ctrl+Q are pressed in the running program by the end-to-end session.
    ASSERT_TRUE(showActive());
    QTest::keyClick(view.get(), Qt::Key_Escape);
    EXPECT_FALSE(view->isVisible());

    ASSERT_TRUE(showActive());
    QTest::mouseClick(view->presetsPanel()->saveButton(), Qt::LeftButton);
    NamingPopover* popover = view->presetsPanel()->popover();
    ASSERT_TRUE(popover->isVisible());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_FALSE(popover->isVisible());
    EXPECT_TRUE(view->isVisible());
}

} // namespace
} // namespace lumora
