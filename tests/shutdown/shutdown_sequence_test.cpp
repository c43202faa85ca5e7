#include "shutdown/shutdown_sequence.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <optional>
#include <vector>

#include "shutdown/shell_task_runner.h"
#include "tests/support/shutdown_fakes.h"
#include "tests/support/temporary_directory.h"

namespace quorbel {
namespace {

using namespace std::chrono_literals;
using testing::FakeTaskRunner;
using testing::FixedWallClock;
using testing::RecordingEventLog;
using testing::RecordingShutdownBackend;
using Call = RecordingShutdownBackend::Call;
using Level = RecordingEventLog::Level;

constexpr const char* kNoticePrefix = "检测到断网，15秒后将关机！--Halvix：";

// 22 March 2016 19:51:26 UTC.
const std::chrono::system_clock::time_point kSomeTime{1458676286s};

class ShutdownSequenceTest : public ::testing::Test {
protected:
    void set(std::string_view key, std::string_view value) { ASSERT_TRUE(settings_.write(key, value).ok()); }

    quorbel::testing::TemporaryDirectory directory_;
    SettingsStore settings_{directory_ / "config.ini"};
    FakeTaskRunner tasks_;
    RecordingShutdownBackend backend_;
    FixedWallClock clock_{kSomeTime};
    RecordingEventLog log_;
    ShutdownSequence sequence_{settings_, tasks_, backend_, clock_, log_};
};

struct MethodCase {
    const char* name;
    const char* shutdownType;  // nullptr: not in the file
    std::optional<ShutdownMode> mode;
    friend void PrintTo(const MethodCase& value, std::ostream* out) { *out << value.name; }
};

const MethodCase kMethodCases[] = {
    {"Absent", nullptr, ShutdownMode::Normal1},
    {"One", "1", ShutdownMode::Normal1},
    {"Two", "2", ShutdownMode::Normal2},
    {"Three", "3", ShutdownMode::Force1},
    {"Four", "4", ShutdownMode::Force2},
    {"Five", "5", std::nullopt},
    {"Empty", "", std::nullopt},
    {"LeadingZero", "02", std::nullopt},
};

std::optional<Call> callFor(std::optional<ShutdownMode> mode) {
    if (!mode) return std::nullopt;
    switch (*mode) {
        case ShutdownMode::Normal1: return Call::SchedulePowerOff;
        case ShutdownMode::Normal2: return Call::PowerOff;
        case ShutdownMode::Force1: return Call::ForcePowerOff;
        case ShutdownMode::Force2: return Call::PowerOffImmediately;
    }
    return std::nullopt;
}

class ShutdownMethodTest : public ShutdownSequenceTest, public ::testing::WithParamInterface<MethodCase> {};

TEST_P(ShutdownMethodTest, ShutdownTypeChoosesTheMethod) {
    const MethodCase& method = GetParam();
    if (method.shutdownType) set(settings::kShutdownType, method.shutdownType);

    const ShutdownReport report = sequence_.shutDown();

    EXPECT_EQ(report.mode, method.mode);
    EXPECT_TRUE(report.status.ok());
    const std::optional<Call> expected = callFor(method.mode);
    EXPECT_EQ(backend_.calls(), expected ? std::vector<Call>{*expected} : std::vector<Call>{});
    if (!method.mode) {
        EXPECT_TRUE(log_.contains(Level::Error, "names no shutdown method"));
    }
}

INSTANTIATE_TEST_SUITE_P(Types, ShutdownMethodTest, ::testing::ValuesIn(kMethodCases),
                         [](const ::testing::TestParamInfo<MethodCase>& instance) { return instance.param.name; });

TEST_F(ShutdownSequenceTest, DelayedShutdownIsDueFifteenSecondsAfterTheNotice) {
    set(settings::kShutdownType, "1");
    sequence_.shutDown();
    const auto records = backend_.records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].notice, shutdownNotice(kSomeTime));
    EXPECT_EQ(records[0].when, kSomeTime + 15s);
}

TEST_F(ShutdownSequenceTest, RefusedShutdownIsReportedAndLogged) {
    set(settings::kShutdownType, "3");
    backend_.setResult(Status::failure("org.freedesktop.DBus.Error.AccessDenied: not allowed"));

    const ShutdownReport report = sequence_.shutDown();

    EXPECT_EQ(report.mode, ShutdownMode::Force1);
    EXPECT_FALSE(report.status.ok());
    EXPECT_EQ(report.status.message(), "org.freedesktop.DBus.Error.AccessDenied: not allowed");
    EXPECT_TRUE(log_.contains(Level::Error, "org.freedesktop.DBus.Error.AccessDenied: not allowed"));
}

TEST_F(ShutdownSequenceTest, TypeIsReadAfreshForEveryComparison) {
    set(settings::kShutdownType, "1");
    // Saved from another thread while method 1 runs.
    backend_.setOnCall([this](Call call) {
        if (call == Call::SchedulePowerOff) set(settings::kShutdownType, "2");
    });

    const ShutdownReport report = sequence_.shutDown();

    EXPECT_EQ(backend_.calls(), (std::vector<Call>{Call::SchedulePowerOff, Call::PowerOff}));
    EXPECT_EQ(report.mode, ShutdownMode::Normal2);
}

struct TaskCase {
    const char* name;
    const char* run;  // nullptr: not in the file
    const char* path;
    bool runs;
    friend void PrintTo(const TaskCase& value, std::ostream* out) { *out << value.name; }
};

