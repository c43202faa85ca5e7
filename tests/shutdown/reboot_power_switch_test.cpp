// reboot(2) runs here only in a process that is PID 1 of a PID namespace
// this test created: there it ends that namespace's init, never the machine.

#include "shutdown/power_switch.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/capability.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <string>

namespace quorbel {
namespace {

std::string pidNamespace() {
    std::array<char, 128> link{};
    const ssize_t length = readlink("/proc/self/ns/pid", link.data(), link.size() - 1);
    return length > 0 ? std::string(link.data(), static_cast<size_t>(length)) : std::string();
}

bool bootCapabilityPermitted() {
    cap_t capabilities = cap_get_proc();
    if (!capabilities) return false;
    cap_flag_value_t permitted = CAP_CLEAR;
    const bool read = cap_get_flag(capabilities, CAP_SYS_BOOT, CAP_PERMITTED, &permitted) == 0;
    cap_free(capabilities);
    return read && permitted == CAP_SET;
}

// What the child that made the namespace reports through a pipe.
struct NamespaceReport {
    enum Stage : int { UnshareFailed, ForkFailed, InitEnded } stage;
    int value;  // errno, or the init's wait status
};

// Exit codes of the namespace's init when its body did not run or returned.
constexpr int kNotNamespaceInit = 101;

void sendReport(int fd, NamespaceReport report) {
    const ssize_t written = write(fd, &report, sizeof report);
    _exit(written == static_cast<ssize_t>(sizeof report) ? 0 : 1);
}

// Forks a child that enters a new PID namespace and forks its init there;
// the init runs `body` only after seeing it is PID 1 of a namespace other
// than this process's. Children use _exit only.
NamespaceReport runAsNamespaceInit(int (*body)()) {
    const std::string testNamespace = pidNamespace();
    int fds[2];
    if (pipe(fds) != 0) return {NamespaceReport::ForkFailed, errno};
    const pid_t child = fork();
    if (child < 0) return {NamespaceReport::ForkFailed, errno};
    if (child == 0) {
        close(fds[0]);
        if (unshare(CLONE_NEWPID) != 0) sendReport(fds[1], {NamespaceReport::UnshareFailed, errno});
        const pid_t init = fork();
        if (init < 0) sendReport(fds[1], {NamespaceReport::ForkFailed, errno});
        if (init == 0) {
            if (getpid() != 1 || testNamespace.empty() || pidNamespace() == testNamespace) _exit(kNotNamespaceInit);
            _exit(body());
        }
        int status = 0;
        while (waitpid(init, &status, 0) < 0 && errno == EINTR) {
        }
        sendReport(fds[1], {NamespaceReport::InitEnded, status});
    }
    close(fds[1]);
    NamespaceReport report{NamespaceReport::ForkFailed, EIO};
    if (read(fds[0], &report, sizeof report) != static_cast<ssize_t>(sizeof report))
        report = {NamespaceReport::ForkFailed, EIO};
    close(fds[0]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return report;
}

constexpr int kPowerOffReturned = 102;
constexpr int kCapabilityNotDropped = 103;
constexpr int kWrongFailure = 104;

int powerOffInNamespace() {
    RebootPowerSwitch().powerOff();
    return kPowerOffReturned;
}

int powerOffWithoutCapability() {
    cap_t capabilities = cap_get_proc();
    const cap_value_t boot[] = {CAP_SYS_BOOT};
    const bool dropped = capabilities && cap_set_flag(capabilities, CAP_EFFECTIVE, 1, boot, CAP_CLEAR) == 0 &&
                         cap_set_flag(capabilities, CAP_PERMITTED, 1, boot, CAP_CLEAR) == 0 &&
                         cap_set_proc(capabilities) == 0;
    cap_free(capabilities);
    if (!dropped) return kCapabilityNotDropped;
    const Status status = RebootPowerSwitch().powerOff();
    const bool permissionDenied = !status.ok() && status.message().find(std::strerror(EPERM)) != std::string::npos;
    return permissionDenied ? 0 : kWrongFailure;
}

class RebootPowerSwitchTest : public ::testing::Test {
protected:
    // Returns the init's wait status, or skips when no namespace can be made.
    int runInNamespace(int (*body)()) {
        const NamespaceReport report = runAsNamespaceInit(body);
        if (report.stage == NamespaceReport::UnshareFailed) {
            skipped_ = true;
            return 0;
        }
        EXPECT_EQ(report.stage, NamespaceReport::InitEnded) << std::strerror(report.value);
        return report.value;
    }
    bool skipped_ = false;
};

TEST_F(RebootPowerSwitchTest, PowerOffEndsTheNamespaceInitWithSigint) {
    if (!bootCapabilityPermitted()) GTEST_SKIP() << "needs CAP_SYS_BOOT (run as root)";
    const int status = runInNamespace(powerOffInNamespace);
    if (skipped_) GTEST_SKIP() << "cannot create a PID namespace here (needs root)";
    ASSERT_TRUE(WIFSIGNALED(status)) << "init exited with " << WEXITSTATUS(status);
    EXPECT_EQ(WTERMSIG(status), SIGINT);
}

TEST_F(RebootPowerSwitchTest, RefusedPowerOffIsAFailureWithTheReason) {
    const int status = runInNamespace(powerOffWithoutCapability);
    if (skipped_) GTEST_SKIP() << "cannot create a PID namespace here (needs root)";
    ASSERT_TRUE(WIFEXITED(status)) << "init ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace quorbel
