#include "display/outputs/DrmBarOutput.h"

#include "display/TouchBarPresenter.h"
#include "display/outputs/drm/FrameGate.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>
#include <cstring>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <vector>

using namespace lumora;

namespace {

// What the fake panel's owner can see and steer from the test.
struct PanelLog {
    int opened = 0;
    int closed = 0;
    int submitted = 0;
    bool slow = false;     // flushes stay in flight until finishFlush()
    bool failNext = false; // the next submit is refused by the "kernel"
    int eventFd = -1;
    PixelFormat format = PixelFormat::xrgb8888; // of the next panel opened
    QImage last;
};

// A panel of a given mode that keeps what it is sent. With `slow`, each flush completes only
// when the test says so, through a real descriptor, as a DRM page-flip event would.
class FakePanel : public BarPanel {
public:
    FakePanel(PanelLog& log, int width, int height)
        : m_log(log), m_layout(width, height), m_format(log.format) {
        ++m_log.opened;
        m_log.eventFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    }
    ~FakePanel() override {
        ::close(m_log.eventFd);
        m_log.eventFd = -1;
        ++m_log.closed;
    }
    const PanelLayout& layout() const override { return m_layout; }
    const std::string& device() const override { return m_device; }
    PixelFormat format() const override { return m_format; }
    bool wantsFrame() override { return m_gate.offer() == FrameGate::Offer::push; }
    bool draw(const BufferPainter& painter, DrmFailure* failure) override {
        if (m_log.failNext) {
            m_gate.reset();
            *failure = {DrmFailure::Kind::failed, m_device, "sending a frame", ENODEV};
            return false;
        }
        // Drawn into a scan-out buffer of the mode's size, read back as the bar shows it.
        const std::size_t size = bytesPerPixel(m_format);
        const std::size_t pitch = static_cast<std::size_t>(m_layout.modeWidth()) * size;
        m_buffer.assign(pitch * static_cast<std::size_t>(m_layout.modeHeight()), 0x5a);
        painter.paint({m_buffer.data(), pitch, m_format});
        m_log.last = QImage(m_layout.length(), m_layout.depth(), QImage::Format_RGB32);
        for (int y = 0; y < m_layout.depth(); ++y) {
            for (int x = 0; x < m_layout.length(); ++x) {
                const PanelLayout::Position at = m_layout.bufferPosition(x, y);
                const std::uint8_t* p = m_buffer.data() + static_cast<std::size_t>(at.row) * pitch +
                                        static_cast<std::size_t>(at.column) * size;
                std::uint32_t pixel = 0;
                if (m_format == PixelFormat::bgr888) {
                    pixel =
                        0xff000000u | std::uint32_t{p[0]} << 16 | std::uint32_t{p[1]} << 8 | p[2];
                } else {
                    std::memcpy(&pixel, p, 4);
                }
                m_log.last.setPixel(x, y, pixel);
            }
        }
        ++m_log.submitted;
        if (!m_log.slow) {
            m_gate.completed();
        }
        return true;
    }
    int eventFd() const override { return m_log.eventFd; }
    bool handleEvents() override {
        eventfd_t value = 0;
        eventfd_read(m_log.eventFd, &value);
        return m_gate.completed();
    }

private:
    PanelLog& m_log;
    PanelLayout m_layout;
    PixelFormat m_format;
    std::vector<std::uint8_t> m_buffer;
    FrameGate m_gate;
    std::string m_device = "/dev/dri/card7";
};

void finishFlush(PanelLog& log) {
    eventfd_write(log.eventFd, 1);
}

class DrmBarOutputTest : public ::testing::Test {
protected:
    void SetUp() override {
        settings.setEffect(Effect::solid);
        settings.setColor({1.0, 0.0, 0.0});
        settings.setBrightness(1.0);
    }

    std::unique_ptr<TouchBarPresenter> makeBar(int width = 60, int height = 2008,
                                               std::optional<DrmFailure> refuse = {}) {
        auto output = std::make_unique<DrmBarOutput>(
            [this, width, height, refuse](DrmFailure& failure) -> std::unique_ptr<BarPanel> {
                if (refuse) {
                    failure = *refuse;
                    return nullptr;
                }
                return std::make_unique<FakePanel>(log, width, height);
            },
            DrmBarOutput::TouchFactory{});
        out = output.get();
        out->report = [this](const QString& line) { reports.append(line); };
        return std::make_unique<TouchBarPresenter>(std::move(output), settings);
    }

