#include "app/main_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QTest>
#include <QTimer>
#include <sys/stat.h>

#include <functional>

#include "hostdata/host_list_file.h"
#include "shutdown/owned_shutdown_sequence.h"
#include "tests/support/fake_prober.h"
#include "tests/support/shutdown_fakes.h"
#include "tests/support/temporary_directory.h"
#include "tests/ui/support/qt_application.h"
#include "tests/ui/support/scripted_dialogs.h"
#include "ui/texts.h"

namespace quorbel {
namespace {

using namespace std::chrono_literals;
using testing::DialogCall;
using testing::FakeProber;
using testing::RecordingShutdownBackend;
using testing::ScriptedDialogs;
using testing::TemporaryDirectory;

// Two hosts as a previous run left them, with probe results in the file.
std::string fixtureHostList() {
    HostTable table;
    for (const auto& [name, address] : {std::pair{"网关", "127.0.0.1"}, std::pair{"db", "127.0.0.2"}}) {
        const int row = table.appendRow(name, RowState::Answered);
        table.setCellText(row, AddressColumn, address);
        table.setCellText(row, ResponseColumn, "3ms");
        table.setCellText(row, FailureCountColumn, "4");
    }
    return encodeHostList(table.snapshot());
}

ino_t inodeOf(const std::filesystem::path& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 ? status.st_ino : 0;
}

// Runs `inside` once the modal window opened by `open` is up, then closes it.
// Returns the title of the window that was modal, or empty when none was.
QString titleOfModalOpenedBy(const std::function<void()>& open, const std::function<void(QWidget&)>& inside = {}) {
    QString title;
    QTimer::singleShot(0, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal) return;
        title = modal->windowTitle();
        if (inside) inside(*modal);
        if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
    });
    open();
    return title;
}

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing::ensureQtApplication();
        testing::writeFileBytes(hostListPath(), fixtureHostList());
        settings = std::make_shared<SettingsStore>(directory / "config.ini");
    }

    std::filesystem::path hostListPath() const { return directory / "db.kdb"; }

    std::unique_ptr<MainWindow> makeWindow() {
        MainWindowServices services;
        services.dataDirectory = directory.path();
        services.prober = prober;
        services.log = log;
        services.dialogs = &dialogs;
        services.shutdownSequence = makeShutdownSequence(
            {settings, tasks, backend, std::make_shared<testing::FixedWallClock>(), log});
        services.trayAvailable = [this] { return trayAvailable; };
        return std::make_unique<MainWindow>(std::move(services), settings);
    }

    // Lets queued table changes reach the list.
    static void settle() { QCoreApplication::processEvents(); }

    void waitForRound(MainWindow& window) {
        ASSERT_TRUE(window.probeRound().waitUntilIdle(5s));
        settle();
    }

    QString shownText(MainWindow& window, int row, int column) {
        auto* view = window.findChild<QTableView*>("listView");
        return view->model()->index(row, column).data().toString();
    }

    TemporaryDirectory directory;
    std::shared_ptr<SettingsStore> settings;
    std::shared_ptr<FakeProber> prober = std::make_shared<FakeProber>();
    std::shared_ptr<testing::FakeTaskRunner> tasks = std::make_shared<testing::FakeTaskRunner>();
    std::shared_ptr<RecordingShutdownBackend> backend = std::make_shared<RecordingShutdownBackend>();
    std::shared_ptr<testing::RecordingEventLog> log = std::make_shared<testing::RecordingEventLog>();
    ScriptedDialogs dialogs;
    bool trayAvailable = true;
};

TEST_F(MainWindowTest, StartsWithSavedHostsNotYetProbedAndTheTimerRunning) {
    auto window = makeWindow();
    auto* view = window->findChild<QTableView*>("listView");
    ASSERT_NE(view, nullptr);
    ASSERT_EQ(view->model()->rowCount(), 2);
    EXPECT_EQ(shownText(*window, 0, NameColumn), "网关");
    EXPECT_EQ(shownText(*window, 1, AddressColumn), "127.0.0.2");
    for (int row = 0; row < 2; ++row) {
        EXPECT_EQ(shownText(*window, row, ResponseColumn), "");
        EXPECT_EQ(shownText(*window, row, FailureCountColumn), "");
        EXPECT_EQ(window->table()->rowState(row), RowState::NotProbed);
        EXPECT_FALSE(view->model()->index(row, NameColumn).data(Qt::DecorationRole).isNull());
    }
    EXPECT_EQ(window->windowTitle(), "Ostrane v2.1");
    EXPECT_TRUE(window->probeTimer().isActive());
    EXPECT_EQ(window->probeTimer().interval(), 15000);
    EXPECT_EQ(view->model()->headerData(3, Qt::Horizontal).toString(), "无响应计数");
}

