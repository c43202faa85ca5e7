#include "ui/settings_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <string>

#include "hostdata/settings_store.h"
#include "tests/support/temporary_directory.h"
#include "tests/ui/support/qt_application.h"
#include "tests/ui/support/scripted_dialogs.h"
#include "ui/fail_limit_edit.h"
#include "ui/texts.h"

namespace quorbel {
namespace {

using testing::childNamed;
using testing::DialogCall;

constexpr std::array kModeOptionNames{"modeNormal1Option", "modeNormal2Option", "modeForce1Option",
                                      "modeForce2Option"};

class SettingsWindowTest : public testing::QtTest {
protected:
    ~SettingsWindowTest() override { QDir::setCurrent(startDirectory_); }

    void writeSettings(const std::string& text) { testing::writeFileBytes(settingsPath_, text); }
    std::string settingsBytes() const { return testing::readFileBytes(settingsPath_); }

    QRadioButton& option(SettingsWindow& window, const char* name) { return childNamed<QRadioButton>(window, name); }
    QLineEdit& failLimit(SettingsWindow& window) { return childNamed<QLineEdit>(window, "failLimitEdit"); }
    QCheckBox& runTask(SettingsWindow& window) { return childNamed<QCheckBox>(window, "runTaskCheck"); }
    QLineEdit& taskPath(SettingsWindow& window) { return childNamed<QLineEdit>(window, "taskPathEdit"); }
    void press(SettingsWindow& window, const char* buttonName) { childNamed<QPushButton>(window, buttonName).click(); }

    // Index of the checked method option, or -1 when none is.
    int checkedMode(SettingsWindow& window) {
        for (int index = 0; index < static_cast<int>(kModeOptionNames.size()); ++index) {
            if (option(window, kModeOptionNames[index]).isChecked()) return index;
        }
        return -1;
    }

    // Moves the focus from the limit box to the path box, as a click elsewhere does.
    void leaveFailLimit(SettingsWindow& window) {
        failLimit(window).setFocus();
        ASSERT_TRUE(failLimit(window).hasFocus());
        taskPath(window).setFocus();
        ASSERT_FALSE(failLimit(window).hasFocus());
    }

