// The real program, end to end: it probes two hosts in network namespaces
// of the test's own and, when the trigger is met, runs the operator's task
// and asks a mock logind on a private bus to power off. Nothing here can
// reach the machine's own network or system bus.

#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "hostdata/host_list_file.h"
#include "hostdata/host_table.h"
#include "tests/e2e/running_program.h"
#include "tests/support/network_namespace.h"
#include "tests/support/private_system_bus.h"
#include "tests/support/temporary_directory.h"
#include "tests/support/two_host_network.h"

extern char** environ;

namespace quorbel {
namespace {

using namespace std::chrono_literals;
using testing::DBusMock;
using testing::MockCall;
using testing::PrivateSystemBus;
using testing::ProgramLaunch;
using testing::RawSockets;
using testing::RunningProgram;
using testing::TemporaryDirectory;
using testing::TwoHostNetwork;
using testing::VethNetwork;
using Host = TwoHostNetwork::Host;
using LinePredicate = RunningProgram::LinePredicate;

constexpr auto kPeriod = 800ms;
constexpr int kTimeoutMs = 400;
// Qt's start-up under the sanitizers, plus the first tick.
constexpr auto kFirstAnswerTimeout = 30s;
constexpr auto kMissTimeout = 4 * kPeriod;
constexpr auto kShutdownTimeout = 10s;
// Long enough for several timed rounds, had any been started.
constexpr auto kQuietWatch = 4 * kPeriod;
constexpr auto kShutdownDelay = 15s;

constexpr const char* kNoticeStart = "检测到断网，15秒后将关机！--Halvix：";
constexpr const char* kFiredStatus = "status 已触发关机";
constexpr const char* kProbingImpossibleStatus = "status 本机无法发送探测";

constexpr const char* kTaskStarted = "task-started";
constexpr const char* kTaskFinished = "task-finished";

// One "row <index> <state>|<name>|<address>|<response>|<count>" line.
struct TraceRow {
    int index = -1;
    int state = -1;
    std::string name;
    std::string address;
    std::string response;
    std::string count;
};

std::optional<TraceRow> parseRow(const std::string& line) {
    std::istringstream in(line);
    std::string word;
    TraceRow row;
    char separator = 0;
    if (!(in >> word) || word != "row" || !(in >> row.index >> row.state) || !in.get(separator) || separator != '|')
        return std::nullopt;
    for (std::string* field : {&row.name, &row.address, &row.response})
        if (!std::getline(in, *field, '|')) return std::nullopt;
    std::getline(in, row.count);
    return row;
}

int rowIndexOf(Host host) { return host == Host::A ? 0 : 1; }
const char* nameOf(Host host) { return host == Host::A ? "主机A" : "主机B"; }

std::optional<TraceRow> rowOf(Host host, const std::string& line) {
    std::optional<TraceRow> row = parseRow(line);
    if (!row || row->index != rowIndexOf(host)) return std::nullopt;
    return row;
}

bool isElapsedTime(const std::string& response) {
    return response.size() > 2 && response.ends_with("ms") &&
           std::all_of(response.begin(), response.end() - 2, [](char c) { return c >= '0' && c <= '9'; });
}

LinePredicate answered(Host host) {
    return [host](const std::string& line) {
        const std::optional<TraceRow> row = rowOf(host, line);
        return row && row->state == 0 && isElapsedTime(row->response);
    };
}

LinePredicate missedWithCount(Host host, const std::string& count) {
    return [host, count](const std::string& line) {
        const std::optional<TraceRow> row = rowOf(host, line);
        return row && row->state == 1 && row->response == "-" && row->count == count;
    };
}

LinePredicate startsWith(const std::string& prefix) {
    return [prefix](const std::string& line) { return line.starts_with(prefix); };
}

std::int64_t microsecondsSinceEpoch(std::chrono::system_clock::time_point when) {
    return std::chrono::duration_cast<std::chrono::microseconds>(when.time_since_epoch()).count();
}

// The environment the program gets: the test's own, with both bus addresses
// pointing at the private bus, a runtime directory of the test's own, and
// the test timing switched on.
std::vector<std::string> programEnvironment(const std::string& busAddress,
                                            const std::filesystem::path& runtimeDirectory) {
    std::vector<std::string> result;
    for (char** entry = environ; *entry; ++entry) {
        const std::string text = *entry;
        if (text.starts_with("DBUS_") || text.starts_with("QUORBEL_") || text.starts_with("QT_QPA_PLATFORM=") ||
            text.starts_with("XDG_RUNTIME_DIR="))
            continue;
        result.push_back(text);
    }
    result.push_back("XDG_RUNTIME_DIR=" + runtimeDirectory.string());
    result.push_back("DBUS_SYSTEM_BUS_ADDRESS=" + busAddress);
    result.push_back("DBUS_SESSION_BUS_ADDRESS=" + busAddress);
    result.push_back("QT_QPA_PLATFORM=offscreen");
    result.push_back("QUORBEL_TEST_STATE_TRACE=1");
    result.push_back("QUORBEL_TEST_PERIOD_MS=" + std::to_string(kPeriod.count()));
    result.push_back("QUORBEL_TEST_TIMEOUT_MS=" + std::to_string(kTimeoutMs));
    return result;
}

// What the test saw when the power-off request first reached the mock.
struct ShutdownSighting {
    std::chrono::system_clock::time_point seenAt;
    bool taskHadFinished = false;
};

class ProgramEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override {
#ifndef QUORBEL_PROGRAM_HAS_TEST_HOOKS
        GTEST_SKIP() << "the program was built without QUORBEL_TEST_TIMING, so it has no state trace";
#endif
        if (auto reason = VethNetwork::unavailableReason()) GTEST_SKIP() << *reason;
        if (::access("/usr/bin/dbus-daemon", X_OK) != 0) GTEST_SKIP() << "needs dbus-daemon (package dbus)";
        if (testing::runProgram({"/usr/bin/python3", "-c", "import dbusmock"}).exitCode != 0)
            GTEST_SKIP() << "needs python3 with dbusmock (package python3-dbusmock)";

