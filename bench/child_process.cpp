#include "bench/child_process.h"

#include "tests/support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

extern char** environ;

namespace quorbel::bench {
namespace {

using Clock = std::chrono::steady_clock;

std::vector<char*> pointersTo(const std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (const std::string& text : texts) pointers.push_back(const_cast<char*>(text.c_str()));
    pointers.push_back(nullptr);
    return pointers;
}

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

int exitCodeOf(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }

int waitForExit(pid_t child) {
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return exitCodeOf(status);
}

enum class ErrorOutput { WithOutput, Discarded };

// Starts `arguments` with stdin from /dev/null and stdout on `output`.
// Returns the child's id, or -1.
pid_t spawn(const std::vector<std::string>& arguments, const std::vector<std::string>& environment, int output,
            ErrorOutput errors) {
    if (arguments.empty()) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, output, STDOUT_FILENO);
    if (errors == ErrorOutput::WithOutput) {
        posix_spawn_file_actions_adddup2(&actions, output, STDERR_FILENO);
    } else {
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    }
    std::vector<char*> argv = pointersTo(arguments);
    std::vector<char*> envp = pointersTo(environment);
    pid_t child = -1;
    const int failed =
        ::posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environment.empty() ? environ : envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return failed ? -1 : child;
}

}  // namespace

std::vector<std::string> environmentWith(const std::vector<std::string>& settings,
                                         const std::vector<std::string>& removals) {
    auto nameOf = [](const std::string& entry) { return entry.substr(0, entry.find('=')); };
    std::vector<std::string> environment;
    for (char** entry = environ; *entry; ++entry) {
        const std::string text = *entry;
        const std::string name = nameOf(text);
        const bool replaced = std::any_of(settings.begin(), settings.end(),
                                          [&](const std::string& setting) { return nameOf(setting) == name; });
        const bool removed = std::find(removals.begin(), removals.end(), name) != removals.end();
        if (!replaced && !removed) environment.push_back(text);
    }
    environment.insert(environment.end(), settings.begin(), settings.end());
    return environment;
}

CompletedRun runAndWait(const std::vector<std::string>& arguments) {
    CompletedRun run;
    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0) return run;
    const Clock::time_point start = Clock::now();
    const pid_t child = spawn(arguments, {}, pipeEnds[1], ErrorOutput::WithOutput);
    ::close(pipeEnds[1]);
    if (child < 0) {
        ::close(pipeEnds[0]);
        run.output = "cannot start " + (arguments.empty() ? std::string("nothing") : arguments[0]);
        return run;
    }
    run.output = testing::readAll(pipeEnds[0]);
    ::close(pipeEnds[0]);
    run.exitCode = waitForExit(child);
    run.wallSeconds = secondsSince(start);
    return run;
}

RunningProgram::RunningProgram(const std::vector<std::string>& arguments, const std::vector<std::string>& environment,
                               OutputDestination destination, const std::filesystem::path& outputFile) {
    int output = -1;
    if (destination == OutputDestination::Pipe) {
        int pipeEnds[2];
        if (::pipe2(pipeEnds, O_CLOEXEC) != 0) return;
        outputPipe_ = pipeEnds[0];
        output = pipeEnds[1];
    } else {
        output = ::open(outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (output < 0) return;
    }
    spawnedAt_ = Clock::now();
    // On a pipe only standard output counts: the first line must be the program's own.
    pid_ = spawn(arguments, environment, output,
                 destination == OutputDestination::Pipe ? ErrorOutput::Discarded : ErrorOutput::WithOutput);
    ::close(output);
}

RunningProgram::~RunningProgram() {
    stop();
    if (outputPipe_ >= 0) ::close(outputPipe_);
}

std::optional<double> RunningProgram::secondsToFirstLine(std::chrono::milliseconds limit) {
    if (outputPipe_ < 0 || pid_ <= 0) return std::nullopt;
    const Clock::time_point deadline = spawnedAt_ + limit;
    std::string seen;
    while (seen.find('\n') == std::string::npos) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return std::nullopt;
        pollfd entry{outputPipe_, POLLIN, 0};
        const int ready = ::poll(&entry, 1, static_cast<int>(left));
        if (ready < 0 && errno != EINTR) return std::nullopt;
        if (ready <= 0) continue;
        char chunk[4096];
        const ssize_t count = ::read(outputPipe_, chunk, sizeof chunk);
        if (count == 0 || (count < 0 && errno != EINTR)) return std::nullopt;
        if (count > 0) seen.append(chunk, static_cast<std::size_t>(count));
    }
    return secondsSince(spawnedAt_);
}

bool RunningProgram::running() {
    if (pid_ <= 0 || collected_) return false;
    int status = 0;
    const pid_t changed = ::waitpid(pid_, &status, WNOHANG);
    if (changed == pid_) collected_ = true;
    return changed == 0;
}

void RunningProgram::stop() {
    if (pid_ <= 0 || collected_) return;
    ::kill(pid_, SIGKILL);
    waitForExit(pid_);
    collected_ = true;
}

}  // namespace quorbel::bench
