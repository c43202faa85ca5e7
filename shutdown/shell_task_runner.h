#pragma once

#include <string>

#include "shutdown/task_runner.h"

namespace quorbel {

// Runs the command line through /bin/sh -c, so a script or any shell
// command may be given, with the program's environment and directory.
// Only the standard descriptors reach the task.
class ShellTaskRunner : public TaskRunner {
public:
    TaskResult runAndWait(const std::string& commandLine) override;
};

}  // namespace quorbel
