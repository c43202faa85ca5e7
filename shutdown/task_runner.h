#pragma once

#include <string>

#include "hostdata/status.h"

namespace quorbel {

struct TaskResult {
    // WaitFailed: the task was started but its end could not be observed
    // (e.g. SIGCHLD ignored, so the system reaped it).
    enum class Kind { Exited, KilledBySignal, NotStarted, WaitFailed };
    Kind kind = Kind::NotStarted;
    int code = 0;  // exit status, signal number, or errno when not started or not waited for
};

// One line for the log, e.g. "exited with status 0".
std::string describeTaskResult(const TaskResult& result);

// Starts the operator's pre-shutdown task and waits for it to end.
class TaskRunner {
public:
    virtual ~TaskRunner() = default;
    virtual TaskResult runAndWait(const std::string& commandLine) = 0;
};

}  // namespace quorbel
