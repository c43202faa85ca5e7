#include "shutdown/shell_task_runner.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>

#include "tests/support/temporary_directory.h"

namespace quorbel {
namespace {

struct TaskCase {
    const char* name;
    const char* commandLine;
    TaskResult::Kind kind;
    int code;
    friend void PrintTo(const TaskCase& value, std::ostream* out) { *out << value.name; }
};

// A descriptor number the shell itself never uses.
constexpr int kInheritableFd = 57;

const TaskCase kTaskCases[] = {
    {"ExitStatusIsReported", "exit 3", TaskResult::Kind::Exited, 3},
    // sh starts, but finds no such program.
    {"MissingProgramExits127", "/nonexistent/program", TaskResult::Kind::Exited, 127},
    // The test blocks SIGTERM; the task must start with no blocked signals.
    {"SignalEndIsReported", "kill -TERM $$", TaskResult::Kind::KilledBySignal, SIGTERM},
    {"EnvironmentIsInherited", "[ \"$QUORBEL_TASK_PROBE\" = inherited ]", TaskResult::Kind::Exited, 0},
    // Only the standard descriptors reach the task, even one left open
    // without close-on-exec.
    {"OnlyStandardDescriptorsAreInherited",
     "if [ -e /proc/self/fd/57 ]; then exit 10; elif [ -e /proc/self/fd/2 ]; then exit 0; else exit 20; fi",
     TaskResult::Kind::Exited, 0},
};

class ShellTaskRunnerTest : public ::testing::TestWithParam<TaskCase> {
protected:
    void SetUp() override {
        sigset_t terminate;
        sigemptyset(&terminate);
        sigaddset(&terminate, SIGTERM);
        ASSERT_EQ(pthread_sigmask(SIG_BLOCK, &terminate, &savedMask_), 0);
        ASSERT_EQ(setenv("QUORBEL_TASK_PROBE", "inherited", 1), 0);
        ASSERT_EQ(dup2(STDERR_FILENO, kInheritableFd), kInheritableFd);
        ASSERT_EQ(fcntl(kInheritableFd, F_GETFD) & FD_CLOEXEC, 0);
    }
    void TearDown() override {
        close(kInheritableFd);
        unsetenv("QUORBEL_TASK_PROBE");
        pthread_sigmask(SIG_SETMASK, &savedMask_, nullptr);
    }

    sigset_t savedMask_{};
};

TEST_P(ShellTaskRunnerTest, RunsThroughTheShellAndReportsTheEnd) {
    const TaskCase& task = GetParam();
    const TaskResult result = ShellTaskRunner().runAndWait(task.commandLine);
    EXPECT_EQ(result.kind, task.kind);
    EXPECT_EQ(result.code, task.code);
    // The task was reaped: this process has no child left.
    int status = 0;
    EXPECT_EQ(waitpid(-1, &status, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

INSTANTIATE_TEST_SUITE_P(Tasks, ShellTaskRunnerTest, ::testing::ValuesIn(kTaskCases),
                         [](const ::testing::TestParamInfo<TaskCase>& instance) { return instance.param.name; });

}  // namespace
}  // namespace quorbel
