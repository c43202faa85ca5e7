#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "monitor/echo_probe.h"
#include "monitor/probe_round.h"
#include "tests/support/delayed_echo_responder.h"
#include "tests/support/network_namespace.h"
#include "tests/support/recording_monitor_events.h"

namespace quorbel {
namespace {

using namespace std::chrono_literals;
using testing::DelayedEchoResponder;
using testing::RecordingMonitorEvents;
using testing::VethNetwork;

// Long enough that a reply slower than the limit still arrives and is timed,
// rather than ending as a timeout.
constexpr ProbeTiming kTiming{2000, 1000};

// The measured time is the reply's delay plus scheduling and sanitizer
// overhead, truncated to whole milliseconds: it never falls below the delay
// but may exceed it by some milliseconds on a loaded machine. The delays keep
// clear of the limit on both sides so that overhead cannot flip the outcome.
struct DeadlineCase {
    int replyDelayMs;
    RowState state;
    const char* failureCount;
};

constexpr DeadlineCase kCases[] = {
    {950, RowState::Answered, ""},
    {1050, RowState::Missed, "1"},
};

// The number in a response such as "963ms"; -1 for any other text.
int responseMilliseconds(const std::string& response) {
    if (response.size() < 3 || !response.ends_with("ms")) return -1;
    const std::string digits = response.substr(0, response.size() - 2);
    if (digits.find_first_not_of("0123456789") != std::string::npos) return -1;
    return std::stoi(digits);
}

class AnswerDeadlineTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (auto reason = VethNetwork::unavailableReason()) GTEST_SKIP() << *reason;
        network_ = std::make_unique<VethNetwork>();
        ASSERT_TRUE(network_->ready()) << network_->failures();
        // Only the responder may answer, never the server's kernel.
        ASSERT_TRUE(network_->silenceServer()) << network_->failures();
    }

    struct RoundOutcome {
        HostRow row;
        int misses = 0;
        std::vector<std::string> impossibleReasons;
    };

    // One real round over the server host. It starts on a thread inside the
    // client namespace, so its workers are born there and probe from there.
    RoundOutcome runRound() {
        auto table = std::make_shared<HostTable>();
        const int index = table->appendRow("slow host", RowState::NotProbed);
        table->setCellText(index, AddressColumn, VethNetwork::kServerAddress);
        auto events = std::make_shared<RecordingMonitorEvents>();
        auto misses = std::make_shared<std::atomic<int>>(0);

        const bool entered = network_->client().runInside([&] {
            ProbeRound round(table, std::make_shared<SystemEchoProber>(),
                             [misses](RowId, std::uint64_t) { ++*misses; }, events, nullptr, kTiming);
            EXPECT_EQ(round.startRound(), 1);
            EXPECT_TRUE(round.waitUntilIdle(10s)) << "the probe outlived its timeout";
        });
        EXPECT_TRUE(entered) << "cannot enter network namespace " << network_->client().name();

        RoundOutcome outcome;
        outcome.row = table->row(*table->rowId(index)).value_or(HostRow{});
        outcome.misses = misses->load();
        outcome.impossibleReasons = events->impossibleReasons();
        return outcome;
    }

    std::unique_ptr<VethNetwork> network_;
};

TEST_F(AnswerDeadlineTest, ReplyUnderTheLimitIsAnsweredAndReplyPastItIsMissed) {
    for (const DeadlineCase& deadline : kCases) {
        SCOPED_TRACE("reply after " + std::to_string(deadline.replyDelayMs) + " ms");
        DelayedEchoResponder responder(network_->server(), std::chrono::milliseconds(deadline.replyDelayMs));
        ASSERT_TRUE(responder.started()) << responder.failure();

        const RoundOutcome outcome = runRound();
        responder.stop();

        EXPECT_EQ(responder.answeredCount(), 1) << "the probe must have met the responder's reply";
        EXPECT_EQ(outcome.impossibleReasons, std::vector<std::string>{});
        EXPECT_EQ(outcome.row.state, deadline.state);
        EXPECT_EQ(outcome.row.cells[FailureCountColumn], deadline.failureCount);
        const std::string& response = outcome.row.cells[ResponseColumn];
        if (deadline.state == RowState::Answered) {
            const int measuredMs = responseMilliseconds(response);
            EXPECT_GE(measuredMs, deadline.replyDelayMs) << response;
            EXPECT_LT(measuredMs, 1000) << response;
            EXPECT_EQ(outcome.misses, 0);
        } else {
            EXPECT_EQ(response, "-");
            EXPECT_EQ(outcome.misses, 1);
        }
    }
}

}  // namespace
}  // namespace quorbel
