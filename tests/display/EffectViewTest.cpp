#include "display/EffectView.h"

#include "display/CloseButton.h"

#include <QBackingStore>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <chrono>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>

using namespace lumora;

namespace {

// Counts the paint events `widget` gets from now on.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        paints += event->type() == QEvent::Paint;
        return false;
    }
};

// The straightforward way to show a frame: stretch it over the whole view, then cut the
// rounded corners out with coverage, and lay that on the backdrop if there is one.
QImage plainCompose(const Frame& frame, QSize size, double radius, QColor backdrop) {
    QImage out(size, QImage::Format_ARGB32_Premultiplied);
    out.fill(Qt::transparent);
    QPainter painter(&out);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRectF bounds(QPointF(0, 0), QSizeF(size));
    painter.drawImage(bounds, QImage(frame.data(), frame.width(), frame.height(),
                                     frame.bytesPerLine(), QImage::Format_RGBA8888));
    if (radius > 0.0) {
        QPainterPath corners;
        corners.setFillRule(Qt::OddEvenFill);
        corners.addRect(bounds);
        corners.addRoundedRect(bounds, radius, radius);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setCompositionMode(QPainter::CompositionMode_Clear);
        painter.fillPath(corners, Qt::black);
    }
    painter.end();
    if (!backdrop.isValid()) {
        return out;
    }
    QImage onBackdrop(size, QImage::Format_ARGB32_Premultiplied);
    onBackdrop.fill(backdrop);
    QPainter(&onBackdrop).drawImage(0, 0, out);
    return onBackdrop;
}

int largestDifference(const QImage& a, const QImage& b) {
    int largest = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            largest =
                std::max({largest, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                          std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q))});
        }
    }
    return largest;
}

// Shown, exposed and past its first paints.
bool showSettled(QWidget* widget) {
    widget->show();
    const bool exposed = QTest::qWaitForWindowExposed(widget);
    QTest::qWait(100);
    return exposed;
}

// Real seconds, for views that tick on their own timers.
double steadySeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

class EffectViewTest : public ::testing::Test {
protected:
    // The view's clock is `now`, moved by hand.
    auto makeView(int w, int h, std::optional<Effect> effect = {}, std::optional<QSize> fixed = {},
                  bool follows = false) {
        return std::make_unique<EffectView>(w, h, 60, fixed, effect, follows, settings,
                                            [this] { return now; });
    }

    QTemporaryDir dir;
    const QString shot = dir.filePath("shot.png");
    Settings settings{dir.filePath("lumora.conf")};
    double now = 100.0;
};

} // namespace

TEST_F(EffectViewTest, AdvancesFromAFirstFrameByClockTimesSpeedCappedAndSkipsTimeStopped) {
    settings.setSpeed(2.0);
    auto view = makeView(240, 20);
    EXPECT_FALSE(view->isRunning());
    EXPECT_EQ(view->currentFrame().width(), 240); // drawn before it is ever started

    now += 1.0 / 60.0;
    view->tick();
    EXPECT_NEAR(view->phase(), 1.0 + 2.0 / 60.0, 1e-9);
    double before = view->phase();
    now += 2.0; // the GUI thread stalled
    view->tick();
    EXPECT_NEAR(view->phase() - before, 0.25 * 2.0, 1e-9);

    view->stop(); // harmless while stopped
    before = view->phase();
    now += 3600.0;
    view->start();
    now += 0.1;
    view->start(); // already running: must not restart the clock
    // The timer ticks on its own, and the hour spent stopped never reaches the phase.
    ASSERT_TRUE(QTest::qWaitFor([&] { return view->phase() > before; }));
    EXPECT_NEAR(view->phase() - before, 0.1 * 2.0, 1e-9);
    view->stop(); // one stop ends it: there was only one timer
    EXPECT_FALSE(view->isRunning());
}

// A speed far outside the knob's range, read from a file or a preset, runs but never carries the
// phase to infinity.
TEST_F(EffectViewTest, AnAbsurdSpeedKeepsThePhaseFinite) {
    settings.setEffect(Effect::matrix);
    for (double speed : {1e308, -1e308}) {
        settings.setSpeed(speed);
        auto view = makeView(120, 10);
        for (int i = 0; i < 40; ++i) {
            now += 0.25;
            view->tick();
            ASSERT_TRUE(std::isfinite(view->phase())) << speed << " after " << i + 1 << " ticks";
        }
        EXPECT_FALSE(view->currentFrame().isNull());
    }
}

