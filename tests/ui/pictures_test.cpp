#include "resources/pictures.h"

#include <QColor>
#include <QImage>

#include <gtest/gtest.h>

#include "tests/ui/support/qt_application.h"

namespace quorbel {
namespace {

namespace pictures = quorbel::pictures;

enum class Hue { Red, Green, Blue, Yellow, Grey, Amber };

bool hasHue(QColor colour, Hue hue) {
    const int r = colour.red(), g = colour.green(), b = colour.blue();
    switch (hue) {
    case Hue::Red: return r > 150 && g < 100 && b < 100;
    case Hue::Green: return g > 120 && r < 100 && b < 120;
    case Hue::Blue: return b > 150 && r < 100;
    case Hue::Yellow: return r > 200 && g > 170 && b < 100;
    case Hue::Grey: return std::abs(r - g) < 12 && std::abs(g - b) < 12 && r > 60 && r < 220;
    case Hue::Amber: return r > 200 && g > 120 && g < 210 && b < 90;
    }
    return false;
}

using PicturesTest = testing::QtTest;

TEST_F(PicturesTest, ToolbarHasAnIconForEveryButtonButTheSeparator) {
    for (int position = -1; position <= 7; ++position) {
        const QIcon icon = pictures::toolbarIcon(position);
        const bool isButton = position >= 0 && position <= 6 && position != 3;
        ASSERT_EQ(icon.isNull(), !isButton) << position;
        if (!isButton) continue;
        const QImage image = icon.pixmap(32, 32).toImage();
        EXPECT_EQ(image.size(), QSize(32, 32)) << position;
        EXPECT_EQ(image.pixelColor(0, 0).alpha(), 0) << "corners stay transparent, position " << position;
    }
    // The three discs are blue with a white sign in the middle.
    for (const int position : {1, 5, 6}) {
        const QImage image = pictures::toolbarIcon(position).pixmap(32, 32).toImage();
        EXPECT_TRUE(hasHue(image.pixelColor(5, 16), Hue::Blue)) << position;
        EXPECT_EQ(image.pixelColor(16, 16), QColor(Qt::white)) << position;
    }
}

TEST_F(PicturesTest, StatePicturesAreGreenGreyAndAmber) {
    const Hue hues[] = {Hue::Green, Hue::Grey, Hue::Amber};
    for (int state = 0; state < 3; ++state) {
        const QImage image = pictures::statePicture(state).toImage();
        ASSERT_EQ(image.size(), QSize(12, 12)) << state;
        EXPECT_TRUE(hasHue(image.pixelColor(6, 8), hues[state])) << state;
    }
    EXPECT_TRUE(pictures::statePicture(-1).isNull());
    EXPECT_TRUE(pictures::statePicture(3).isNull());
}

TEST_F(PicturesTest, ProgramPictureIsAQuarteredShieldWithAGreyRim) {
    const QImage image = pictures::programPicture().toImage();
    ASSERT_EQ(image.size(), QSize(48, 48));
    EXPECT_TRUE(hasHue(image.pixelColor(14, 14), Hue::Red));
    EXPECT_TRUE(hasHue(image.pixelColor(34, 14), Hue::Green));
    EXPECT_TRUE(hasHue(image.pixelColor(14, 30), Hue::Blue));
    EXPECT_TRUE(hasHue(image.pixelColor(34, 30), Hue::Yellow));
    EXPECT_TRUE(hasHue(image.pixelColor(2, 20), Hue::Grey));
    EXPECT_EQ(image.pixelColor(1, 46).alpha(), 0);

    EXPECT_FALSE(pictures::trayIcon().pixmap(24, 24).isNull());
    EXPECT_EQ(pictures::trayIcon().availableSizes(), QList<QSize>{QSize(24, 24)});
    EXPECT_TRUE(pictures::programIcon().availableSizes().contains(QSize(48, 48)));
    EXPECT_TRUE(pictures::programIcon().availableSizes().contains(QSize(16, 16)));
}

}  // namespace
}  // namespace quorbel
