#include "tests/e2e/running_program.h"

#include <fcntl.h>
#include <linux/close_range.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/capability.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <thread>

#include "tests/support/child_process.h"
#include "tests/support/network_namespace.h"

namespace quorbel::testing {
namespace {

using namespace std::chrono_literals;

constexpr auto kStopTimeout = 5s;

// Owns a descriptor until it is handed on.
class Descriptor {
public:
    explicit Descriptor(int descriptor = -1) : descriptor_(descriptor) {}
    ~Descriptor() { reset(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return descriptor_; }
    int release() {
        const int descriptor = descriptor_;
        descriptor_ = -1;
        return descriptor;
    }
    void reset() {
        if (descriptor_ >= 0) ::close(descriptor_);
        descriptor_ = -1;
    }

private:
    int descriptor_;
};

struct CapabilitiesRelease {
    void operator()(_cap_struct* capabilities) const { ::cap_free(capabilities); }
};
using Capabilities = std::unique_ptr<_cap_struct, CapabilitiesRelease>;

// Everything the child needs, prepared before fork: after it the child may
// only make system calls.
struct ChildPlan {
    std::vector<char*> arguments;
    std::vector<char*> environment;
    const char* workingDirectory = nullptr;
    int network = -1;
    int input = -1;
    int output = -1;
    int errors = -1;
    cap_t withoutRawSockets = nullptr;  // null: keep the capabilities
};

std::vector<char*> pointersTo(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& text : texts) pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

// The current capabilities without CAP_NET_RAW anywhere.
Capabilities capabilitiesWithoutRawSockets() {
    Capabilities capabilities(::cap_get_proc());
    if (!capabilities) return nullptr;
    const cap_value_t rawSockets[] = {CAP_NET_RAW};
    for (const cap_flag_t set : {CAP_EFFECTIVE, CAP_PERMITTED, CAP_INHERITABLE})
        if (::cap_set_flag(capabilities.get(), set, 1, rawSockets, CAP_CLEAR) != 0) return nullptr;
    return capabilities;
}

// Async-signal-safe: says which step failed and with what errno, then ends.
[[noreturn]] void failInChild(int errors, const char* step) {
    const int error = errno;
    char digits[16];
    int length = 0;
    for (int rest = error; length == 0 || rest > 0; rest /= 10) digits[length++] = static_cast<char>('0' + rest % 10);
    const char prefix[] = "cannot start the program: ";
    [[maybe_unused]] ssize_t ignored = ::write(errors, prefix, sizeof prefix - 1);
    ignored = ::write(errors, step, std::strlen(step));
    ignored = ::write(errors, " failed, errno ", 15);
    while (length > 0) ignored = ::write(errors, &digits[--length], 1);
    ignored = ::write(errors, "\n", 1);
    ::_exit(127);
}

[[noreturn]] void runChild(const ChildPlan& plan) {
    if (::setns(plan.network, CLONE_NEWNET) != 0) failInChild(plan.errors, "setns");
    if (plan.withoutRawSockets) {
        // The bounding set first: exec as root refills the permitted set from it.
        if (::prctl(PR_CAPBSET_DROP, CAP_NET_RAW, 0, 0, 0) != 0) failInChild(plan.errors, "PR_CAPBSET_DROP");
        if (::prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0) != 0)
            failInChild(plan.errors, "PR_CAP_AMBIENT_CLEAR_ALL");
        if (::cap_set_proc(plan.withoutRawSockets) != 0) failInChild(plan.errors, "cap_set_proc");
    }
    if (::dup2(plan.input, STDIN_FILENO) < 0 || ::dup2(plan.output, STDOUT_FILENO) < 0 ||
        ::dup2(plan.errors, STDERR_FILENO) < 0)
        failInChild(plan.errors, "dup2");
    // Nothing of the test's own may leak into the program.
    ::close_range(STDERR_FILENO + 1, ~0U, CLOSE_RANGE_CLOEXEC);
    if (::chdir(plan.workingDirectory) != 0) failInChild(STDERR_FILENO, "chdir");
    ::execve(plan.arguments[0], plan.arguments.data(), plan.environment.data());
    failInChild(STDERR_FILENO, "execve");
}

}  // namespace

std::unique_ptr<RunningProgram> RunningProgram::start(const ProgramLaunch& launch, std::string& failure) {
    if (!launch.network) {
        failure = "no network namespace given; the program never runs in the machine's own network";
        return nullptr;
    }
    const std::string networkPath = "/var/run/netns/" + launch.network->name();
    Descriptor network(::open(networkPath.c_str(), O_RDONLY | O_CLOEXEC));
    Descriptor input(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    Descriptor errors(::open(launch.errorLog.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    int pipeEnds[2] = {-1, -1};
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0) pipeEnds[0] = pipeEnds[1] = -1;
    Descriptor readEnd(pipeEnds[0]);
    Descriptor writeEnd(pipeEnds[1]);
    if (network.get() < 0 || input.get() < 0 || errors.get() < 0 || readEnd.get() < 0) {
        failure = "cannot prepare the child's descriptors: " + std::string(std::strerror(errno));
        return nullptr;
    }

    Capabilities withoutRawSockets;
    if (launch.rawSockets == RawSockets::Refused) {
        withoutRawSockets = capabilitiesWithoutRawSockets();
        if (!withoutRawSockets) {
            failure = "cannot prepare a capability set without CAP_NET_RAW";
            return nullptr;
        }
    }

    std::vector<std::string> arguments{launch.executable.string()};
    std::vector<std::string> environment = launch.environment;
    const std::string workingDirectory = launch.workingDirectory.string();
    ChildPlan plan;
    plan.arguments = pointersTo(arguments);
    plan.environment = pointersTo(environment);
    plan.workingDirectory = workingDirectory.c_str();
    plan.network = network.get();
    plan.input = input.get();
    plan.output = writeEnd.get();
    plan.errors = errors.get();
    plan.withoutRawSockets = withoutRawSockets.get();

    const pid_t pid = ::fork();
    if (pid < 0) {
        failure = "fork failed: " + std::string(std::strerror(errno));
        return nullptr;
    }
    if (pid == 0) runChild(plan);
    return std::unique_ptr<RunningProgram>(new RunningProgram(pid, readEnd.release()));
}

RunningProgram::~RunningProgram() {
    stop();
    ::close(output_);
}

bool RunningProgram::readUntil(std::chrono::steady_clock::time_point deadline) {
    while (!outputEnded_) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd entry{output_, POLLIN, 0};
        const int ready = ::poll(&entry, 1, static_cast<int>(std::max<std::int64_t>(left.count(), 0)));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return true;  // deadline reached (or poll failed: nothing more to learn)
        char chunk[4096];
        const ssize_t count = ::read(output_, chunk, sizeof chunk);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) {
            outputEnded_ = true;
            break;
        }
        partialLine_.append(chunk, static_cast<std::size_t>(count));
        for (std::size_t end; (end = partialLine_.find('\n')) != std::string::npos;) {
            lines_.push_back(partialLine_.substr(0, end));
            partialLine_.erase(0, end + 1);
        }
        // Hand new lines to the caller before the deadline, so waits end early.
        return true;
    }
    return false;
}

std::optional<std::size_t> RunningProgram::waitForLine(std::size_t from, const LinePredicate& matches,
                                                       std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        for (std::size_t index = from; index < lines_.size(); ++index)
            if (matches(lines_[index])) return index;
        from = std::max(from, lines_.size());
        if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
        if (!readUntil(deadline) && lines_.size() == from) return std::nullopt;
    }
}

void RunningProgram::readFor(std::chrono::milliseconds duration) {
    const auto deadline = std::chrono::steady_clock::now() + duration;
    while (std::chrono::steady_clock::now() < deadline && readUntil(deadline)) {
    }
}

bool RunningProgram::isRunning() { return !reapIfEnded(pid_); }

void RunningProgram::stop() { stopChild(pid_, kStopTimeout); }

}  // namespace quorbel::testing