TEST_F(EffectViewTest, OverrideEffectReplacesOnlyTheEffect) {
    settings.setEffect(Effect::rainbowWave);
    settings.setColor(RGB{1.0, 0.0, 0.0});
    settings.setBrightness(0.5);
    auto view = makeView(64, 8, Effect::solid);
    // Solid, but in the settings' colour and brightness.
    const auto solid = view->currentFrame().pixel(32, 4);
    EXPECT_EQ(std::vector<int>(solid.begin(), solid.begin() + 3), std::vector<int>({128, 0, 0}));

    view->setOverrideEffect(std::nullopt);
    view->tick();
    EXPECT_TRUE(view->currentFrame().sameBytes(
        EffectRenderer(64, 8).render(settings.params(), view->phase())));
}

TEST_F(EffectViewTest, SnapshotHasTheViewsSizeOrFailsWithAReasonWritingNothing) {
    settings.setEffect(Effect::rainbowWave);
    settings.setCornerFraction(0.0);
    auto view = makeView(240, 20, {}, QSize(1085, 30));
    EXPECT_FALSE(view->writePNG(dir.filePath("missing/shot.png"), 2.3));
    EXPECT_FALSE(view->errorString().isEmpty());
    QDir(dir.path()).mkdir("taken");
    EXPECT_FALSE(view->writePNG(dir.filePath("taken"), 2.3));
    EXPECT_FALSE(view->errorString().isEmpty());
    // Not even a temporary file is left beside the target.
    EXPECT_EQ(QDir(dir.path()).entryList({"missing*", "taken*"}, QDir::AllEntries | QDir::Hidden),
              QStringList{"taken"});

    const double phase = view->phase();
    ASSERT_TRUE(view->writePNG(shot, 2.3)) << view->errorString().toStdString();
    const QImage image(shot);
    EXPECT_EQ(image.size(), QSize(1085, 30));
    EXPECT_DOUBLE_EQ(view->phase(), phase);
    // Stretched, not tiled or cropped: the far corner shows the frame's far corner.
    const auto far = EffectRenderer(240, 20).render(settings.params(), 2.3).pixel(239, 19);
    EXPECT_EQ(image.pixel(1084, 29), qRgb(far[0], far[1], far[2]));
    // Rounded ends are cut out on black, not left transparent.
    settings.setCornerFraction(1.0);
    ASSERT_TRUE(view->writePNG(shot, 2.3)) << view->errorString().toStdString();
    EXPECT_EQ(QImage(shot).pixel(0, 0), qRgb(0, 0, 0));
}

TEST_F(EffectViewTest, FollowsItsWindow) {
    QWidget window;
    QWidget container(&window);
    auto view = makeView(240, 20, {}, {}, true);
    view->setParent(&container);
    EXPECT_FALSE(view->isRunning());
    const auto runs = [&] { return QTest::qWaitFor([&] { return view->isRunning(); }); };

    window.show();
    EXPECT_TRUE(runs());
    window.showMinimized();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !view->isRunning(); }));
    window.showNormal();
    EXPECT_TRUE(runs());

    // An ancestor moves to a window that is not shown.
    QWidget hidden;
    container.setParent(&hidden);
    EXPECT_FALSE(view->isRunning());
    container.setParent(&window);
    container.show();
    EXPECT_TRUE(runs());

    // Taken out of every window, then back.
    view->setParent(nullptr);
    EXPECT_FALSE(view->isRunning());
    view->setParent(&container);
    EXPECT_TRUE(runs());
    window.hide();
    EXPECT_FALSE(view->isRunning());
    view.reset(); // the window outlives the view
}

