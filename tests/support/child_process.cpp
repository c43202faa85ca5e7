#include "tests/support/child_process.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

namespace quorbel::testing {

std::string readAll(int descriptor) {
    std::string text;
    char chunk[4096];
    while (true) {
        const ssize_t count = ::read(descriptor, chunk, sizeof chunk);
        if (count > 0) {
            text.append(chunk, static_cast<std::size_t>(count));
        } else if (count == 0 || errno != EINTR) {
            return text;
        }
    }
}

bool reapIfEnded(pid_t& pid) {
    if (pid < 0) return true;
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) == 0) return false;
    pid = -1;
    return true;
}

void stopChild(pid_t& pid, std::chrono::milliseconds grace) {
    if (reapIfEnded(pid)) return;
    ::kill(pid, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + grace;
    while (!reapIfEnded(pid)) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            int status = 0;
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
            pid = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

}  // namespace quorbel::testing
