#include "display/TouchBarPresenter.h"

#include "display/outputs/LayerShellBar.h"
#include "display/outputs/WindowBarOutput.h"
#include "support/FakeOutput.h"

#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>
#include <algorithm>
#include <gtest/gtest.h>

using namespace lumora;

namespace {

class TouchBarPresenterTest : public ::testing::Test {
protected:
    std::unique_ptr<TouchBarPresenter> makePresenter(double outputWidth = 1085.0) {
        auto output = std::make_unique<FakeOutput>(outputWidth);
        fake = output.get();
        return std::make_unique<TouchBarPresenter>(std::move(output), settings);
    }

    QTemporaryDir dir;
    Settings settings{dir.filePath("lumora.conf")};
    FakeOutput* fake = nullptr;
};

} // namespace

TEST_F(TouchBarPresenterTest, TicksOnlyWhilePresentedAndResumesWithoutAJump) {
    settings.setSpeed(1.0);
    auto bar = makePresenter();
    EXPECT_FALSE(bar->view().isRunning());

    bar->present();
    EXPECT_TRUE(fake->isShown());
    ASSERT_TRUE(QTest::qWaitFor([&] { return bar->view().tickCount() > 3; }));

    bar->dismiss();
    EXPECT_FALSE(fake->isShown());
    const double stoppedAt = bar->view().phase();
    const auto ticks = bar->view().tickCount();
    QTest::qWait(300);
    EXPECT_EQ(bar->view().tickCount(), ticks);

    bar->present();
    ASSERT_TRUE(QTest::qWaitFor([&] { return bar->view().tickCount() > ticks; }));
    // One frame's worth, not the 0.3 s spent dismissed.
    EXPECT_LT(bar->view().phase() - stoppedAt, 0.1);
}

TEST_F(TouchBarPresenterTest, FitsTheWidthTheOutputGivesAfterADelay) {
    struct Case {
        double output;
        double fitted;
    };
    const Case cases[] = {{1004.0, 1004.0}, {1085.4, 1085.0}, {80.0, 1085.0}, {1300.0, 1300.0}};
    std::vector<std::unique_ptr<TouchBarPresenter>> bars;
    for (const Case& c : cases) {
        bars.push_back(makePresenter(c.output));
        bars.back()->present();
        EXPECT_EQ(bars.back()->width(), 1085.0); // not before the delay
    }
    // Gone before its fit: the pending fit must not touch it.
    makePresenter(1004.0)->present();
    QTest::qWait(TouchBarPresenter::widthFitDelayMs + 150);

    for (std::size_t i = 0; i < bars.size(); ++i) {
        SCOPED_TRACE(cases[i].output);
        TouchBarPresenter& bar = *bars[i];
        EXPECT_EQ(bar.width(), cases[i].fitted);
        const int w = qRound(cases[i].fitted);
        EXPECT_EQ(bar.container().size(), QSize(w, 30));
        EXPECT_EQ(bar.view().geometry(), QRect(0, 0, w, 30));
        EXPECT_EQ(bar.closeButton().geometry(), QRect(w - 54, 0, 44, 30));
    }

    // The fitted width stays for the next presentation, and a dismissed bar is not fitted.
    TouchBarPresenter& fitted = *bars[0];
    fitted.dismiss();
    static_cast<FakeOutput&>(fitted.output()).width = 1200.0;
    QTest::qWait(TouchBarPresenter::widthFitDelayMs + 150);
    fitted.present();
    EXPECT_EQ(fitted.width(), 1004.0);
}