    QTemporaryDir dir;
    Settings settings{dir.filePath("lumora.conf")};
    PanelLog log;
    DrmBarOutput* out = nullptr;
    QStringList reports;
};

// The share of bright, nearly white pixels in a rectangle of the sent picture: the close
// button's cross.
double whiteShare(const QImage& image, QRect area) {
    int white = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            QRgb p = image.pixel(x, y);
            white += qRed(p) > 200 && qGreen(p) > 200 && qBlue(p) > 200;
        }
    }
    return static_cast<double>(white) / (area.width() * area.height());
}

} // namespace

TEST_F(DrmBarOutputTest, PaintsTheBarAtThePanelsResolutionAndFitsItsWidth) {
    auto bar = makeBar(60, 2008);
    bar->present();
    ASSERT_EQ(log.last.size(), QSize(2008, 60));

    // The presenter reads the panel: 2008 pixels at 60 give a 1004-point bar, drawn 2:1.
    ASSERT_TRUE(QTest::qWaitFor([&] { return bar->width() == 1004.0; }));
    QTest::qWait(50);
    EXPECT_EQ(bar->container().width(), 1004);
    EXPECT_EQ(bar->closeButton().geometry(), QRect(1004 - 54, 0, 44, 30));
    const QImage shot = log.last;

    // The solid red fills the middle; the rounded ends leave the corners dark.
    const QRgb middle = shot.pixel(1000, 30);
    EXPECT_GT(qRed(middle), 200);
    EXPECT_LT(qGreen(middle), 40);
    EXPECT_EQ(shot.pixel(0, 0) & 0xffffff, 0u);
    EXPECT_EQ(shot.pixel(2007, 59) & 0xffffff, 0u);

    // The close button's cross sits 10 points from the right end, 44 points wide: pixels
    // 2 * (1004 - 54) to 2 * (1004 - 10), and nowhere else.
    EXPECT_GT(whiteShare(shot, QRect(1900, 0, 88, 60)), 0.02);
    EXPECT_EQ(whiteShare(shot, QRect(1700, 0, 180, 60)), 0.0);

    // A tap on the bar clicks the button, as a click does on the virtual bar.
    int closes = 0;
    bar->onClose = [&] { ++closes; };
    out->tapClose();
    EXPECT_EQ(closes, 1);

    // Hiding the button sends a new picture without it, and taps then do nothing.
    const int withButton = log.submitted;
    bar->setCloseVisible(false);
    EXPECT_EQ(log.submitted, withButton + 1);
    EXPECT_EQ(whiteShare(log.last, QRect(1900, 0, 88, 60)), 0.0);
    out->tapClose();
    EXPECT_EQ(closes, 1);

    // The outline follows the corner setting from the next frame on, both ways.
    for (const double corner : {0.0, 1.0}) {
        const int before = log.submitted;
        settings.setCornerFraction(corner);
        ASSERT_TRUE(QTest::qWaitFor([&] { return log.submitted > before; }));
        const bool square = corner == 0.0;
        EXPECT_EQ(qRed(log.last.pixel(0, 0)) > 200, square) << corner;
        EXPECT_EQ(qRed(log.last.pixel(2007, 59)) > 200, square) << corner;
        EXPECT_GT(qRed(log.last.pixel(1000, 30)), 200);
    }
    EXPECT_TRUE(reports.isEmpty());
}

// The Touch Bar takes three-byte R, G, B pixels as they are: the bar, its rounded ends and its
// close button look the same in them as in XRGB8888.
TEST_F(DrmBarOutputTest, ThreeBytePixelsShowWhatFourBytePixelsShow) {
    settings.setColor({1.0, 0.5, 0.25}); // every channel its own level
    QImage shots[2];
    for (const PixelFormat format : {PixelFormat::xrgb8888, PixelFormat::bgr888}) {
        log.format = format;
        auto bar = makeBar(60, 2008);
        bar->present();
        ASSERT_TRUE(QTest::qWaitFor([&] { return bar->width() == 1004.0; }));
        QTest::qWait(50);
        shots[format == PixelFormat::bgr888] = log.last;
        bar->dismiss();
    }
    ASSERT_FALSE(shots[0].isNull());
    EXPECT_EQ(qRed(shots[0].pixel(1000, 30)), 255);
    EXPECT_NEAR(qGreen(shots[0].pixel(1000, 30)), 128, 1);
    EXPECT_NEAR(qBlue(shots[0].pixel(1000, 30)), 64, 1);
    EXPECT_GT(whiteShare(shots[0], QRect(1900, 0, 88, 60)), 0.02);
    EXPECT_TRUE(shots[1] == shots[0]);
}

