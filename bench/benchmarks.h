#pragma once

#include <filesystem>
#include <string>

#include "bench/report_table.h"

namespace quorbel::bench {

// Each runs one part of the benchmark suite and returns its section of the
// report. A part that cannot run here says why in its notes.

// Probe rounds over 10, 100 and 1000 loopback hosts, beside fping. Each size
// runs in a fresh process (`benchExecutable --round-child N`) inside a
// network namespace of its own, so peak memory is that size's alone.
ReportTable runRoundBenchmark(const std::filesystem::path& benchExecutable);
// The body of one such process; prints "key=value" lines. Returns the exit status.
int runRoundChild(int hostCount);

// The probe's measured time against a host that answers after 20 ms, beside
// ping and fping on the same host.
ReportTable runTimingAccuracyBenchmark();

// "db.kdb" of 10 000 rows: encode, save, decode, load.
ReportTable runHostListBenchmark();

// The real program: time to its first window with 10 and 10 000 hosts.
ReportTable runStartupBenchmark(const std::filesystem::path& program);
// The real program left alone for 60 s with 10 loopback hosts.
ReportTable runIdleCostBenchmark(const std::filesystem::path& program);

}  // namespace quorbel::bench
