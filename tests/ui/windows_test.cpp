// What the three secondary windows share: title, fixed size, caption
// buttons, ownership, and that they draw something.
#include <QColor>
#include <QImage>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "hostdata/host_table.h"
#include "hostdata/settings_store.h"
#include "tests/support/temporary_directory.h"
#include "tests/ui/support/qt_application.h"
#include "tests/ui/support/scripted_dialogs.h"
#include "ui/add_host_window.h"
#include "ui/help_window.h"
#include "ui/settings_window.h"
#include "ui/window_geometry.h"

namespace quorbel {
namespace {

struct Fixtures {
    testing::TemporaryDirectory directory;
    SettingsStore settings{directory / "config.ini"};
    HostTable table;
    testing::ScriptedDialogs dialogs;
};

struct WindowCase {
    const char* name;
    std::function<std::unique_ptr<QDialog>(Fixtures&)> create;
    const char* title;
    QSize outerSize;
};

class SecondaryWindowTest : public testing::QtTest, public ::testing::WithParamInterface<WindowCase> {
protected:
    Fixtures fixtures_;
};

// Pixels dark enough to be text or outlines.
int darkPixels(const QImage& image) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (QColor(image.pixel(x, y)).lightness() < 80) ++count;
        }
    }
    return count;
}

TEST_P(SecondaryWindowTest, IsAFixedOwnedDialogWithoutMaximise) {
    const WindowCase& expected = GetParam();
    const std::unique_ptr<QDialog> window = expected.create(fixtures_);

    EXPECT_EQ(window->windowTitle(), QString::fromUtf8(expected.title));
    EXPECT_EQ(window->minimumSize(), clientSizeForOuter(expected.outerSize));
    EXPECT_EQ(window->maximumSize(), clientSizeForOuter(expected.outerSize));
    const Qt::WindowFlags flags = window->windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_FALSE(window->testAttribute(Qt::WA_DeleteOnClose));

    const QImage image = window->grab().toImage();
    EXPECT_EQ(image.size(), clientSizeForOuter(expected.outerSize));
    EXPECT_GT(darkPixels(image), 200) << "the window draws no text";
}

INSTANTIATE_TEST_SUITE_P(
    Windows, SecondaryWindowTest,
    ::testing::Values(
        WindowCase{"Settings",
                   [](Fixtures& f) { return std::make_unique<SettingsWindow>(f.settings, f.dialogs); }, "设置",
                   QSize(379, 313)},
        WindowCase{"AddHost",
                   [](Fixtures& f) {
                       return std::make_unique<AddHostWindow>(f.table, f.directory / "db.kdb", f.dialogs);
                   },
                   "新增主机", QSize(273, 181)},
        WindowCase{"Help", [](Fixtures&) { return std::make_unique<HelpWindow>(); }, "Help", QSize(486, 213)}),
    [](const auto& instance) { return std::string(instance.param.name); });

}  // namespace
}  // namespace quorbel
