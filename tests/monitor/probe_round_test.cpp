#include "monitor/probe_round.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <utility>
#include <vector>

#include "tests/support/fake_prober.h"
#include "tests/support/recording_monitor_events.h"

namespace quorbel {
namespace {

using namespace std::chrono_literals;
using testing::FakeProber;
using testing::RecordingMonitorEvents;

class ProbeRoundTest : public ::testing::Test {
protected:
    int addHost(const std::string& name, const std::string& address) {
        const int index = table->appendRow(name, RowState::NotProbed);
        table->setCellText(index, AddressColumn, address);
        return index;
    }

    ProbeRound makeRound() {
        return ProbeRound(table, prober,
                          [this](RowId id, std::uint64_t round) {
                              std::lock_guard lock(missesMutex);
                              misses.emplace_back(id, round);
                          },
                          events, gate);
    }

    std::vector<std::pair<RowId, std::uint64_t>> recordedMisses() {
        std::lock_guard lock(missesMutex);
        return misses;
    }

    std::shared_ptr<HostTable> table = std::make_shared<HostTable>();
    std::shared_ptr<FakeProber> prober = std::make_shared<FakeProber>();
    std::shared_ptr<RecordingMonitorEvents> events = std::make_shared<RecordingMonitorEvents>();
    std::shared_ptr<TimedRoundGate> gate = std::make_shared<TimedRoundGate>();
    std::mutex missesMutex;
    std::vector<std::pair<RowId, std::uint64_t>> misses;
};

struct OutcomeCase {
    int elapsedMs;
    const char* response;
    RowState state;
    const char* failureCount;  // before: "3"
};

TEST_F(ProbeRoundTest, RecordsEachOutcomeAndCountsOnlyMisses) {
    const std::vector<OutcomeCase> cases = {
        {0, "0ms", RowState::Answered, "3"},     {37, "37ms", RowState::Answered, "3"},
        {999, "999ms", RowState::Answered, "3"}, {1000, "-", RowState::Missed, "4"},
        {9999, "-", RowState::Missed, "4"},      {-1, "-", RowState::Missed, "4"},
    };
    for (const OutcomeCase& outcome : cases) {
        table->clear();
        const int row = addHost("h", "127.0.0.1");
        table->setCellText(row, FailureCountColumn, "3");
        prober->answer("127.0.0.1", outcome.elapsedMs);
        ProbeRound round = makeRound();
        EXPECT_EQ(round.startRound(), 1);
        ASSERT_TRUE(round.waitUntilIdle(5s));
        SCOPED_TRACE("elapsed " + std::to_string(outcome.elapsedMs));
        EXPECT_EQ(table->cellText(row, ResponseColumn), outcome.response);
        EXPECT_EQ(table->rowState(row), outcome.state);
        EXPECT_EQ(table->cellText(row, FailureCountColumn), outcome.failureCount);
    }
}

TEST_F(ProbeRoundTest, TwoQuickRoundsAgainstASilentHostCountTwoMisses) {
    addHost("silent", "127.0.0.9");
    addHost("alive", "127.0.0.1");
    prober->answer("127.0.0.1", 1);
    ProbeRound round = makeRound();
    round.startRound();
    round.startRound();
    ASSERT_TRUE(round.waitUntilIdle(5s));

    EXPECT_EQ(table->cellText(0, FailureCountColumn), "2");
    EXPECT_EQ(table->cellText(1, FailureCountColumn), "");
    const auto reported = recordedMisses();
    ASSERT_EQ(reported.size(), 2u);
    for (const auto& [id, roundNumber] : reported) EXPECT_EQ(id, *table->rowId(0));
    EXPECT_NE(reported[0].second, reported[1].second);
}

TEST_F(ProbeRoundTest, EmptyTableStartsNoWorker) {
    ProbeRound round = makeRound();
    EXPECT_EQ(round.startRound(), 0);
    EXPECT_EQ(round.runningWorkers(), 0);
}

TEST_F(ProbeRoundTest, RowDeletedDuringRoundGetsNoResultAndOthersGoOn) {
    addHost("deleted", "127.0.0.7");
    addHost("kept", "127.0.0.8");
    prober->hold("127.0.0.7");
    ProbeRound round = makeRound();
    round.startRound();
    prober->waitForProbes("127.0.0.7", 1);
    table->deleteRow(0);  // "kept" now has index 0
    prober->release("127.0.0.7");
    ASSERT_TRUE(round.waitUntilIdle(5s));

    ASSERT_EQ(table->rowCount(), 1);
    EXPECT_EQ(table->cellText(0, NameColumn), "kept");
    // Exactly one miss: the kept host's own, never the deleted host's.
    EXPECT_EQ(table->cellText(0, FailureCountColumn), "1");
    const auto reported = recordedMisses();
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(reported[0].first, *table->rowId(0));
}

TEST_F(ProbeRoundTest, LocalFailureLeavesRowsAloneAndIsReported) {
    addHost("h", "127.0.0.1");
    prober->setResult("127.0.0.1", ProbeResult{-1, "ICMP sockets refused"});
    ProbeRound round = makeRound();
    round.startRound();
    ASSERT_TRUE(round.waitUntilIdle(5s));

    EXPECT_EQ(table->rowState(0), RowState::NotProbed);
    EXPECT_EQ(table->cellText(0, ResponseColumn), "");
    EXPECT_EQ(table->cellText(0, FailureCountColumn), "");
    EXPECT_TRUE(recordedMisses().empty());
    EXPECT_EQ(events->impossibleReasons(), std::vector<std::string>{"ICMP sockets refused"});

    prober->answer("127.0.0.1", 2);
    round.startRound();
    ASSERT_TRUE(round.waitUntilIdle(5s));
    EXPECT_EQ(events->restored(), 1);
    EXPECT_EQ(table->cellText(0, ResponseColumn), "2ms");
}

TEST_F(ProbeRoundTest, ClosedGateStopsTimedRoundsButNotRefresh) {
    addHost("h", "127.0.0.1");
    ProbeRound round = makeRound();
    gate->close();
    EXPECT_EQ(round.startTimedRound(), 0);
    EXPECT_EQ(round.startRound(), 1);
    ASSERT_TRUE(round.waitUntilIdle(5s));
    EXPECT_EQ(table->cellText(0, FailureCountColumn), "1");
}

TEST_F(ProbeRoundTest, WorkersOutliveTheRoundAndItsOwnersReferences) {
    addHost("h", "127.0.0.1");
    prober->hold("127.0.0.1");
    std::weak_ptr<HostTable> weakTable = table;
    {
        ProbeRound round = makeRound();
        round.startRound();
        prober->waitForProbes("127.0.0.1", 1);
    }
    auto keptProber = prober;
    table.reset();  // the worker still holds the table
    EXPECT_FALSE(weakTable.expired());
    keptProber->release("127.0.0.1");
    for (int attempt = 0; attempt < 500 && !weakTable.expired(); ++attempt) std::this_thread::sleep_for(10ms);
    EXPECT_TRUE(weakTable.expired());
}

}  // namespace
}  // namespace quorbel
