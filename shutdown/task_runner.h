#pragma once

#include <string>

#include "hostdata/status.h"

namespace quorbel {

struct TaskResult {
    enum class Kind { Exited, KilledBySignal, NotStarted };
    Kind kind = Kind::NotStarted;
    int code = 0;  // exit status, signal number, or errno when not started
};

// Starts the operator's pre-shutdown task and waits for it to end.
class TaskRunner {
public:
    virtual ~TaskRunner() = default;
    virtual TaskResult runAndWait(const std::string& commandLine) = 0;
};

}  // namespace quorbel
