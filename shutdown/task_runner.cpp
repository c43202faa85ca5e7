#include "shutdown/task_runner.h"

#include <cstring>

namespace quorbel {
namespace {

std::string signalName(int signal) {
    const char* abbreviation = ::sigabbrev_np(signal);
    return abbreviation ? std::string("SIG") + abbreviation : "signal " + std::to_string(signal);
}

}  // namespace

std::string describeTaskResult(const TaskResult& result) {
    switch (result.kind) {
        case TaskResult::Kind::Exited:
            return "exited with status " + std::to_string(result.code);
        case TaskResult::Kind::KilledBySignal:
            return "was killed by " + signalName(result.code);
        case TaskResult::Kind::NotStarted:
            return std::string("could not be started: ") + std::strerror(result.code);
        case TaskResult::Kind::WaitFailed:
            return std::string("was started but its end could not be observed: ") + std::strerror(result.code);
    }
    return "ended in an unknown way";
}

}  // namespace quorbel