        network_ = std::make_unique<TwoHostNetwork>();
        ASSERT_TRUE(network_->ready()) << network_->failures();
        // From here on a missing bus is a failure, never a reason to run
        // the program without one.
        try {
            bus_ = std::make_unique<PrivateSystemBus>();
            logind_ = std::make_unique<DBusMock>(*bus_, "org.freedesktop.login1", "/org/freedesktop/login1",
                                                 "org.freedesktop.login1.Manager");
            logind_->addMethod("SetWallMessage", "sb", "");
            logind_->addMethod("ScheduleShutdown", "st", "");
            logind_->addMethod("PowerOff", "b", "");
        } catch (const std::exception& error) {
            FAIL() << "cannot set up the private system bus with a mock logind: " << error.what();
        }
        ASSERT_NO_FATAL_FAILURE(prepareProgramDirectory());
    }

    void TearDown() override {
        if (!program_) return;
        EXPECT_TRUE(program_->isRunning()) << "the program ended on its own\n" << diagnostics();
        program_->stop();
        const std::string errors = testing::readFileBytes(errorLog());
        for (const char* report : {"ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:"})
            EXPECT_EQ(errors.find(report), std::string::npos) << errors;
        if (HasFailure()) std::cerr << "the program's whole output:\n" << diagnostics();
    }

    void prepareProgramDirectory() {
        std::filesystem::copy_file(QUORBEL_PROGRAM_PATH, directory_ / "quorbel");
        std::filesystem::create_directory(runtimeDirectory());
        std::filesystem::permissions(runtimeDirectory(), std::filesystem::perms::owner_all);

        HostTable table;
        for (const Host host : {Host::A, Host::B}) {
            const int row = table.appendRow(nameOf(host), RowState::NotProbed);
            table.setCellText(row, AddressColumn, TwoHostNetwork::address(host));
        }
        testing::writeFileBytes(directory_ / "db.kdb", encodeHostList(table.snapshot()));

        // The operator's task: a mark, a second's work, another mark.
        std::string script = "#!/bin/sh\n";
        for (const char* marker : {kTaskStarted, kTaskFinished}) {
            if (marker == kTaskFinished) script += "sleep 1\n";
            const std::string path = (directory_ / marker).string();
            script += "date +%s%N > '" + path + ".part' && mv '" + path + ".part' '" + path + "'\n";
        }
        testing::writeFileBytes(taskPath(), script);
        std::filesystem::permissions(taskPath(), std::filesystem::perms::owner_all);
    }

