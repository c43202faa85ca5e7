#include "ui/help_window.h"

#include <QLabel>

#include <gtest/gtest.h>

#include "tests/ui/support/qt_application.h"

namespace quorbel {
namespace {

using testing::childNamed;

using HelpWindowTest = testing::QtTest;

TEST_F(HelpWindowTest, ShowsTheNameVersionAndUsageNotes) {
    HelpWindow window;

    EXPECT_EQ(window.windowTitle(), "Help");
    const QLabel& about = childNamed<QLabel>(window, "aboutLabel");
    EXPECT_TRUE(about.text().startsWith("Quorbel v2.1\n\n")) << about.text().toStdString();
    EXPECT_GT(about.text().size(), QString("Quorbel v2.1\n\n").size());
    EXPECT_EQ(about.font().pixelSize(), 16);
    EXPECT_TRUE(about.font().bold());
    EXPECT_EQ(about.palette().color(QPalette::WindowText), QColor(0, 136, 255));

    const QLabel& usage = childNamed<QLabel>(window, "usageLabel");
    EXPECT_EQ(usage.text(),
              "使用说明：\n\n"
              "①每15秒检测1次，当列表内的主机PING不通时将执行关机\n"
              "②支持4种关机方式，理论上第一种方式兼容性最好\n"
              "③支持关机之前执行一个任务，比如一个批处理或EXE（等待执行完毕）");
    EXPECT_EQ(usage.font().pixelSize(), 12);
    EXPECT_TRUE(usage.wordWrap());
    EXPECT_EQ(usage.palette().color(QPalette::WindowText), QColor(Qt::black));

    const QLabel& picture = childNamed<QLabel>(window, "helpPicture");
    EXPECT_EQ(picture.pixmap().size(), QSize(48, 48));
    EXPECT_EQ(picture.geometry(), QRect(16, 24, 48, 48));
}

}  // namespace
}  // namespace quorbel
