#include "shutdown/shell_task_runner.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

extern char** environ;

namespace quorbel {
namespace {

// posix_spawn's attributes and file actions, destroyed on every path.
class SpawnSettings {
public:
    SpawnSettings() {
        attributesError_ = ::posix_spawnattr_init(&attributes_);
        actionsError_ = ::posix_spawn_file_actions_init(&actions_);
    }
    ~SpawnSettings() {
        if (actionsError_ == 0) ::posix_spawn_file_actions_destroy(&actions_);
        if (attributesError_ == 0) ::posix_spawnattr_destroy(&attributes_);
    }
    SpawnSettings(const SpawnSettings&) = delete;
    SpawnSettings& operator=(const SpawnSettings&) = delete;

    // Returns 0 or an errno value.
    int prepare() {
        if (attributesError_ != 0) return attributesError_;
        if (actionsError_ != 0) return actionsError_;
        // Other threads may open descriptors without close-on-exec at any
        // moment; closing everything above stderr in the child covers them.
        if (const int error = ::posix_spawn_file_actions_addclosefrom_np(&actions_, STDERR_FILENO + 1))
            return error;
        // The task starts with no blocked signals and default handlers, not
        // with whatever this thread or the GUI toolkit set up.
        sigset_t none;
        sigset_t all;
        ::sigemptyset(&none);
        ::sigfillset(&all);
        if (const int error = ::posix_spawnattr_setsigmask(&attributes_, &none)) return error;
        if (const int error = ::posix_spawnattr_setsigdefault(&attributes_, &all)) return error;
        return ::posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    }

    const posix_spawnattr_t* attributes() const { return &attributes_; }
    const posix_spawn_file_actions_t* actions() const { return &actions_; }

private:
    posix_spawnattr_t attributes_{};
    posix_spawn_file_actions_t actions_{};
    int attributesError_ = 0;
    int actionsError_ = 0;
};

TaskResult waitForEnd(pid_t child) {
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) return {TaskResult::Kind::WaitFailed, errno};
    }
    if (WIFSIGNALED(status)) return {TaskResult::Kind::KilledBySignal, WTERMSIG(status)};
    return {TaskResult::Kind::Exited, WEXITSTATUS(status)};
}

}  // namespace

TaskResult ShellTaskRunner::runAndWait(const std::string& commandLine) {
    SpawnSettings settings;
    if (const int error = settings.prepare()) return {TaskResult::Kind::NotStarted, error};
    std::string shell = "/bin/sh";
    std::string option = "-c";
    std::string command = commandLine;
    char* arguments[] = {shell.data(), option.data(), command.data(), nullptr};
    pid_t child = 0;
    if (const int error = ::posix_spawn(&child, shell.c_str(), settings.actions(), settings.attributes(), arguments,
                                        environ))
        return {TaskResult::Kind::NotStarted, error};
    return waitForEnd(child);
}

}  // namespace quorbel
