#include "monitor/trigger.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "shutdown/owned_shutdown_sequence.h"
#include "tests/support/recording_monitor_events.h"
#include "tests/support/shutdown_fakes.h"
#include "tests/support/temporary_directory.h"

namespace quorbel {
namespace {

using testing::FakeTaskRunner;
using testing::FixedWallClock;
using testing::RecordingEventLog;
using testing::RecordingMonitorEvents;
using testing::RecordingShutdownBackend;
using testing::TemporaryDirectory;

class CountingTimedRounds : public TimedRounds {
public:
    void stopTimedRounds() override { ++stops; }
    std::atomic<int> stops{0};
};

class TriggerTest : public ::testing::Test {
protected:
    void SetUp() override {
        settings = std::make_shared<SettingsStore>(directory / "config.ini");
        tasks = std::make_shared<FakeTaskRunner>();
        backend = std::make_shared<RecordingShutdownBackend>();
        log = std::make_shared<RecordingEventLog>();
        trigger = std::make_shared<Trigger>(
            table, settings,
            makeShutdownSequence({settings, tasks, backend, std::make_shared<FixedWallClock>(), log}), timedRounds,
            log, events);
    }

    RowId addHost(const std::string& name, const std::string& failures) {
        const int index = table->appendRow(name, RowState::Missed);
        table->setCellText(index, AddressColumn, "127.0.0.1");
        table->setCellText(index, FailureCountColumn, failures);
        return *table->rowId(index);
    }
    void setFailures(RowId id, int failures) {
        table->updateRow(id, [&](HostRow& row) { row.cells[FailureCountColumn] = std::to_string(failures); });
    }
    void configure(const std::string& rule, const std::string& limit) {
        ASSERT_TRUE(settings->write("shutdownBy", rule).ok());
        ASSERT_TRUE(settings->write("count", limit).ok());
    }
    int sequencesRun() const { return static_cast<int>(backend->records().size()); }