    void writeSettings(const std::string& rule, int count) {
        testing::writeFileBytes(directory_ / "config.ini", "[config]\nshutdownBy=" + rule +
                                                               "\ncount=" + std::to_string(count) +
                                                               "\nrun=on\npath=" + taskPath().string() +
                                                               "\nshutdownType=1\n");
    }

    void start(RawSockets rawSockets) {
        ASSERT_TRUE(bus_ && bus_->address().starts_with("unix:path="))
            << "the program never starts without the private bus";
        ProgramLaunch launch;
        launch.executable = directory_ / "quorbel";
        launch.workingDirectory = directory_.path();
        launch.environment = programEnvironment(bus_->address(), runtimeDirectory());
        launch.network = &network_->client();
        launch.rawSockets = rawSockets;
        launch.errorLog = errorLog();
        std::string failure;
        program_ = RunningProgram::start(launch, failure);
        ASSERT_TRUE(program_) << failure;
    }

    // The index of the first line at or after `from` that `matches`.
    ::testing::AssertionResult waitFor(const std::string& what, const LinePredicate& matches,
                                       std::chrono::milliseconds timeout, std::size_t& index, std::size_t from = 0) {
        if (const std::optional<std::size_t> found = program_->waitForLine(from, matches, timeout)) {
            index = *found;
            return ::testing::AssertionSuccess();
        }
        return ::testing::AssertionFailure() << "no line showing " << what << " within " << timeout.count()
                                             << " ms\n"
                                             << diagnostics();
    }

    // Polls the mock, reading the program's output meanwhile, until the
    // power-off request arrives.
    std::optional<ShutdownSighting> waitForShutdownRequest() {
        const auto deadline = std::chrono::steady_clock::now() + kShutdownTimeout;
        while (std::chrono::steady_clock::now() < deadline) {
            for (const MockCall& call : logind_->calls()) {
                if (call.method != "ScheduleShutdown") continue;
                ShutdownSighting sighting;
                sighting.seenAt = std::chrono::system_clock::now();
                sighting.taskHadFinished = std::filesystem::exists(directory_ / kTaskFinished);
                return sighting;
            }
            program_->readFor(50ms);
        }
        return std::nullopt;
    }