TEST_F(MainWindowTest, RefreshProbesEveryHostAndTheListShowsTheResults) {
    prober->answer("127.0.0.1", 5);
    auto window = makeWindow();
    window->toolbarClicked(static_cast<int>(ToolbarAction::Refresh));
    waitForRound(*window);
    EXPECT_EQ(shownText(*window, 0, ResponseColumn), "5ms");
    EXPECT_EQ(shownText(*window, 1, ResponseColumn), "-");
    EXPECT_EQ(shownText(*window, 1, FailureCountColumn), "1");
}

TEST_F(MainWindowTest, ToolbarOpensEachSecondaryWindowModally) {
    auto window = makeWindow();
    const std::vector<std::pair<ToolbarAction, QString>> cases = {
        {ToolbarAction::Add, texts::addHostTitle()},
        {ToolbarAction::Settings, texts::settingsTitle()},
        {ToolbarAction::Help, texts::helpTitle()},
    };
    for (const auto& [action, title] : cases) {
        EXPECT_EQ(titleOfModalOpenedBy([&] { window->toolbarClicked(static_cast<int>(action)); }), title);
    }
    // Closing them left the host list alone.
    EXPECT_EQ(testing::readFileBytes(hostListPath()), fixtureHostList());
}

TEST_F(MainWindowTest, OpeningAnOpenWindowAgainOnlyActivatesIt) {
    auto window = makeWindow();
    int settingsWindows = -1;
    const QString title = titleOfModalOpenedBy([&] { window->openSettings(); },
                                               [&](QWidget&) {
                                                   window->openSettings();  // from the tray menu
                                                   settingsWindows = window->findChildren<QDialog*>().size();
                                               });
    EXPECT_EQ(title, texts::settingsTitle());
    EXPECT_EQ(settingsWindows, 1);
}

TEST_F(MainWindowTest, DeleteRemovesTheSelectedHostAndSavesTheList) {
    auto window = makeWindow();
    auto* view = window->findChild<QTableView*>("listView");
    view->selectRow(0);
    window->toolbarClicked(static_cast<int>(ToolbarAction::Delete));
    settle();
    ASSERT_EQ(window->table()->rowCount(), 1);
    EXPECT_EQ(window->table()->cellText(0, NameColumn), "db");
    HostTable reloaded;
    applyHostList(reloaded, load(hostListPath()));
    ASSERT_EQ(reloaded.rowCount(), 1);
    EXPECT_EQ(reloaded.cellText(0, NameColumn), "db");
}

TEST_F(MainWindowTest, DeleteWithNothingSelectedRewritesTheListUnchanged) {
    // The list as loaded: probe results cleared.
    auto window = makeWindow();
    const std::string loaded = encodeHostList(window->table()->snapshot());
    const ino_t before = inodeOf(hostListPath());
    window->toolbarClicked(static_cast<int>(ToolbarAction::Delete));
    EXPECT_EQ(window->table()->rowCount(), 2);
    EXPECT_EQ(testing::readFileBytes(hostListPath()), loaded);
    EXPECT_NE(inodeOf(hostListPath()), before) << "the file was not rewritten";
}

TEST_F(MainWindowTest, FailedSaveAfterDeleteIsToldToTheOperator) {
    auto window = makeWindow();
    // A directory where the file should be: the save cannot replace it.
    std::filesystem::remove(hostListPath());
    std::filesystem::create_directory(hostListPath());
    testing::writeFileBytes(hostListPath() / "keep", "x");
    window->toolbarClicked(static_cast<int>(ToolbarAction::Delete));
    const auto warnings = dialogs.callsOf(DialogCall::Kind::Warn);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_TRUE(warnings[0].text.contains("db.kdb")) << warnings[0].text.toStdString();
}

TEST_F(MainWindowTest, CloseAsksAndNoKeepsTheProgramProbing) {
    auto window = makeWindow();
    ASSERT_TRUE(testing::showActive(*window));
    dialogs.scriptYesNo(false);
    EXPECT_FALSE(window->close());
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->probeTimer().isActive());
    const auto questions = dialogs.callsOf(DialogCall::Kind::AskYesNo);
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0].caption, "关闭");
    EXPECT_EQ(questions[0].text, "你确定要关闭此程序吗?");

    // Esc asks the same question.
    QTest::keyClick(window.get(), Qt::Key_Escape);
    EXPECT_EQ(dialogs.callsOf(DialogCall::Kind::AskYesNo).size(), 2u);
    EXPECT_TRUE(window->isVisible());

    dialogs.scriptYesNo(true);
    EXPECT_TRUE(window->close());
    EXPECT_FALSE(window->isVisible());
}

