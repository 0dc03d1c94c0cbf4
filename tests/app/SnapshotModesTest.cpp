// The knob sheet and the opened-window snapshot, in process; CommandLineTest runs them in the
// real program.
#include "app/KnobSheet.h"
#include "app/OpenedWindowSnapshot.h"
#include "app/PngFile.h"
#include "support/TextFiles.h"
#include "ui/AngleKnob.h"
#include "ui/SynthKnob.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QTextStream>
#include <QWidget>
#include <gtest/gtest.h>
#include <memory>

using namespace lumora;

namespace {

// One knob alone on the sheet's background, at the sheet's scale, glow margin included.
QImage lone(Knob& knob) {
    QImage image(knob.size() * 2, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(2);
    image.fill(KnobSheet::background());
    QPainter painter(&image);
    knob.render(&painter, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

// A knob's place on the sheet: its face's cell and the glow margin around it.
QImage cell(const QImage& sheet, int index) {
    const int x = KnobSheet::padding + index * (KnobSheet::knobSize + KnobSheet::spacing);
    const int m = Knob::glowMargin;
    return sheet.copy((x - m) * 2, (KnobSheet::padding - m) * 2, (KnobSheet::knobSize + 2 * m) * 2,
                      (KnobSheet::knobSize + 2 * m) * 2);
}

} // namespace

TEST(KnobSheet, SixKnobsInOrderOnAPaddedRowAtTwicePointSize) {
    const QImage sheet = KnobSheet::render();
    // 6 x 120 + 5 x 36 + 2 x 44 wide, 120 + 2 x 44 high, two pixels per point.
    ASSERT_EQ(sheet.size(), QSize(1976, 416));

    // The padding is the plain background.
    const QRgb background = KnobSheet::background().rgb();
    for (QPoint p : {QPoint(0, 0), QPoint(1975, 0), QPoint(0, 415), QPoint(1975, 415),
                     QPoint(988, 20), QPoint(988, 400)}) {
        EXPECT_EQ(sheet.pixel(p), background) << p.x() << "," << p.y();
    }

    // Each cell is exactly the right kind of knob at the right value: rotary knobs at 0, 0.5, 1
    // on the left, angle knobs at 0, 90, 45 on the right.
    std::vector<QImage> expected;
    for (double value : {0.0, 0.5, 1.0}) {
        SynthKnob knob(KnobSheet::knobSize);
        knob.setValue(value);
        expected.push_back(lone(knob));
    }
    for (double degrees : {0.0, 90.0, 45.0}) {
        AngleKnob knob(KnobSheet::knobSize);
        knob.setDegrees(degrees);
        expected.push_back(lone(knob));
    }
    for (int i = 0; i < KnobSheet::knobCount; ++i) {
        const QImage drawn = cell(sheet, i).convertToFormat(QImage::Format_RGB32);
        EXPECT_EQ(drawn, expected[i].convertToFormat(QImage::Format_RGB32)) << "knob " << i;
        // A knob body, not background, at the centre of every cell.
        EXPECT_NE(drawn.pixel(KnobSheet::knobSize, KnobSheet::knobSize), background) << i;
    }
    // The values show: the cells differ from one another.
    EXPECT_NE(cell(sheet, 0), cell(sheet, 2));
}

class OpenedWindow : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString errors;
    QTextStream err{&errors};
    std::vector<std::unique_ptr<QWidget>> windows;

    std::function<void()> opening(QStringList titles) {
        return [this, titles] {
            for (const QString& title : titles) {
                auto window = std::make_unique<QWidget>();
                window->setWindowTitle(title);
                window->resize(title == "Lumora" ? QSize(660, 800) : QSize(200, 100));
                window->show();
                windows.push_back(std::move(window));
            }
        };
    }
};

TEST_F(OpenedWindow, GrabsTheWindowTitledLumoraAmongOthers) {
    const QString path = dir.filePath("window.png");
    ASSERT_EQ(OpenedWindowSnapshot::write(path, opening({"Lumora Touch Bar", "Lumora"}), err), 0)
        << errors.toStdString();
    EXPECT_EQ(QImage(path).size(), QSize(660, 800));
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(OpenedWindow, NoSuchWindowIsAnErrorAndLeavesTheFileAlone) {
    // Capturing whatever window comes first would report a wrong picture as success.
    const QString path = dir.filePath("old.png");
    writeText(path, "old");
    EXPECT_EQ(OpenedWindowSnapshot::write(path, opening({"Lumora Touch Bar"}), err), 1);
    EXPECT_EQ(readText(path), "old");
    EXPECT_EQ(errors.count('\n'), 1);
    EXPECT_TRUE(errors.contains("no window titled \"Lumora\"")) << errors.toStdString();

    errors.clear();
    const QString missing = dir.filePath("no/such/folder/window.png");
    EXPECT_EQ(OpenedWindowSnapshot::write(missing, opening({"Lumora"}), err), 1);
    EXPECT_TRUE(errors.contains(missing)) << errors.toStdString();
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"old.png"});
}

TEST(PngFile, ReplacesALinkAtItsNameInsteadOfWritingThroughIt) {
    QTemporaryDir dir;
    const QString victim = dir.filePath("victim.txt");
    writeText(victim, "keep me");
    const QString link = dir.filePath("shot.png");
    const QString dangling = dir.filePath("dangling.png");
    ASSERT_TRUE(QFile::link(victim, link));
    ASSERT_TRUE(QFile::link(dir.filePath("planted.png"), dangling));

    QImage image(4, 3, QImage::Format_RGB32);
    image.fill(Qt::red);
    QString errors;
    QTextStream err(&errors);
    for (const QString& path : {link, dangling}) {
        EXPECT_EQ(lumora::writePngFile(image, path, err), 0) << errors.toStdString();
        EXPECT_FALSE(QFileInfo(path).isSymLink());
        EXPECT_EQ(QImage(path).size(), QSize(4, 3));
        EXPECT_TRUE(QFileInfo(path).permissions() & QFile::ReadOwner);
    }
    EXPECT_EQ(readText(victim), "keep me");
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("planted.png")));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 3);
}