TEST_F(EffectViewTest, StillEffectIsNeitherRenderedNorRepaintedUntilSomethingChanges) {
    settings.setEffect(Effect::solid);
    settings.setSpeed(1.0);
    auto view = makeView(240, 20);
    ASSERT_TRUE(showSettled(view.get()));
    PaintCounter counter(view.get());

    int ticks = 0;
    const auto next = [&] {
        now += 1.0 / 60.0;
        ++ticks;
        view->tick();
    };
    // Ticks that change nothing: the same frame, no paint, but the phase runs on.
    const auto staysStill = [&] {
        const std::uint8_t* shown = view->currentFrame().data();
        counter.paints = 0;
        for (int i = 0; i < 3; ++i) {
            next();
        }
        QTest::qWait(100); // a repaint would happen meanwhile
        return view->currentFrame().data() == shown && counter.paints == 0;
    };
    const auto redrawsAfter = [&](const std::function<void()>& change, bool newFrame) {
        const std::uint8_t* shown = view->currentFrame().data();
        counter.paints = 0;
        change();
        next();
        return (view->currentFrame().data() != shown) == newFrame &&
               QTest::qWaitFor([&] { return counter.paints > 0; });
    };

    EXPECT_TRUE(staysStill());
    EXPECT_NEAR(view->phase(), 1.0 + ticks / 60.0, 1e-9);
    // Colour and brightness make a new frame; the outline and the size change the picture, not
    // the frame.
    const RGB blue{0.2, 0.4, 0.6};
    const std::pair<bool, std::function<void()>> changes[] = {
        {true, [&] { settings.setColor(blue); }},
        {true, [&] { settings.setBrightness(0.5); }},
        {false, [&] { settings.setCornerFraction(0.25); }},
        {false, [&] { view->resize(300, 24); }}};
    for (std::size_t i = 0; i < std::size(changes); ++i) {
        EXPECT_TRUE(redrawsAfter(changes[i].second, changes[i].first)) << "change " << i;
        EXPECT_TRUE(staysStill()) << "after change " << i;
    }
    settings.setSpeed(3.0); // moves the phase, not the picture
    EXPECT_TRUE(staysStill());

    // A moving effect is drawn every tick, from the phase the still one kept running.
    const double phase = view->phase();
    view->setOverrideEffect(Effect::inferno);
    EXPECT_TRUE(redrawsAfter([] {}, true));
    EXPECT_NEAR(view->phase(), phase + 3.0 / 60.0, 1e-9);
    EXPECT_TRUE(redrawsAfter([] {}, true));
    // A moving effect whose next frame has the very same bytes (here, stopped) keeps the
    // frame it shows and is not repainted either.
    settings.setSpeed(0.0);
    EXPECT_TRUE(staysStill());
    settings.setSpeed(3.0);
    EXPECT_TRUE(redrawsAfter([] {}, true));
    view->setOverrideEffect(std::nullopt);
    EXPECT_TRUE(redrawsAfter([] {}, true));
    EXPECT_TRUE(staysStill());
}

// The bar paints each new frame inside its tick; previews sharing a window leave it to one
// repaint of the window after all of them ticked.
TEST_F(EffectViewTest, PaintsANewFrameWithinItsTickOnlyWhenAskedTo) {
    settings.setEffect(Effect::inferno);
    for (const bool atOnce : {true, false}) {
        auto view = makeView(240, 20);
        view->setPaintsAtOnce(atOnce);
        ASSERT_TRUE(showSettled(view.get()));
        PaintCounter counter(view.get());
        now += 1.0 / 60.0;
        view->tick();
        EXPECT_EQ(counter.paints, atOnce ? 1 : 0) << "at once: " << atOnce;
        EXPECT_TRUE(QTest::qWaitFor([&] { return counter.paints == 1; }));
        QTest::qWait(50);
        EXPECT_EQ(counter.paints, 1) << "painted again with nothing new, at once: " << atOnce;

        // Hidden, a tick paints nothing, now or later.
        view->hide();
        counter.paints = 0;
        now += 1.0 / 60.0;
        view->tick();
        QTest::qWait(50);
        EXPECT_EQ(counter.paints, 0) << "at once: " << atOnce;
    }
}