    TemporaryDirectory directory;
    std::shared_ptr<HostTable> table = std::make_shared<HostTable>();
    std::shared_ptr<SettingsStore> settings;
    std::shared_ptr<FakeTaskRunner> tasks;
    std::shared_ptr<RecordingShutdownBackend> backend;
    std::shared_ptr<RecordingEventLog> log;
    std::shared_ptr<CountingTimedRounds> timedRounds = std::make_shared<CountingTimedRounds>();
    std::shared_ptr<RecordingMonitorEvents> events = std::make_shared<RecordingMonitorEvents>();
    std::shared_ptr<Trigger> trigger;
};

struct RuleCase {
    const char* rule;
    const char* limit;
    int firstFiringCount;  // 0: never fires
};

TEST_F(TriggerTest, RuleAndLimitDecideWhenAHostFires) {
    const std::vector<RuleCase> cases = {
        {"any", "1", 1}, {"any", "2", 2}, {"any", "0", 1}, {"any", "abc", 1},
        {"all", "1", 1}, {"all", "2", 2}, {"all", "0", 1}, {"all", "abc", 1},
        {"ANY", "1", 0}, {"", "1", 0},    {"any ", "1", 0},
    };
    std::uint64_t round = 0;
    for (const RuleCase& rule : cases) {
        SCOPED_TRACE(std::string("rule \"") + rule.rule + "\" limit \"" + rule.limit + "\"");
        table->clear();
        const RowId host = addHost("web", "");
        configure(rule.rule, rule.limit);
        const int before = sequencesRun();
        int firedAt = 0;
        for (int failures = 1; failures <= 3 && firedAt == 0; ++failures) {
            setFailures(host, failures);
            trigger->checkTrigger(host, ++round);
            if (sequencesRun() > before) firedAt = failures;
        }
        EXPECT_EQ(firedAt, rule.firstFiringCount);
    }
}

TEST_F(TriggerTest, WithoutSettingsFileTheFirstMissFires) {
    const RowId host = addHost("web", "1");
    trigger->checkTrigger(host, 1);
    EXPECT_EQ(sequencesRun(), 1);
}

TEST_F(TriggerTest, AllHostsNeverFiresWhileOneHostKeepsAnswering) {
    configure("all", "2");
    const RowId missing = addHost("down", "");
    addHost("up", "");
    for (int failures = 1; failures <= 10; ++failures) {
        setFailures(missing, failures);
        trigger->checkTrigger(missing, failures);
    }
    EXPECT_EQ(sequencesRun(), 0);
    EXPECT_EQ(timedRounds->stops, 0);
}

TEST_F(TriggerTest, AllHostsCountsAHostThatMissedLongAgoAndNowAnswers) {
    configure("all", "2");
    const RowId recovered = addHost("recovered", "2");
    table->updateRow(recovered, [](HostRow& row) {
        row.state = RowState::Answered;
        row.cells[ResponseColumn] = "3ms";
    });
    const RowId failing = addHost("failing", "1");
    trigger->checkTrigger(failing, 1);
    EXPECT_EQ(sequencesRun(), 0);
    setFailures(failing, 2);
    trigger->checkTrigger(failing, 2);
    EXPECT_EQ(sequencesRun(), 1);
}

TEST_F(TriggerTest, AllHostsWithNoHostLeftDoesNotFire) {
    configure("all", "1");
    const RowId host = addHost("gone", "1");
    table->deleteRow(0);
    EXPECT_FALSE(trigger->allHostsReached());
    trigger->checkTrigger(host, 1);
    EXPECT_EQ(sequencesRun(), 0);
}

TEST_F(TriggerTest, FireStopsTimedRoundsBeforeTheTaskAndReportsWhy) {
    configure("any", "2");
    ASSERT_TRUE(settings->write("run", "on").ok());
    ASSERT_TRUE(settings->write("path", "/opt/task.sh").ok());
    ASSERT_TRUE(settings->write("shutdownType", "2").ok());
    int stopsWhenTaskRan = -1;
    tasks->setOnRun([&](const std::string&) { stopsWhenTaskRan = timedRounds->stops; });
    backend->setResult(Status::failure("org.freedesktop.DBus.Error.AccessDenied: not allowed"));
    const RowId host = addHost("db", "2");

    trigger->checkTrigger(host, 1);

    EXPECT_EQ(stopsWhenTaskRan, 1);
    EXPECT_EQ(tasks->commandLines(), std::vector<std::string>{"/opt/task.sh"});
    EXPECT_EQ(backend->calls(), std::vector<RecordingShutdownBackend::Call>{RecordingShutdownBackend::Call::PowerOff});
    const auto fires = events->fires();
    ASSERT_EQ(fires.size(), 1u);
    EXPECT_EQ(fires[0].hostName, "db");
    EXPECT_EQ(fires[0].failureCount, 2);
    EXPECT_EQ(fires[0].rule, "any");
    EXPECT_EQ(fires[0].limit, 2);
    const auto shutdowns = events->shutdowns();
    ASSERT_EQ(shutdowns.size(), 1u);
    EXPECT_EQ(shutdowns[0].mode, ShutdownMode::Normal2);
    EXPECT_FALSE(shutdowns[0].status.ok());
    EXPECT_TRUE(log->contains(RecordingEventLog::Level::Info, "\"db\""));
}

TEST_F(TriggerTest, WorkersFiringTogetherRunTheSequenceOnce) {
    configure("any", "1");
    std::vector<RowId> hosts;
    for (int index = 0; index < 6; ++index) hosts.push_back(addHost("h" + std::to_string(index), "1"));
    ASSERT_TRUE(settings->write("run", "on").ok());
    ASSERT_TRUE(settings->write("path", "task").ok());

    // The first task holds its worker until every other worker has checked.
    std::mutex mutex;
    std::condition_variable released;
    bool release = false;
    tasks->setOnRun([&](const std::string&) {
        std::unique_lock lock(mutex);
        released.wait(lock, [&] { return release; });
    });
    std::vector<std::thread> workers;
    for (RowId host : hosts) workers.emplace_back([&, host] { trigger->checkTrigger(host, 1); });
    while (timedRounds->stops < static_cast<int>(hosts.size())) std::this_thread::yield();
    {
        std::lock_guard lock(mutex);
        release = true;
    }
    released.notify_all();
    for (auto& worker : workers) worker.join();

    EXPECT_EQ(tasks->commandLines().size(), 1u);
    EXPECT_EQ(sequencesRun(), 1);

    // A late worker of the same round does not run it again; a later
    // refresh round may.
    trigger->checkTrigger(hosts[0], 1);
    EXPECT_EQ(sequencesRun(), 1);
    trigger->checkTrigger(hosts[0], 2);
    EXPECT_EQ(sequencesRun(), 2);
}

}  // namespace
}  // namespace quorbel
