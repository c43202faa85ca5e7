#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quorbel::testing {

class NetworkNamespace;

enum class RawSockets { Allowed, Refused };

// How to start the program under test.
struct ProgramLaunch {
    std::filesystem::path executable;
    std::filesystem::path workingDirectory;
    // The child's whole environment, "NAME=value" each.
    std::vector<std::string> environment;
    // The child runs in this namespace only, never in the machine's own network.
    const NetworkNamespace* network = nullptr;
    // Refused: CAP_NET_RAW is dropped from every capability set of the child
    // (the bounding set too, so exec as root cannot bring it back).
    RawSockets rawSockets = RawSockets::Allowed;
    // Standard error goes here, for the failure messages.
    std::filesystem::path errorLog;
};

// The program as a child of the test, its standard output read line by line
// through a pipe, every wait bounded. Stopped (SIGTERM, then SIGKILL) and
// reaped when the object goes.
class RunningProgram {
public:
    using LinePredicate = std::function<bool(const std::string&)>;

    // Nothing, with `failure` set, when the child cannot be prepared or forked.
    static std::unique_ptr<RunningProgram> start(const ProgramLaunch& launch, std::string& failure);
    ~RunningProgram();
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    // Every line read so far, without its line break.
    const std::vector<std::string>& lines() const { return lines_; }

    // The index of the first line at or after `from` that `matches`, reading
    // on until `timeout` has passed or the output ends.
    std::optional<std::size_t> waitForLine(std::size_t from, const LinePredicate& matches,
                                           std::chrono::milliseconds timeout);
    // Reads whatever comes within `duration`.
    void readFor(std::chrono::milliseconds duration);

    // False once the program ended (crashed, or a sanitizer stopped it).
    bool isRunning();
    // SIGTERM, then SIGKILL after a few seconds; reaps the child. The lines
    // read so far stay.
    void stop();

private:
    RunningProgram(pid_t pid, int outputDescriptor) : pid_(pid), output_(outputDescriptor) {}
    // Reads what is available until `deadline`; false once the output ended.
    bool readUntil(std::chrono::steady_clock::time_point deadline);

    pid_t pid_;
    int output_;
    bool outputEnded_ = false;
    std::string partialLine_;
    std::vector<std::string> lines_;
};

}  // namespace quorbel::testing
