// The tray icon must stand out on any panel, and installed icons win over the built-in ones.
#include "app/AppIcons.h"

#include "support/TextFiles.h"

#include <QDir>
#include <QFile>
#include <QIcon>
#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace lumora;

namespace {

double luminance(QRgb c) {
    return 0.2126 * qRed(c) + 0.7152 * qGreen(c) + 0.0722 * qBlue(c);
}

// The icon as a panel shows it at `side` pixels, laid over `panel`: the mean luminance difference
// of the pixels it covers from the bare panel.
double contrastOn(const QIcon& icon, QColor panel, int side) {
    const QImage shown =
        icon.pixmap(QSize(side, side)).toImage().convertToFormat(QImage::Format_ARGB32);
    const double under = luminance(panel.rgb());
    double sum = 0.0;
    int count = 0;
    for (int y = 0; y < shown.height(); ++y) {
        for (int x = 0; x < shown.width(); ++x) {
            const QRgb c = shown.pixel(x, y);
            const double a = qAlpha(c) / 255.0;
            if (a > 0.0) {
                sum += std::abs(a * luminance(c) + (1.0 - a) * under - under);
                ++count;
            }
        }
    }
    EXPECT_GT(count, shown.width() * shown.height() / 5) << "the icon covers almost nothing";
    return count ? sum / count : 0.0;
}

} // namespace

TEST(AppIcons, TrayIconStandsOutOnLightAndDarkPanels) {
    // Every source the tray icon may come from: the drawing and the bundled file.
    const QIcon bundled(QStringLiteral(":/lumora/lumora-tray.svg"));
    ASSERT_FALSE(bundled.pixmap(22, 22).isNull()) << "the bundled tray icon does not render";
    for (const auto& [name, icon] : {std::pair("drawn", icons::drawnTray()),
                                     std::pair("bundled", bundled)}) {
        for (const int side : {16, 22, 44}) {
            EXPECT_GE(contrastOn(icon, QColor(0xE0, 0xE0, 0xE0), side), 60.0) << name << side;
            EXPECT_GE(contrastOn(icon, QColor(0x20, 0x20, 0x20), side), 60.0) << name << side;
        }
    }
}

TEST(AppIcons, TheIconThemeComesFirstThenTheProgramsOwn) {
    // Without a theme entry, the program's own icons; they never depend on being installed.
    QIcon::setThemeSearchPaths({});
    EXPECT_FALSE(icons::tray().pixmap(22, 22).isNull());
    EXPECT_FALSE(icons::application().pixmap(64, 64).isNull());

    // A theme that has lumora-tray: that one is used, whatever it looks like.
    QTemporaryDir themes;
    const QString theme = themes.filePath("test-theme");
    ASSERT_TRUE(QDir().mkpath(theme + "/22x22/status"));
    writeText(theme + "/index.theme", "[Icon Theme]\nName=test-theme\nDirectories=22x22/status\n\n"
                                      "[22x22/status]\nSize=22\nContext=Status\nType=Fixed\n");
    QImage marker(22, 22, QImage::Format_ARGB32);
    marker.fill(QColor(0x12, 0x34, 0x56));
    ASSERT_TRUE(marker.save(theme + "/22x22/status/lumora-tray.png"));
    QIcon::setThemeSearchPaths({themes.path()});
    QIcon::setThemeName("test-theme");

    const QImage shown = icons::tray().pixmap(22, 22).toImage();
    EXPECT_EQ(shown.pixelColor(11, 11), QColor(0x12, 0x34, 0x56));
}