TEST_F(TouchBarPresenterTest, CloseButtonCallsBackOncePerClick) {
    auto bar = makePresenter();
    // The close button sits on top of the effect at the bar's right end.
    EXPECT_EQ(bar->container().childAt(1060, 15), &bar->closeButton());
    bar->present();
    CloseButton& button = bar->closeButton();
    ASSERT_TRUE(QTest::qWaitFor([&] { return button.isVisible(); }));
    QTest::mouseClick(&button, Qt::LeftButton); // no callback yet: nothing happens

    int calls = 0;
    bar->onClose = [&] { ++calls; };
    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_EQ(calls, 1);
    // Dismissing is the callback owner's decision.
    EXPECT_TRUE(bar->isPresented());

    // Hidden, it leaves the end of the bar to the effect.
    bar->setCloseVisible(false);
    EXPECT_EQ(bar->container().childAt(1060, 15), &bar->view());
}

TEST_F(TouchBarPresenterTest, GeometryDumpOnlyWhenAskedAfterEachPresentation) {
    const QString path = dir.filePath("geometry.txt");
    auto bar = std::make_unique<TouchBarPresenter>(std::make_unique<WindowBarOutput>(), settings);

    qunsetenv("LUMORA_DEBUG");
    bar->present();
    qputenv("LUMORA_DEBUG", path.toLocal8Bit()); // read when presenting, not later
    QTest::qWait(TouchBarPresenter::geometryDumpDelayMs + 300);
    EXPECT_FALSE(QFile::exists(path));

    bar->dismiss();
    bar->present();
    QTest::qWait(TouchBarPresenter::geometryDumpDelayMs / 2);
    EXPECT_FALSE(QFile::exists(path));
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(path); }, 1500));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n');
    ASSERT_EQ(lines.size(), 6) << lines.join(u'\n').toStdString(); // five lines and the end
    // Where the window really is on the screen, with the shortest numbers that say it.
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    const QString onScreen = TouchBarPresenter::describe(
        QRectF(area.x() + (area.width() - 1085) / 2, area.bottom() + 1 - 30, 1085, 30));
    EXPECT_EQ(lines[1], "QWidget frame=" + onScreen + " bounds=(0.0, 0.0, 1085.0, 30.0)");
    EXPECT_EQ(lines[3], "placement: x11");

    // A path that cannot be written is skipped quietly.
    qputenv("LUMORA_DEBUG", dir.filePath("missing/geometry.txt").toLocal8Bit());
    bar->present();
    QTest::qWait(TouchBarPresenter::geometryDumpDelayMs + 200);
    EXPECT_TRUE(bar->isPresented());
    qunsetenv("LUMORA_DEBUG");
}

TEST(WindowBarOutputTest, AFramelessBarAtTheBottomCentreThatNeverTakesTheFocus) {
    QWidget container;
    container.setFixedSize(1085, 30);
    auto output = std::make_unique<WindowBarOutput>();
    QWidget* window = output->windowWidget();
    EXPECT_FALSE(output->window());

    output->show(&container);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->windowHandle() && window->isVisible(); }));
    EXPECT_TRUE(window->windowFlags().testFlag(Qt::WindowDoesNotAcceptFocus));
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    const auto expected = [&](int w) {
        return QRect(area.x() + (area.width() - w) / 2, area.bottom() + 1 - 30, w, 30);
    };
    EXPECT_EQ(window->frameGeometry(), expected(1085));
    EXPECT_EQ(output->barWidth(), 1085.0);
    EXPECT_TRUE(container.isVisible());

    // A fitted container takes the window with it, still centred.
    container.setFixedSize(1004, 30);
    EXPECT_EQ(window->frameGeometry(), expected(1004));
    EXPECT_EQ(output->barWidth(), 1004.0);

    output->hide();
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(output->barWidth());

    // The container belongs to its owner and outlives the output.
    output->show(&container);
    output.reset();
    EXPECT_EQ(container.parentWidget(), nullptr);
    EXPECT_FALSE(container.isVisible());
}