    testing::TemporaryDirectory directory_;
    std::filesystem::path settingsPath_ = directory_ / "config.ini";
    SettingsStore store_{settingsPath_};
    testing::ScriptedDialogs dialogs_;
    QString startDirectory_ = QDir::currentPath();
};

struct LoadCase {
    const char* name;
    std::optional<std::string> file;  // none: no settings file at all
    bool anyHost;
    bool allHosts;
    const char* limit;
    int mode;  // index into kModeOptionNames, -1 none
    bool runTask;
    const char* path;
};

class SettingsWindowLoadTest : public SettingsWindowTest, public ::testing::WithParamInterface<LoadCase> {};

TEST_P(SettingsWindowLoadTest, ShowsTheStoredSettings) {
    const LoadCase& expected = GetParam();
    if (expected.file) writeSettings(*expected.file);
    SettingsWindow window(store_, dialogs_);

    EXPECT_EQ(option(window, "anyHostOption").isChecked(), expected.anyHost);
    EXPECT_EQ(option(window, "allHostsOption").isChecked(), expected.allHosts);
    EXPECT_EQ(failLimit(window).text(), QString::fromUtf8(expected.limit));
    EXPECT_EQ(checkedMode(window), expected.mode);
    EXPECT_EQ(runTask(window).isChecked(), expected.runTask);
    EXPECT_EQ(taskPath(window).text(), QString::fromUtf8(expected.path));
}

INSTANTIATE_TEST_SUITE_P(
    Files, SettingsWindowLoadTest,
    ::testing::Values(
        LoadCase{"NoFile", std::nullopt, true, false, "1", 0, false, ""},
        LoadCase{"EveryKey",
                 "[config]\nshutdownBy=all\ncount=3\nshutdownType=3\nrun=on\npath=/opt/备份 任务.sh\n", false, true,
                 "3", 2, true, "/opt/备份 任务.sh"},
        LoadCase{"TextLimit", "[config]\ncount=abc\n", true, false, "abc", 0, false, ""},
        LoadCase{"UnknownValues", "[config]\nshutdownBy=ANY\nshutdownType=7\nrun=yes\n", false, false, "1", -1,
                 false, ""}),
    [](const auto& instance) { return std::string(instance.param.name); });

TEST_F(SettingsWindowTest, LimitBoxTakesOnlyDigitsAndMinusButLetsPastePass) {
    SettingsWindow window(store_, dialogs_);
    QLineEdit& limit = failLimit(window);
    limit.clear();

    QTest::keyClicks(&limit, "a1b2-c x");
    EXPECT_EQ(limit.text(), "12-");

    QGuiApplication::clipboard()->setText("7x");
    QTest::keyClick(&limit, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(limit.text(), "12-7x");
}

TEST_F(SettingsWindowTest, LeavingTheLimitBoxRewritesItAsAnInteger) {
    struct Case {
        const char* typed;
        const char* shown;
    };
    const Case cases[] = {
        {"abc", ""}, {"0", ""}, {"007", "7"}, {"-0", ""}, {"12-3", "12"},
        {"-15", "-15"}, {"99999999999", "2147483647"}, {"-99999999999", "-2147483648"}, {"", ""},
    };
    SettingsWindow window(store_, dialogs_);
    ASSERT_TRUE(testing::showActive(window));
    for (const Case& item : cases) {
        failLimit(window).setText(QString::fromUtf8(item.typed));
        leaveFailLimit(window);
        EXPECT_EQ(failLimit(window).text(), QString::fromUtf8(item.shown)) << "typed " << item.typed;
    }
}

TEST_F(SettingsWindowTest, ZeroTypedAndLeftIsSavedAsTheEmptyLimit) {
    SettingsWindow window(store_, dialogs_);
    ASSERT_TRUE(testing::showActive(window));
    failLimit(window).setFocus();
    failLimit(window).selectAll();
    QTest::keyClicks(&failLimit(window), "0");
    leaveFailLimit(window);
    EXPECT_EQ(failLimit(window).text(), "");

    press(window, "saveButton");

    EXPECT_EQ(store_.read(settings::kCount, "unset"), "");
}

TEST_F(SettingsWindowTest, SaveWritesEverySettingInOrderThenTellsAndCloses) {
    SettingsWindow window(store_, dialogs_);
    ASSERT_TRUE(testing::showActive(window));
    option(window, "allHostsOption").setChecked(true);
    option(window, "modeForce2Option").setChecked(true);
    runTask(window).setChecked(true);
    taskPath(window).setText("/usr/local/bin/备份.sh");

    press(window, "saveButton");

    EXPECT_EQ(store_.read(settings::kShutdownBy, ""), "all");
    EXPECT_EQ(store_.read(settings::kCount, ""), "1");
    EXPECT_EQ(store_.read(settings::kShutdownType, ""), "4");
    EXPECT_EQ(store_.read(settings::kRun, ""), "on");
    EXPECT_EQ(store_.read(settings::kPath, ""), "/usr/local/bin/备份.sh");
    // A fresh file lists the keys in the order they were written.
    const std::string bytes = settingsBytes();
    std::size_t previous = 0;
    for (const char* key : {"shutdownBy=", "count=", "shutdownType=", "run=", "path="}) {
        const std::size_t position = bytes.find(key);
        ASSERT_NE(position, std::string::npos) << key;
        EXPECT_GE(position, previous) << key;
        previous = position;
    }
    ASSERT_EQ(dialogs_.calls().size(), 1u);
    EXPECT_EQ(dialogs_.calls()[0].kind, DialogCall::Kind::Inform);
    EXPECT_EQ(dialogs_.calls()[0].caption, "配置");
    EXPECT_EQ(dialogs_.calls()[0].text, "保存完毕！");
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.result(), QDialog::Accepted);
}

TEST_F(SettingsWindowTest, SettingsWithoutACheckedOptionAreLeftAsTheFileHasThem) {
    writeSettings("[config]\nshutdownBy=ANY\nshutdownType=7\nrun=on\n");
    SettingsWindow window(store_, dialogs_);

    press(window, "saveButton");

    EXPECT_EQ(store_.read(settings::kShutdownBy, "unset"), "ANY");
    EXPECT_EQ(store_.read(settings::kShutdownType, "unset"), "7");
    EXPECT_EQ(store_.read(settings::kRun, "unset"), "on");
    EXPECT_EQ(store_.read(settings::kCount, "unset"), "1");
    EXPECT_EQ(store_.read(settings::kPath, "unset"), "");
}

TEST_F(SettingsWindowTest, ClosingWithoutTheSaveButtonSavesNothing) {
    const std::string original = "[config]\r\nshutdownBy=any\r\ncount=5\r\n";
    enum class Way { CloseBox, Escape, Enter };
    for (const Way way : {Way::CloseBox, Way::Escape, Way::Enter}) {
        writeSettings(original);
        SettingsWindow window(store_, dialogs_);
        ASSERT_TRUE(testing::showActive(window));
        option(window, "allHostsOption").setChecked(true);
        failLimit(window).setText("9");
        taskPath(window).setText("/bin/true");

        switch (way) {
        case Way::CloseBox: window.close(); break;
        case Way::Escape: QTest::keyClick(&taskPath(window), Qt::Key_Escape); break;
        case Way::Enter: QTest::keyClick(&taskPath(window), Qt::Key_Return); break;
        }

        EXPECT_EQ(window.isVisible(), way == Way::Enter) << static_cast<int>(way);
        EXPECT_EQ(settingsBytes(), original) << static_cast<int>(way);
    }
    EXPECT_TRUE(dialogs_.calls().empty());
}

TEST_F(SettingsWindowTest, SaveFailureIsToldAndTheWindowStaysOpen) {
    testing::writeFileBytes(directory_ / "plain-file", "not a directory");
    const std::filesystem::path unwritable = directory_ / "plain-file" / "config.ini";
    SettingsStore store(unwritable);
    SettingsWindow window(store, dialogs_);
    ASSERT_TRUE(testing::showActive(window));

    press(window, "saveButton");

    ASSERT_EQ(dialogs_.calls().size(), 1u);
    const DialogCall& call = dialogs_.calls()[0];
    EXPECT_EQ(call.kind, DialogCall::Kind::Warn);
    EXPECT_EQ(call.caption, "配置");
    EXPECT_TRUE(call.text.contains(QString::fromStdString(unwritable.string()))) << call.text.toStdString();
    EXPECT_EQ(call.parent, &window);
    EXPECT_TRUE(window.isVisible());
}

TEST_F(SettingsWindowTest, BrowseRemembersTheLastConfirmedFile) {
    testing::TemporaryDirectory taskDirectory;
    const QString taskFile = QString::fromStdString((taskDirectory / "task.sh").string());
    SettingsWindow window(store_, dialogs_);
    taskPath(window).setText("typed by hand");

    dialogs_.scriptOpenFile("");  // cancelled on first use
    press(window, "browseButton");
    EXPECT_EQ(taskPath(window).text(), "typed by hand");

    dialogs_.scriptOpenFile(taskFile);
    press(window, "browseButton");
    EXPECT_EQ(taskPath(window).text(), taskFile);
    EXPECT_EQ(std::filesystem::current_path(), taskDirectory.path());

    taskPath(window).setText("edited again");
    dialogs_.scriptOpenFile("");  // cancelled after a confirmed choice
    press(window, "browseButton");
    EXPECT_EQ(taskPath(window).text(), taskFile);

    const auto choices = dialogs_.callsOf(DialogCall::Kind::ChooseOpenFile);
    ASSERT_EQ(choices.size(), 3u);
    EXPECT_EQ(choices[0].text, "");
    EXPECT_EQ(choices[1].text, "");
    EXPECT_EQ(choices[2].text, taskFile);
}

}  // namespace
}  // namespace quorbel