TEST_F(EffectViewTest, ShowsWhatAPlainStretchAndCutWouldShow) {
    settings.setEffect(Effect::inferno);
    struct Case {
        int renderW, renderH;
        QSize size;
        double corner;
        QColor backdrop = {}; // the card face an opaque view stands on
    };
    const QColor face(30, 60, 200);
    // Bar, preview, gentle corners, square corners, views so small that the ends meet, and
    // opaque views on a card's face.
    for (const Case& c :
         {Case{1085, 30, {1085, 30}, 1.0}, Case{240, 20, {300, 24}, 1.0},
          Case{240, 20, {300, 24}, 0.3}, Case{240, 20, {300, 24}, 0.0}, Case{64, 8, {9, 6}, 1.0},
          Case{64, 8, {3, 20}, 1.0}, Case{240, 20, {300, 24}, 1.0, face},
          Case{64, 8, {9, 6}, 1.0, face}, Case{1085, 30, {1085, 30}, 1.0, face},
          Case{1085, 30, {1085, 30}, 0.0, face}}) {
        settings.setCornerFraction(c.corner);
        auto view = makeView(c.renderW, c.renderH, {}, c.size);
        const double radius = std::min(c.corner * c.size.height() / 2.0,
                                       std::min(c.size.width(), c.size.height()) / 2.0);
        if (c.backdrop.isValid()) {
            view->setBackdrop(c.backdrop);
            ASSERT_TRUE(view->testAttribute(Qt::WA_OpaquePaintEvent));
        }
        // A stretched frame goes through two separable passes, each rounded to bytes with
        // 1/128 weights, where Qt rounds once: a few levels apart at most, never a misplaced
        // pixel or channel.
        const bool stretched = c.size != QSize(c.renderW, c.renderH);
        // Several frames, so recycled frame buffers come round again.
        for (int frame = 0; frame < 5; ++frame) {
            const QImage shown =
                view->grab().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
            ASSERT_EQ(shown.size(), c.size);
            const QImage plain = plainCompose(view->currentFrame(), c.size, radius, c.backdrop);
            EXPECT_LE(largestDifference(shown, plain), stretched ? 4 : 1)
                << c.size.width() << " x " << c.size.height() << " corner " << c.corner << " frame "
                << frame << (c.backdrop.isValid() ? " on a face" : "");
            now += 0.2;
            view->tick();
        }
    }
}