// Asked for where no layer-shell can be had (here: not Wayland at all), the bar must not be
// left as a window without a role, which a compositor would never show.
TEST(WindowBarOutputTest, ALayerShellThatCannotBeHadLeavesAnOrdinaryWindowAndSaysSo) {
    QWidget container;
    container.setFixedSize(1085, 30);
    testing::internal::CaptureStderr();
    auto output = std::make_unique<WindowBarOutput>(BarPlacement::layerShell);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_NE(said.find("lumora: no layer-shell for the bar (not running on Wayland)"),
              std::string::npos)
        << said;
    EXPECT_EQ(output->placement(), BarPlacement::unplaced);

    output->show(&container);
    QWidget* window = output->windowWidget();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->windowHandle() && window->isVisible(); }));
    EXPECT_FALSE(window->windowFlags().testFlag(Qt::BypassWindowManagerHint));
    EXPECT_TRUE(window->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    ASSERT_TRUE(output->window());
    EXPECT_EQ(output->window()->placement, "unplaced");
    EXPECT_EQ(output->barWidth(), 1085.0);
}

TEST_F(TouchBarPresenterTest, CloseMarkReadsOverTheBrightestEffect) {
    settings.setEffect(Effect::solid);
    settings.setColor(RGB{1.0, 1.0, 1.0});
    settings.setBrightness(1.0);
    settings.setCornerFraction(0.0);
    auto bar = makePresenter();
    bar->present();
    for (const qreal ratio : {1.0, 2.0}) {
        SCOPED_TRACE(ratio);
        QImage image(QSize(1085, 30) * ratio, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(ratio);
        bar->container().render(&image);
        const auto at = [&](double x, double y) {
            return image.pixel(qFloor(x * ratio), qFloor(y * ratio));
        };
        // The mark is centred in the button, 10 points from the right end.
        const double cx = 1085 - 10 - 22;
        EXPECT_EQ(at(cx, 15), qRgb(255, 255, 255));
        // Beside the strokes the shadow darkens the white effect ...
        EXPECT_LT(qRed(at(cx, 15 - 2.5)), 235);
        EXPECT_LT(qRed(at(cx - 3.5, 15)), 235);
        // ... but not beyond the button.
        EXPECT_EQ(at(cx - 30, 15), qRgb(255, 255, 255));
    }
}

namespace {

// Stands in for the compositor's layer-shell: attaches at once, as sway does.
class FakeLayer : public LayerShellBar {
public:
    bool attach(QWindow*, QSize size) override {
        ++attaches;
        asked = size;
        attached = true;
        return true;
    }
    void resize(QSize size) override { asked = size; }
    void detach() override { attached = false; }
    bool isAttached() const override { return attached; }

    int attaches = 0;
    bool attached = false;
    QSize asked;
};

} // namespace

// The compositor may take the bar away (its output went): it comes back by itself, but not
// after it was dismissed meanwhile; and a narrower size the compositor gives is the bar's width.
TEST(WindowBarOutputTest, ALayerSurfaceTakenAwayComesBackOnlyWhileWanted) {
    QWidget container;
    container.setFixedSize(1085, 30);
    auto owned = std::make_unique<FakeLayer>();
    FakeLayer* layer = owned.get();
    WindowBarOutput output(std::move(owned));
    EXPECT_TRUE(output.windowWidget()->windowFlags().testFlag(Qt::BypassWindowManagerHint));

    output.show(&container);
    ASSERT_TRUE(output.isShown());
    EXPECT_EQ(layer->attaches, 1);
    EXPECT_EQ(layer->asked.height(), 30);
    ASSERT_TRUE(output.window());
    EXPECT_EQ(output.window()->placement, "layer-shell");
    layer->onConfigure(QSize(1000, 30));
    EXPECT_EQ(output.barWidth(), 1000.0);

    layer->onClosed();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !output.isShown(); }));
    EXPECT_FALSE(layer->attached);
    ASSERT_TRUE(QTest::qWaitFor([&] { return output.isShown(); }));
    EXPECT_EQ(layer->attaches, 2);

    layer->onClosed();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !output.isShown(); }));
    output.hide(); // dismissed while taken away
    QTest::qWait(1500);
    EXPECT_FALSE(output.isShown());
    EXPECT_EQ(layer->attaches, 2);
}
