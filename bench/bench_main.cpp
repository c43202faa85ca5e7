// The benchmark suite: probe rounds, timing accuracy, the host list file and
// the real program's start-up and idle cost, printed as one report. Run it
// through bench/run_benchmarks.sh, which builds it and the program with
// optimisation.
#include <sys/utsname.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>

#include "bench/benchmarks.h"
#include "bench/child_process.h"

namespace {

using namespace quorbel::bench;

constexpr const char* kUsage =
    "usage: quorbel_bench [--program <quorbel executable>] [--only round,timing,files,startup,idle]\n"
    "Needs root: it builds network namespaces of its own and probes nothing outside them.\n";

struct Options {
    std::filesystem::path program;
    std::set<std::string> sections{"round", "timing", "files", "startup", "idle"};
};

std::set<std::string> splitList(const std::string& text) {
    std::set<std::string> items;
    std::istringstream parts(text);
    for (std::string item; std::getline(parts, item, ',');) items.insert(item);
    return items;
}

bool parseOptions(int argc, char* argv[], Options& options) {
    for (int index = 1; index < argc; ++index) {
        const std::string argument = argv[index];
        if (argument == "--program" && index + 1 < argc) {
            options.program = argv[++index];
        } else if (argument == "--only" && index + 1 < argc) {
            options.sections = splitList(argv[++index]);
        } else {
            return false;
        }
    }
    return true;
}

std::string missingTools() {
    std::string missing;
    for (const char* tool : {"ip", "fping", "ping", "sysctl"}) {
        const bool found = runAndWait({"sh", "-c", std::string("command -v ") + tool}).exitCode == 0;
        if (!found) missing += std::string(" ") + tool;
    }
    return missing;
}

void printHeader() {
    utsname system{};
    ::uname(&system);
    std::printf("Quorbel benchmarks on %s %s, %ld CPUs\n", system.sysname, system.release,
                ::sysconf(_SC_NPROCESSORS_ONLN));
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc == 3 && std::strcmp(argv[1], "--round-child") == 0) return runRoundChild(std::atoi(argv[2]));

    Options options;
    if (!parseOptions(argc, argv, options)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    if (::geteuid() != 0) {
        std::fputs("quorbel_bench: must run as root (network namespaces).\n", stderr);
        return 1;
    }
    if (const std::string missing = missingTools(); !missing.empty()) {
        std::fprintf(stderr, "quorbel_bench: missing tools:%s (run scripts/setup.sh)\n", missing.c_str());
        return 1;
    }
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe");
    const bool haveProgram = !options.program.empty() && std::filesystem::exists(options.program);

    printHeader();
    if (options.sections.count("round")) printTable(runRoundBenchmark(self), stdout);
    if (options.sections.count("timing")) printTable(runTimingAccuracyBenchmark(), stdout);
    if (options.sections.count("files")) printTable(runHostListBenchmark(), stdout);
    for (const char* section : {"startup", "idle"}) {
        if (!options.sections.count(section)) continue;
        if (!haveProgram) {
            std::printf("\n%s: skipped, no program given (--program)\n", section);
            continue;
        }
        const std::filesystem::path program = std::filesystem::absolute(options.program);
        printTable(std::strcmp(section, "startup") == 0 ? runStartupBenchmark(program) : runIdleCostBenchmark(program),
                   stdout);
    }
    return 0;
}