TEST_F(MainWindowTest, TrayExitAsksFirst) {
    auto window = makeWindow();
    window->show();
    dialogs.scriptYesNo(false);
    window->exitFromTray();
    EXPECT_TRUE(window->isVisible());
    dialogs.scriptYesNo(true);
    window->exitFromTray();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(dialogs.callsOf(DialogCall::Kind::AskYesNo).size(), 2u);
}

TEST_F(MainWindowTest, HideLeavesTheTrayIconAndATrayClickBringsTheWindowBack) {
    auto window = makeWindow();
    window->show();
    window->toolbarClicked(static_cast<int>(ToolbarAction::Hide));
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(window->trayIcon().isVisible());
    window->trayActivated(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(window->isVisible());
}

TEST_F(MainWindowTest, WithoutANotificationAreaHideMinimisesInstead) {
    trayAvailable = false;
    auto window = makeWindow();
    window->show();
    window->toolbarClicked(static_cast<int>(ToolbarAction::Hide));
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->isMinimized());
}

TEST_F(MainWindowTest, LocalProbeFailureIsShownAndCountsNothing) {
    prober->setResult("127.0.0.1", ProbeResult{-1, "ICMP sockets refused"});
    prober->setResult("127.0.0.2", ProbeResult{-1, "ICMP sockets refused"});
    auto window = makeWindow();
    window->toolbarClicked(static_cast<int>(ToolbarAction::Refresh));
    waitForRound(*window);
    settle();
    EXPECT_TRUE(window->statusText().contains("ICMP sockets refused")) << window->statusText().toStdString();
    EXPECT_EQ(shownText(*window, 0, FailureCountColumn), "");
    EXPECT_TRUE(backend->records().empty());
    int logged = 0;
    for (const auto& entry : log->entries()) logged += entry.message.find("ICMP sockets refused") != std::string::npos;
    EXPECT_EQ(logged, 1);
}

TEST_F(MainWindowTest, FiredTriggerStopsTheTimerShowsWhyAndItsShutdownIsNotHeldUp) {
    ASSERT_TRUE(settings->write("shutdownType", "1").ok());
    prober->answer("127.0.0.1", 1);
    auto window = makeWindow();
    window->show();
    window->toolbarClicked(static_cast<int>(ToolbarAction::Refresh));
    waitForRound(*window);
    settle();

    EXPECT_FALSE(window->probeTimer().isActive());
    EXPECT_EQ(window->probeRound().runningWorkers(), 0);
    ASSERT_EQ(backend->calls(), std::vector{RecordingShutdownBackend::Call::SchedulePowerOff});
    EXPECT_TRUE(window->statusText().contains("方式1")) << window->statusText().toStdString();
    EXPECT_EQ(window->table()->cellText(0, FailureCountColumn), "");
    EXPECT_EQ(window->table()->cellText(1, FailureCountColumn), "1");

    // The program's own shutdown closes it without the question.
    EXPECT_TRUE(window->close());
    EXPECT_TRUE(dialogs.callsOf(DialogCall::Kind::AskYesNo).empty());
}

TEST_F(MainWindowTest, FailedShutdownIsShownAndCloseStillAsks) {
    backend->setResult(Status::failure("Access denied"));
    auto window = makeWindow();
    window->show();
    window->toolbarClicked(static_cast<int>(ToolbarAction::Refresh));
    waitForRound(*window);
    settle();
    EXPECT_TRUE(window->statusText().contains("Access denied")) << window->statusText().toStdString();
    dialogs.scriptYesNo(false);
    EXPECT_FALSE(window->close());
}

TEST_F(MainWindowTest, WorkersStillProbingWhenTheWindowGoesFinishSafely) {
    prober->answer("127.0.0.1", 1);
    prober->hold("127.0.0.2");
    auto window = makeWindow();
    window->toolbarClicked(static_cast<int>(ToolbarAction::Refresh));
    prober->waitForProbes("127.0.0.2", 1);
    window.reset();
    prober->release("127.0.0.2");
    // The worker records its miss and runs the trigger after the window is gone.
    for (int attempt = 0; attempt < 500 && backend->records().empty(); ++attempt) std::this_thread::sleep_for(10ms);
    settle();
    EXPECT_EQ(backend->records().size(), 1u);
}

}  // namespace
}  // namespace quorbel
