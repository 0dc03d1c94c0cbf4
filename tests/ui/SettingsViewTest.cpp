#include "ui/SettingsView.h"

#include "display/EffectView.h"
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
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>
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
    EXPECT_TRUE(view->lightingSwitch()->isChecked());
    EXPECT_EQ(view->previewCaption()->text(), "Live preview matches your Touch Bar.");

    QTest::mouseClick(view->lightingSwitch(), Qt::LeftButton);
    EXPECT_FALSE(settings.enabled());
    EXPECT_FALSE(view->lightingSwitch()->isChecked());
    EXPECT_EQ(view->previewCaption()->text(), "Paused. Your Touch Bar is back to normal.");
    EXPECT_TRUE(preview->isRunning());

    // Switched back from elsewhere (the menu): the page follows.
    settings.setEnabled(true);
    EXPECT_TRUE(view->lightingSwitch()->isChecked());
    EXPECT_EQ(view->previewCaption()->text(), "Live preview matches your Touch Bar.");
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
    QFile blocker(dir.path() + "/file");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
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

TEST_F(SettingsViewTest, ScrollingThePageChangesNoSetting) {
    settings.setEffect(Effect::rainbowWave); // every slider and knob shown
    settings.sync();
    const auto fileBytes = [&] {
        QFile file(settings.filePath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    const QByteArray before = fileBytes();
    const auto view = makeView();
    view->resize(660, 500);
    view->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    QScrollBar* bar = view->scrollArea()->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);

    // The wheel turned down, then up, with the pointer over every part of the page as it passes.
    QWidget* viewport = view->scrollArea()->viewport();
    for (const int direction : {-120, 120}) {
        for (int pass = 0; pass < 2; ++pass) {
            for (int y = 10; y < viewport->height(); y += 45) {
                for (int x = 10; x < viewport->width(); x += 60) {
                    // As Qt delivers a real wheel: to the widget under the pointer, then to
                    // its parents until one accepts it (sent events do not propagate).
                    QWidget* under = viewport->childAt(x, y);
                    const QPointF global = viewport->mapToGlobal(QPointF(x, y));
                    for (QWidget* w = under ? under : viewport; w; w = w->parentWidget()) {
                        QWheelEvent wheel(w->mapFromGlobal(global), global, {},
                                          QPoint(0, direction), Qt::NoButton, Qt::NoModifier,
                                          Qt::NoScrollPhase, false);
                        QApplication::sendEvent(w, &wheel);
                        if (wheel.isAccepted()) {
                            break;
                        }
                    }
                }
            }
        }
        EXPECT_EQ(bar->value(), direction < 0 ? bar->maximum() : 0) << "the page did not scroll";
    }
    settings.sync();
    EXPECT_EQ(fileBytes(), before);
    EXPECT_EQ(settings.speed(), 1.0);
    EXPECT_EQ(settings.width(), 0.4);
    EXPECT_EQ(settings.cornerFraction(), 1.0);
    EXPECT_EQ(settings.angle(), 90.0);
}

TEST_F(SettingsViewTest, WindowKeysCloseItAndEscapeClosesAPopoverFirst) {
    const auto view = makeView();
    const auto showActive = [&] {
        view->show();
        QApplication::setActiveWindow(view.get());
        return QTest::qWaitForWindowActive(view.get());
    };
    ASSERT_TRUE(showActive());
    QTest::keyClick(view.get(), Qt::Key_W, Qt::ControlModifier);
    EXPECT_FALSE(view->isVisible());

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