const TaskCase kTaskCases[] = {
    {"On", "on", "/opt/tasks/save-work.sh --now", true},
    {"OnWithEmptyPath", "on", "", false},
    {"Off", "off", "/opt/tasks/save-work.sh", false},
    {"CapitalisedOn", "On", "/opt/tasks/save-work.sh", false},
    {"Absent", nullptr, "/opt/tasks/save-work.sh", false},
};

class PreShutdownTaskTest : public ShutdownSequenceTest, public ::testing::WithParamInterface<TaskCase> {};

TEST_P(PreShutdownTaskTest, RunsOnlyWhenRunIsExactlyOn) {
    const TaskCase& task = GetParam();
    if (task.run) set(settings::kRun, task.run);
    set(settings::kPath, task.path);

    EXPECT_TRUE(sequence_.runPreShutdownTask());

    EXPECT_EQ(tasks_.commandLines(), task.runs ? std::vector<std::string>{task.path} : std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Settings, PreShutdownTaskTest, ::testing::ValuesIn(kTaskCases),
                         [](const ::testing::TestParamInfo<TaskCase>& instance) { return instance.param.name; });

TEST_F(ShutdownSequenceTest, TaskThatCannotStartIsSkippedAndLogged) {
    set(settings::kRun, "on");
    set(settings::kPath, "backup");
    tasks_.setResult({TaskResult::Kind::NotStarted, ENOMEM});

    EXPECT_TRUE(sequence_.runPreShutdownTask());
    sequence_.shutDown();

    EXPECT_TRUE(log_.contains(Level::Error, "could not be started"));
    EXPECT_EQ(backend_.calls(), std::vector<Call>{Call::SchedulePowerOff});
}

TEST_F(ShutdownSequenceTest, UnknownTypeRunsTheTaskAndNothingElse) {
    set(settings::kRun, "on");
    set(settings::kPath, "backup");
    set(settings::kShutdownType, "5");

    sequence_.runPreShutdownTask();
    const ShutdownReport report = sequence_.shutDown();

    EXPECT_EQ(tasks_.commandLines(), std::vector<std::string>{"backup"});
    EXPECT_TRUE(backend_.calls().empty());
    EXPECT_FALSE(report.mode.has_value());
}

TEST_F(ShutdownSequenceTest, ShutdownWaitsForTheTaskToEnd) {
    const std::filesystem::path marker = directory_ / "marker";
    const std::filesystem::path script = directory_ / "task.sh";
    quorbel::testing::writeFileBytes(script, "#!/bin/sh\nsleep 0.3\necho done > '" + marker.string() + "'\n");
    ASSERT_EQ(chmod(script.c_str(), 0755), 0);
    set(settings::kRun, "on");
    set(settings::kPath, script.string());
    set(settings::kShutdownType, "2");
    ShellTaskRunner shell;
    ShutdownSequence sequence(settings_, shell, backend_, clock_, log_);
    bool markerAtShutdown = false;
    backend_.setOnCall([&](Call) { markerAtShutdown = std::filesystem::exists(marker); });

    ASSERT_TRUE(sequence.runPreShutdownTask());
    sequence.shutDown();

    EXPECT_TRUE(markerAtShutdown);
    EXPECT_EQ(backend_.calls(), std::vector<Call>{Call::PowerOff});
    EXPECT_TRUE(log_.contains(Level::Info, "pre-shutdown task exited with status 0"));
}

struct NoticeCase {
    const char* name;
    int year, month, day, hour, minute, second;
    const char* dateAndTime;
    friend void PrintTo(const NoticeCase& value, std::ostream* out) { *out << value.name; }
};

const NoticeCase kNoticeCases[] = {
    {"HoursMinutesSeconds", 2016, 3, 22, 19, 51, 26, "2016年3月22日19时51分26秒"},
    {"HourOnly", 2017, 1, 1, 8, 0, 0, "2017年1月1日8时"},
    {"Midnight", 2017, 12, 31, 0, 0, 0, "2017年12月31日"},
    {"HoursMinutes", 2020, 10, 5, 10, 5, 0, "2020年10月5日10时5分"},
    {"SecondsAfterMidnight", 2021, 6, 9, 0, 0, 7, "2021年6月9日0时0分7秒"},
};

class ShutdownNoticeTest : public ::testing::TestWithParam<NoticeCase> {
protected:
    void SetUp() override {
        const char* zone = std::getenv("TZ");
        if (zone) savedZone_ = zone;
        ASSERT_EQ(setenv("TZ", "UTC", 1), 0);
        tzset();
    }
    void TearDown() override {
        if (savedZone_)
            setenv("TZ", savedZone_->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    std::optional<std::string> savedZone_;
};

TEST_P(ShutdownNoticeTest, EndsWithTheLocalDateAndTime) {
    const NoticeCase& notice = GetParam();
    std::tm time{};
    time.tm_year = notice.year - 1900;
    time.tm_mon = notice.month - 1;
    time.tm_mday = notice.day;
    time.tm_hour = notice.hour;
    time.tm_min = notice.minute;
    time.tm_sec = notice.second;
    const std::string expected = std::string(kNoticePrefix) + notice.dateAndTime;

    EXPECT_EQ(shutdownNotice(time), expected);
    EXPECT_EQ(shutdownNotice(std::chrono::system_clock::from_time_t(timegm(&time)) + 999ms), expected);
}

INSTANTIATE_TEST_SUITE_P(Times, ShutdownNoticeTest, ::testing::ValuesIn(kNoticeCases),
                         [](const ::testing::TestParamInfo<NoticeCase>& instance) { return instance.param.name; });

}  // namespace
}  // namespace quorbel