// The end of a flush wakes nothing by itself: it is read when the next frame needs the panel.
// A still picture brings no next frame, yet what was dropped while a flush lasted goes out:
// the latest of the dropped pictures, once.
TEST_F(DrmBarOutputTest, AFinishedFlushWaitsForTheNextFrameAndNothingDroppedIsLost) {
    log.slow = true;
    const auto unread = [&] {
        pollfd ready{log.eventFd, POLLIN, 0};
        return ::poll(&ready, 1, 0) == 1;
    };
    auto bar = makeBar(60, 2170); // already the bar's width: no fitting sends a frame
    bar->present();
    ASSERT_EQ(log.submitted, 1);
    finishFlush(log);
    QTest::qWait(100);
    EXPECT_TRUE(unread());

    settings.setColor({0.0, 0.0, 1.0});
    ASSERT_TRUE(QTest::qWaitFor([&] { return log.submitted == 2; }));
    EXPECT_FALSE(unread());

    settings.setColor({1.0, 0.0, 0.0});
    ASSERT_TRUE(QTest::qWaitFor([&] { return out->framesDropped() == 1; }));
    QTest::qWait(100);
    EXPECT_EQ(out->framesDropped(), 1) << "a still picture is offered once";
    settings.setColor({0.0, 1.0, 0.0});
    ASSERT_TRUE(QTest::qWaitFor([&] { return out->framesDropped() == 2; }));
    EXPECT_EQ(log.submitted, 2);
    finishFlush(log);
    ASSERT_TRUE(QTest::qWaitFor([&] { return log.submitted == 3; }));
    EXPECT_GT(qGreen(log.last.pixel(1000, 30)), 200);
    EXPECT_LT(qRed(log.last.pixel(1000, 30)) + qBlue(log.last.pixel(1000, 30)), 100);
    QTest::qWait(100);
    EXPECT_EQ(log.submitted, 3);
}

TEST_F(DrmBarOutputTest, DismissReleasesThePanelAndPresentTakesItAgain) {
    settings.setEffect(Effect::rainbowWave);
    auto bar = makeBar();
    bar->present();
    bar->dismiss();
    EXPECT_EQ(log.closed, 1);
    EXPECT_FALSE(out->isShown());
    const int sent = log.submitted;
    QTest::qWait(100);
    EXPECT_EQ(log.submitted, sent);

    bar->present();
    EXPECT_EQ(log.opened, 2);
    ASSERT_TRUE(QTest::qWaitFor([&] { return log.submitted > sent + 2; }));
    // Presenting again, as after a wake, takes the panel afresh.
    bar->present();
    EXPECT_EQ(log.opened, 3);
    EXPECT_EQ(log.closed, 2);
    bar.reset(); // quitting dismisses too
    EXPECT_EQ(log.closed, 3);
}

TEST_F(DrmBarOutputTest, ProblemsAreReportedInOneLineAndNothingIsHeld) {
    auto busy = makeBar(60, 2008, DrmFailure{DrmFailure::Kind::busy, "/dev/dri/card1", "", EBUSY});
    busy->present();
    EXPECT_FALSE(out->isShown());
    ASSERT_EQ(reports.size(), 1);
    EXPECT_TRUE(reports[0].contains("/dev/dri/card1"));
    busy->dismiss();

    // The bar vanishing mid-run (a USB reset) is said once, and the card is let go.
    reports.clear();
    settings.setEffect(Effect::rainbowWave);
    auto bar = makeBar();
    bar->present();
    log.failNext = true;
    ASSERT_TRUE(QTest::qWaitFor([&] { return log.closed == 1; }));
    QTest::qWait(100);
    ASSERT_EQ(reports.size(), 1);
    EXPECT_TRUE(reports[0].contains("sending a frame"));
    EXPECT_FALSE(out->isShown());
}
