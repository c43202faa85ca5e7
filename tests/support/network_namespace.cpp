#include "tests/support/network_namespace.h"

#include "tests/support/child_process.h"

#include <fcntl.h>
#include <sched.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <thread>

extern char** environ;

namespace quorbel::testing {
namespace {

// Closes a descriptor when it goes; the fixture must not leak into children.
class Descriptor {
public:
    explicit Descriptor(int descriptor) : descriptor_(descriptor) {}
    ~Descriptor() {
        if (descriptor_ >= 0) ::close(descriptor_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return descriptor_; }

private:
    int descriptor_;
};

std::string uniqueNamespaceName() {
    static std::atomic<int> counter{0};
    return "quorbel-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter.fetch_add(1));
}

std::string commandLine(const std::vector<std::string>& arguments) {
    std::string line;
    for (const std::string& argument : arguments) line += (line.empty() ? "" : " ") + argument;
    return line;
}

int waitForExit(pid_t child) {
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

ProgramRun runProgram(const std::vector<std::string>& arguments) {
    ProgramRun run;
    int pipeEnds[2];
    if (arguments.empty() || ::pipe2(pipeEnds, O_CLOEXEC) != 0) return run;
    Descriptor readEnd(pipeEnds[0]);
    pid_t child = -1;
    {
        Descriptor writeEnd(pipeEnds[1]);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), STDERR_FILENO);
        std::vector<char*> argv;
        for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        const int spawned = ::posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (spawned != 0) {
            run.output = "cannot start " + arguments[0];
            return run;
        }
    }
    run.output = readAll(readEnd.get());
    run.exitCode = waitForExit(child);
    return run;
}

NetworkNamespace::NetworkNamespace() : name_(uniqueNamespaceName()) {
    created_ = record({"ip", "netns", "add", name_}, runProgram({"ip", "netns", "add", name_}));
    if (created_) ip({"link", "set", "lo", "up"});
}

NetworkNamespace::~NetworkNamespace() {
    if (created_) runProgram({"ip", "netns", "delete", name_});
}

bool NetworkNamespace::record(const std::vector<std::string>& arguments, const ProgramRun& run) {
    if (run.exitCode == 0) return true;
    failures_ += commandLine(arguments) + ": exit " + std::to_string(run.exitCode) + ": " + run.output + "\n";
    return false;
}

bool NetworkNamespace::ip(const std::vector<std::string>& arguments) {
    std::vector<std::string> command{"ip", "-n", name_};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return record(command, runProgram(command));
}

bool NetworkNamespace::setSysctl(const std::string& key, const std::string& value) {
    const std::vector<std::string> command{"ip", "netns", "exec", name_, "sysctl", "-q", "-w", key + "=" + value};
    return record(command, runProgram(command));
}

bool NetworkNamespace::enterOnThisThread() const {
    if (!created_) return false;
    const Descriptor handle(::open(("/var/run/netns/" + name_).c_str(), O_RDONLY | O_CLOEXEC));
    return handle.get() >= 0 && ::setns(handle.get(), CLONE_NEWNET) == 0;
}

bool NetworkNamespace::runInside(const std::function<void()>& work) const {
    bool entered = false;
    std::thread inside([&] {
        entered = enterOnThisThread();
        if (entered) work();
    });
    inside.join();
    return entered;
}

std::optional<std::string> VethNetwork::unavailableReason() {
    static const std::optional<std::string> reason = []() -> std::optional<std::string> {
        if (::geteuid() != 0) return "needs root to create network namespaces";
        if (runProgram({"ip", "-V"}).exitCode != 0) return "needs the ip command (iproute2)";
        VethNetwork trial;
        if (!trial.ready()) return "cannot build a veth network here:\n" + trial.failures();
        if (runProgram({"sysctl", "-V"}).exitCode != 0) return "needs the sysctl command (procps)";
        return std::nullopt;
    }();
    return reason;
}

VethNetwork::VethNetwork()
    : client_(std::make_unique<NetworkNamespace>()), server_(std::make_unique<NetworkNamespace>()) {
    if (!client_->ready() || !server_->ready()) return;
    // Both ends are born inside the namespaces, so the host never sees them.
    linked_ = client_->ip({"link", "add", kClientInterface, "type", "veth", "peer", "name", kServerInterface,
                           "netns", server_->name()}) &&
              client_->ip({"addr", "add", std::string(kClientAddress) + "/30", "dev", kClientInterface}) &&
              server_->ip({"addr", "add", std::string(kServerAddress) + "/30", "dev", kServerInterface}) &&
              client_->ip({"link", "set", kClientInterface, "up"}) &&
              server_->ip({"link", "set", kServerInterface, "up"});
}

bool VethNetwork::ready() const { return linked_ && client_->ready() && server_->ready(); }

std::string VethNetwork::failures() const { return client_->failures() + server_->failures(); }

bool VethNetwork::silenceServer() { return server_->setSysctl("net.ipv4.icmp_echo_ignore_all", "1"); }

bool VethNetwork::cutLinkAtServer() { return server_->ip({"link", "set", kServerInterface, "down"}); }

bool VethNetwork::cutLinkAtClient() { return client_->ip({"link", "set", kClientInterface, "down"}); }

}  // namespace quorbel::testing
