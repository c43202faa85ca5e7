#include "shutdown/shutdown_sequence.h"

#include <array>
#include <string_view>

namespace quorbel {
namespace {

struct MethodChoice {
    ShutdownMode mode;
    std::string_view settingText;
    std::string_view description;
};

// In the order the setting is compared.
constexpr std::array<MethodChoice, 4> kMethodChoices{{
    {ShutdownMode::Normal1, "1", "method 1, power-off in 15 s with a broadcast notice"},
    {ShutdownMode::Normal2, "2", "method 2, orderly power-off"},
    {ShutdownMode::Force1, "3", "method 3, forced power-off"},
    {ShutdownMode::Force2, "4", "method 4, immediate power-off"},
}};

std::string_view describeMode(ShutdownMode mode) {
    for (const MethodChoice& choice : kMethodChoices)
        if (choice.mode == mode) return choice.description;
    return "unknown method";
}

std::string timeOfDay(const std::tm& time) {
    if (time.tm_sec != 0)
        return std::to_string(time.tm_hour) + "时" + std::to_string(time.tm_min) + "分" + std::to_string(time.tm_sec) +
               "秒";
    if (time.tm_min != 0) return std::to_string(time.tm_hour) + "时" + std::to_string(time.tm_min) + "分";
    if (time.tm_hour != 0) return std::to_string(time.tm_hour) + "时";
    return "";
}

}  // namespace

std::string shutdownNotice(const std::tm& localTime) {
    return "检测到断网，15秒后将关机！--Halvix：" + std::to_string(localTime.tm_year + 1900) + "年" +
           std::to_string(localTime.tm_mon + 1) + "月" + std::to_string(localTime.tm_mday) + "日" +
           timeOfDay(localTime);
}

std::string shutdownNotice(std::chrono::system_clock::time_point at) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(at);
    std::tm localTime{};
    ::localtime_r(&seconds, &localTime);
    return shutdownNotice(localTime);
}

ShutdownSequence::ShutdownSequence(const SettingsStore& settings, TaskRunner& tasks, ShutdownBackend& backend,
                                   const WallClock& clock, EventLog& log)
    : settings_(settings), tasks_(tasks), backend_(backend), clock_(clock), log_(log) {}

bool ShutdownSequence::runPreShutdownTask() {
    if (settings_.read(settings::kRun, settings::kRunDefault) != "on") return true;
    const std::string path = settings_.read(settings::kPath, settings::kPathDefault);
    if (path.empty()) {
        log_.info("pre-shutdown task is on but no command line is set; nothing to run");
        return true;
    }
    log_.info("starting pre-shutdown task: " + path);
    const TaskResult result = tasks_.runAndWait(path);
    const std::string message = "pre-shutdown task " + describeTaskResult(result);
    if (result.kind == TaskResult::Kind::Exited && result.code == 0)
        log_.info(message);
    else
        log_.error(result.kind == TaskResult::Kind::NotStarted ? message + "; skipped" : message);
    return true;
}

ShutdownReport ShutdownSequence::shutDown() {
    ShutdownReport report;
    // Read afresh for every comparison: a change saved meanwhile is used.
    for (const MethodChoice& choice : kMethodChoices) {
        if (settings_.read(settings::kShutdownType, settings::kShutdownTypeDefault) != choice.settingText) continue;
        report.mode = choice.mode;
        report.status = runMethod(choice.mode);
    }
    if (!report.mode) {
        const std::string value = settings_.read(settings::kShutdownType, settings::kShutdownTypeDefault);
        log_.error("shutdownType \"" + value + "\" names no shutdown method; the machine stays up");
    }
    return report;
}

Status ShutdownSequence::runMethod(ShutdownMode mode) {
    log_.info("shutting down by " + std::string(describeMode(mode)));
    Status status = Status::success();
    switch (mode) {
        case ShutdownMode::Normal1: {
            const auto now = clock_.now();
            status = backend_.schedulePowerOff(shutdownNotice(now), now + kDelayedShutdownDelay);
            break;
        }
        case ShutdownMode::Normal2:
            status = backend_.powerOff();
            break;
        case ShutdownMode::Force1:
            status = backend_.forcePowerOff();
            break;
        case ShutdownMode::Force2:
            status = backend_.powerOffImmediately();
            break;
    }
    if (status)
        log_.info("shutdown request accepted (" + std::string(describeMode(mode)) + ")");
    else
        log_.error("shutdown request failed (" + std::string(describeMode(mode)) + "): " + status.message());
    return status;
}

}  // namespace quorbel
