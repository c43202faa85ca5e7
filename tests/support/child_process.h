#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>

// Helpers for the child processes that tests and benchmarks start. No
// GoogleTest here: the benchmarks build this file too.
namespace quorbel::testing {

// Everything left to read from `descriptor`, until end of file or an error.
std::string readAll(int descriptor);

// True when the child has ended; it is then reaped and `pid` becomes -1.
// A `pid` below 0 counts as ended.
bool reapIfEnded(pid_t& pid);

// Asks the child to end (SIGTERM), kills it when it has not ended within
// `grace`, and reaps it either way; `pid` becomes -1.
void stopChild(pid_t& pid, std::chrono::milliseconds grace);

}  // namespace quorbel::testing