    // One notice, then one power-off 15 s ahead, asked for only after the task ended.
    void expectOneShutdownAfterTheTask(const ShutdownSighting& sighting) {
        EXPECT_TRUE(sighting.taskHadFinished) << "the power-off was asked for before the task ended";
        const std::vector<MockCall> calls = logind_->calls();
        ASSERT_EQ(calls.size(), 2u);
        EXPECT_EQ(calls[0].method, "SetWallMessage");
        ASSERT_EQ(calls[0].arguments.size(), 2u);
        EXPECT_TRUE(calls[0].arguments[0].starts_with(kNoticeStart)) << calls[0].arguments[0];
        EXPECT_EQ(calls[0].arguments[1], "true");
        EXPECT_EQ(calls[1].method, "ScheduleShutdown");
        ASSERT_EQ(calls[1].arguments.size(), 2u);
        EXPECT_EQ(calls[1].arguments[0], "poweroff");

        const std::int64_t when = std::stoll(calls[1].arguments[1]);
        const std::int64_t seen = microsecondsSinceEpoch(sighting.seenAt);
        const std::int64_t delay = std::chrono::microseconds(kShutdownDelay).count();
        EXPECT_GT(when - seen, delay - 3'000'000) << "the power-off is not about 15 s ahead";
        EXPECT_LE(when - seen, delay + 500'000) << "the power-off is not about 15 s ahead";

        const std::int64_t started = std::stoll(testing::readFileBytes(directory_ / kTaskStarted)) / 1000;
        const std::int64_t finished = std::stoll(testing::readFileBytes(directory_ / kTaskFinished)) / 1000;
        EXPECT_GE(finished - started, 1'000'000) << "the task did not take its second";
        EXPECT_GE(when - delay, finished) << "the shutdown was timed from before the task's end";
    }

    // Every line about `host` from `from` on, as rows.
    std::vector<TraceRow> rowsOf(Host host, std::size_t from = 0) const {
        std::vector<TraceRow> rows;
        const std::vector<std::string>& lines = program_->lines();
        for (std::size_t index = from; index < lines.size(); ++index)
            if (std::optional<TraceRow> row = rowOf(host, lines[index])) rows.push_back(*row);
        return rows;
    }

    // The failure counts the host's row showed, in order, without repeats.
    std::vector<std::string> countsShown(Host host) const {
        std::vector<std::string> counts;
        for (const TraceRow& row : rowsOf(host))
            if (!row.count.empty() && (counts.empty() || counts.back() != row.count)) counts.push_back(row.count);
        return counts;
    }

    void expectNeverMissed(Host host) const {
        for (const TraceRow& row : rowsOf(host)) {
            EXPECT_EQ(row.name, nameOf(host));
            EXPECT_NE(row.state, 1) << nameOf(host) << " was shown as missed";
            EXPECT_EQ(row.count, "") << nameOf(host) << "'s failure count was touched";
        }
    }

    std::size_t countLines(const LinePredicate& matches) const {
        const std::vector<std::string>& lines = program_->lines();
        return static_cast<std::size_t>(std::count_if(lines.begin(), lines.end(), matches));
    }

    std::filesystem::path taskPath() const { return directory_ / "task.sh"; }
    std::filesystem::path errorLog() const { return directory_ / "stderr.log"; }
    std::filesystem::path runtimeDirectory() const { return directory_ / "runtime"; }

    std::string diagnostics() const {
        std::string text = "--- standard output:\n";
        if (program_)
            for (const std::string& line : program_->lines()) text += line + "\n";
        return text + "--- standard error:\n" + testing::readFileBytes(errorLog());
    }

    TemporaryDirectory directory_;
    std::unique_ptr<TwoHostNetwork> network_;
    std::unique_ptr<PrivateSystemBus> bus_;
    std::unique_ptr<DBusMock> logind_;
    std::unique_ptr<RunningProgram> program_;
};

TEST_F(ProgramEndToEndTest, AnyHostRuleRunsTheTaskThenSchedulesOnePowerOff) {
    writeSettings("any", 2);
    ASSERT_NO_FATAL_FAILURE(start(RawSockets::Allowed));
    std::size_t line = 0;
    ASSERT_TRUE(waitFor("host A answering", answered(Host::A), kFirstAnswerTimeout, line));
    ASSERT_TRUE(waitFor("host B answering", answered(Host::B), kFirstAnswerTimeout, line));

    ASSERT_TRUE(network_->cutLink(Host::A)) << network_->failures();
    const std::size_t cut = program_->lines().size();
    std::size_t firstMiss = 0;
    std::size_t fired = 0;
    ASSERT_TRUE(waitFor("host A missed once", missedWithCount(Host::A, "1"), kMissTimeout, firstMiss, cut));
    ASSERT_TRUE(waitFor("host A missed twice", missedWithCount(Host::A, "2"), kMissTimeout, fired, firstMiss));

    const std::optional<ShutdownSighting> sighting = waitForShutdownRequest();
    ASSERT_TRUE(sighting) << "no ScheduleShutdown reached the mock\n" << diagnostics();
    program_->readFor(kQuietWatch);

    expectOneShutdownAfterTheTask(*sighting);
    EXPECT_EQ(countsShown(Host::A), (std::vector<std::string>{"1", "2"}));
    expectNeverMissed(Host::B);
    EXPECT_TRUE(rowsOf(Host::A, fired + 1).empty()) << "host A was probed after the fire";
    EXPECT_TRUE(rowsOf(Host::B, fired + 1).empty()) << "a timed round started after the fire";
    EXPECT_EQ(countLines(startsWith(kFiredStatus)), 1u);
}

TEST_F(ProgramEndToEndTest, AllHostsRuleWaitsForTheLastHost) {
    writeSettings("all", 2);
    ASSERT_NO_FATAL_FAILURE(start(RawSockets::Allowed));
    std::size_t line = 0;
    ASSERT_TRUE(waitFor("host A answering", answered(Host::A), kFirstAnswerTimeout, line));
    ASSERT_TRUE(waitFor("host B answering", answered(Host::B), kFirstAnswerTimeout, line));

    // A alone reaching the limit, and going past it, fires nothing.
    ASSERT_TRUE(network_->cutLink(Host::A)) << network_->failures();
    ASSERT_TRUE(waitFor("host A missed twice", missedWithCount(Host::A, "2"), 2 * kMissTimeout, line));
    ASSERT_TRUE(waitFor("host A missed four times", missedWithCount(Host::A, "4"), 2 * kMissTimeout, line, line));
    EXPECT_TRUE(logind_->calls().empty());
    EXPECT_EQ(countLines(startsWith(kFiredStatus)), 0u);
    EXPECT_FALSE(std::filesystem::exists(directory_ / kTaskStarted)) << "the task ran before the rule was met";
    expectNeverMissed(Host::B);

    ASSERT_TRUE(network_->cutLink(Host::B)) << network_->failures();
    std::size_t fired = 0;
    ASSERT_TRUE(waitFor("host B missed once", missedWithCount(Host::B, "1"), kMissTimeout, line, line));
    ASSERT_TRUE(waitFor("host B missed twice", missedWithCount(Host::B, "2"), kMissTimeout, fired, line));

    const std::optional<ShutdownSighting> sighting = waitForShutdownRequest();
    ASSERT_TRUE(sighting) << "no ScheduleShutdown reached the mock\n" << diagnostics();
    program_->readFor(kQuietWatch);

    expectOneShutdownAfterTheTask(*sighting);
    EXPECT_EQ(countsShown(Host::B), (std::vector<std::string>{"1", "2"}));
    // Only A's probe of the round that fired may still come in.
    EXPECT_TRUE(rowsOf(Host::B, fired + 1).empty()) << "a timed round started after the fire";
    EXPECT_LE(rowsOf(Host::A, fired + 1).size(), 1u) << "a timed round started after the fire";
    EXPECT_EQ(countLines(startsWith(kFiredStatus)), 1u);
}

TEST_F(ProgramEndToEndTest, RefusedIcmpSocketsCountNothingAndSayWhy) {
    // Ping sockets refused to every group, and no CAP_NET_RAW for raw ones.
    ASSERT_TRUE(network_->client().setSysctl("net.ipv4.ping_group_range", "1 0")) << network_->failures();
    writeSettings("any", 1);
    ASSERT_NO_FATAL_FAILURE(start(RawSockets::Refused));

    std::size_t line = 0;
    ASSERT_TRUE(waitFor("why probing is impossible", startsWith(kProbingImpossibleStatus), kFirstAnswerTimeout,
                        line));
    const std::string& status = program_->lines()[line];
    EXPECT_NE(status.find("cannot open an ICMP socket"), std::string::npos) << status;
    EXPECT_NE(status.find("CAP_NET_RAW"), std::string::npos) << status;
    program_->readFor(kQuietWatch);

    for (const Host host : {Host::A, Host::B}) {
        const std::vector<TraceRow> rows = rowsOf(host);
        EXPECT_FALSE(rows.empty());
        for (const TraceRow& row : rows) {
            EXPECT_EQ(row.state, 2) << nameOf(host);
            EXPECT_EQ(row.response, "") << nameOf(host);
            EXPECT_EQ(row.count, "") << nameOf(host);
        }
    }
    EXPECT_TRUE(logind_->calls().empty());
    EXPECT_EQ(countLines(startsWith(kFiredStatus)), 0u);
    EXPECT_FALSE(std::filesystem::exists(directory_ / kTaskStarted));
}

}  // namespace
}  // namespace quorbel