namespace {

// What the window's backing store holds where `widget` lies.
QImage storedPicture(QWidget* widget) {
    QWidget* top = widget->window();
    const auto* stored = static_cast<const QImage*>(top->backingStore()->paintDevice());
    return stored->copy(QRect(widget->mapTo(top, QPoint(0, 0)), widget->size()))
        .convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

QImage grabbed(QWidget* widget) {
    return widget->grab().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

} // namespace

// An opaque bar writes each new frame into its window's memory with no paint event, and what
// it writes is what a paint would show.
TEST_F(EffectViewTest, AnOpaqueViewWritesItsFramesStraightIntoItsWindowAsAPaintWould) {
    settings.setEffect(Effect::inferno);
    struct Case {
        int renderW, renderH;
        QSize size;
        double corner;
    };
    // The bar with round and square ends, a stretched view, and a view that is nearly all
    // rounded ends. A view that is not opaque paints, as PaintsANewFrameWithinItsTick... checks.
    for (const Case& c : {Case{1085, 30, {1085, 30}, 1.0}, Case{1085, 30, {1085, 30}, 0.0},
                          Case{240, 20, {300, 24}, 1.0}, Case{9, 6, {9, 6}, 1.0}}) {
        settings.setCornerFraction(c.corner);
        auto view = makeView(c.renderW, c.renderH, {}, c.size);
        view->setPaintsAtOnce(true);
        view->setBackdrop(QColor(30, 60, 200));
        ASSERT_TRUE(showSettled(view.get()));
        PaintCounter counter(view.get());
        for (int frame = 0; frame < 3; ++frame) {
            counter.paints = 0;
            now += 0.2;
            view->tick();
            SCOPED_TRACE(testing::Message() << c.size.width() << " x " << c.size.height()
                                            << " corner " << c.corner << " frame " << frame);
            EXPECT_EQ(counter.paints, 0);
            EXPECT_EQ(view->directFrames(), static_cast<std::uint64_t>(frame + 1));
            // Written now, not when the event loop comes round.
            EXPECT_EQ(largestDifference(storedPicture(view.get()), grabbed(view.get())), 0);
        }
    }
}

// A widget over the bar (its close button) is laid over every frame written straight in, in
// the look it last painted: pressed, hidden, moved.
TEST_F(EffectViewTest, AFrameWrittenStraightInKeepsTheOverlayOnTop) {
    settings.setEffect(Effect::inferno);
    QWidget bar;
    bar.resize(1085, 30);
    auto view = makeView(1085, 30, {}, QSize(1085, 30));
    view->setParent(&bar);
    view->setPaintsAtOnce(true);
    view->setBackdrop(QColor(Qt::black));
    CloseButton button(&bar);
    button.setFixedSize(CloseButton::buttonSize);
    button.move(1031, 0);
    view->setOverlay(&button);
    ASSERT_TRUE(showSettled(&bar));

    const auto shows = [&](const char* what) {
        now += 0.2;
        view->tick();
        const std::uint64_t written = view->directFrames();
        // Painted straight onto the frame, the button's antialiased edges round a little
        // differently from its picture laid over it.
        EXPECT_LE(largestDifference(storedPicture(&bar), grabbed(&bar)), 2) << what;
        return written;
    };
    std::uint64_t written = shows("at rest");
    button.setDown(true); // repaints itself through Qt, which a later frame must not undo
    QTest::qWait(20);
    EXPECT_GT(shows("pressed"), written);
    button.setDown(false);
    QTest::qWait(20);
    button.move(500, 0);
    written = shows("moved");
    button.hide();
    QTest::qWait(20);
    EXPECT_GT(shows("hidden"), written);
    button.show();
    QTest::qWait(20);
    shows("shown again");
}

namespace {

// A 700-wide window with a plain viewport 400 wide at (200, 10), over content 900 wide (as
// high as the viewport) that can be scrolled sideways.
struct ScrolledWindow {
    explicit ScrolledWindow(int height) : content(new QWidget) {
        window.resize(700, height + 30);
        scroll.setFrameShape(QFrame::NoFrame);
        scroll.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        scroll.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        scroll.setGeometry(200, 10, 400, height);
        content->setFixedSize(900, height);
    }
    // Once the content holds what the test puts in it.
    bool show() {
        scroll.setWidget(content);
        return showSettled(&window);
    }
    void scrollTo(int x) {
        scroll.horizontalScrollBar()->setValue(x);
        QTest::qWait(50);
    }
    // What the window's memory holds at `rect`.
    QImage stored(const QRect& rect) {
        const auto* image = static_cast<const QImage*>(window.backingStore()->paintDevice());
        return image->copy(rect).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }
    QWidget window;
    QScrollArea scroll{&window};
    QWidget* content;
};

} // namespace

// A stretched view on a card's face paints its frame straight into the window's memory: the
// same bytes a paint through QPainter gives, and nothing outside the part that is in sight
// (a card half scrolled out of the page).
TEST_F(EffectViewTest, AnOpaqueStretchedViewPaintsOnlyWhereItIsSeen) {
    settings.setEffect(Effect::inferno);
    ScrolledWindow page(60);
    auto view = makeView(240, 20, {}, QSize(300, 24));
    view->setParent(page.content);
    view->move(50, 18);
    view->setBackdrop(QColor(30, 60, 200));
    ASSERT_TRUE(page.show());

    const auto nextFrame = [&] {
        now += 0.2;
        view->tick();
        QTest::qWait(50);
    };
    // In full sight: the whole view as a grab (which paints through QPainter) shows it, for a
    // new frame and when the same frame is painted again (copied from the view's own image).
    for (int frame = 0; frame < 2; ++frame) {
        nextFrame();
        EXPECT_EQ(largestDifference(storedPicture(view.get()), grabbed(view.get())), 0);
        view->repaint();
        EXPECT_EQ(largestDifference(storedPicture(view.get()), grabbed(view.get())), 0);
    }
    // Scrolled so its left half lies under the window left of the scroll area: that part of
    // the window keeps its pixels, and the half in sight still shows the frame.
    page.scrollTo(200);
    const QRect outside(50, 28, 150, 24);
    const QImage before = page.stored(outside);
    for (int frame = 0; frame < 2; ++frame) {
        nextFrame();
        EXPECT_EQ(largestDifference(page.stored(outside), before), 0) << "frame " << frame;
        const QRect seen(150, 0, 150, 24); // the view's right half, in its own points
        EXPECT_EQ(
            largestDifference(page.stored(seen.translated(view->mapTo(&page.window, QPoint(0, 0)))),
                              grabbed(view.get()).copy(seen)),
            0)
            << "frame " << frame;
    }
}

// Previews that tick on one timer are written into their window together, with one flush, and
// show what a paint would; one that something covers, or that lies partly out of sight, leaves
// every pixel outside its visible part alone.
TEST_F(EffectViewTest, PreviewsTickingTogetherAreWrittenInOneGoOnlyWhereTheyAreSeen) {
    settings.setEffect(Effect::inferno);
    ScrolledWindow page(110);
    std::vector<EffectView*> views;
    for (int i = 0; i < 3; ++i) {
        auto* view = new EffectView(240, 20, 30, QSize(300, 24), std::nullopt, false, settings,
                                    steadySeconds, page.content);
        view->move(50, 10 + 34 * i);
        view->setBackdrop(QColor(30, 60, 200));
        views.push_back(view);
    }
    // Stacked above the last view, over its right end.
    auto* cover = new QWidget(page.content);
    cover->setGeometry(300, 70, 100, 30);
    cover->setAutoFillBackground(true);
    cover->setPalette(QPalette(QColor(250, 200, 0)));
    ASSERT_TRUE(page.show());

    const auto run = [&] {
        for (EffectView* view : views) {
            view->start();
        }
        QTest::qWait(300);
        for (EffectView* view : views) {
            view->stop();
        }
    };
    const QRect covered(cover->mapTo(&page.window, QPoint(0, 0)), cover->size());
    const QImage coverBefore = page.stored(covered);
    run();
    for (int i = 0; i < 2; ++i) {
        EXPECT_GT(views[i]->directFrames(), 5u) << "view " << i;
        EXPECT_EQ(largestDifference(storedPicture(views[i]), grabbed(views[i])), 0) << i;
    }
    EXPECT_EQ(views[2]->directFrames(), 0u) << "a covered view is repainted as a widget";
    EXPECT_EQ(largestDifference(page.stored(covered), coverBefore), 0);

    // Scrolled so the views' left halves lie under the window left of the scroll area.
    page.scrollTo(200);
    const QRect outside(50, 20, 150, 58);
    const QImage before = page.stored(outside);
    const std::uint64_t written = views[0]->directFrames();
    run();
    EXPECT_GT(views[0]->directFrames(), written + 5);
    EXPECT_EQ(largestDifference(page.stored(outside), before), 0);
    const QRect seen(150, 0, 150, 24); // the right half, in the view's own points
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(largestDifference(
                      page.stored(seen.translated(views[i]->mapTo(&page.window, QPoint(0, 0)))),
                      grabbed(views[i]).copy(seen)),
                  0)
            << i;
    }
}

namespace {

// Paints narrow stripes, one of them in a colour that can change, as the page paints the live
// preview's glow: a picture laid a pixel off would show.
class Behind : public QWidget {
public:
    using QWidget::QWidget;
    QColor colour{200, 40, 90};

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        for (int x = 0; x < width(); x += 3) {
            painter.fillRect(QRect(x, 0, 3, height()),
                             x % 2 == 0 ? colour : QColor(20, 220, 160 - x % 100));
        }
    }
};

} // namespace

// A preview with no backdrop (the live preview over its glow) keeps what its parent painted
// under it, and its new frames, written with the others, lie over that as a paint would lay
// them: also once the parent paints something else there.
TEST_F(EffectViewTest, APreviewWithNoBackdropIsWrittenOverWhatLiesBehindIt) {
    settings.setEffect(Effect::scanner);
    settings.setCornerFraction(1.0);
    Behind window;
    window.resize(400, 80);
    auto* view = new EffectView(240, 20, 45, QSize(300, 30), std::nullopt, false, settings,
                                steadySeconds, &window);
    view->move(50, 25);
    ASSERT_TRUE(showSettled(&window));
    const QRect place(view->mapTo(&window, QPoint(0, 0)), view->size());
    const auto painted = [&] {
        return window.grab(place).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    };
    for (const QColor colour : {QColor(200, 40, 90), QColor(10, 10, 250)}) {
        window.colour = colour;
        window.repaint();
        const std::uint64_t written = view->directFrames();
        view->start();
        QTest::qWait(300);
        view->stop();
        EXPECT_GT(view->directFrames(), written + 5) << colour.name().toStdString();
        EXPECT_EQ(largestDifference(storedPicture(view), painted()), 0)
            << colour.name().toStdString();
    }
}
