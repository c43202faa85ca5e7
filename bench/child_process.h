#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace quorbel::bench {

// This process's environment with `settings` ("NAME=value") put in and the
// variables named in `removals` taken out.
std::vector<std::string> environmentWith(const std::vector<std::string>& settings,
                                         const std::vector<std::string>& removals);

struct CompletedRun {
    int exitCode = -1;  // -1 when it could not start or did not exit normally
    std::string output; // standard output and error together
    double wallSeconds = 0;  // from the spawn to the exit
};

// Runs a program found on PATH, without a shell, with this process's
// environment, and waits for it.
CompletedRun runAndWait(const std::vector<std::string>& arguments);

enum class OutputDestination { Pipe, File };

// A program left running while the bench watches it. Killed when the object goes.
class RunningProgram {
public:
    // Standard output goes to a pipe read with secondsToFirstLine() (standard
    // error is dropped), or both go to `outputFile`.
    RunningProgram(const std::vector<std::string>& arguments, const std::vector<std::string>& environment,
                   OutputDestination destination, const std::filesystem::path& outputFile = {});
    ~RunningProgram();
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    bool started() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    // Seconds from the spawn until the first whole line arrived on the pipe;
    // nothing when none came within `limit` or the program ended first.
    std::optional<double> secondsToFirstLine(std::chrono::milliseconds limit);
    bool running();
    // Kills the program and collects it.
    void stop();

private:
    pid_t pid_ = -1;
    int outputPipe_ = -1;
    bool collected_ = false;
    std::chrono::steady_clock::time_point spawnedAt_;
};

}  // namespace quorbel::bench
