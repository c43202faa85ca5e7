#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "bench/bench_hosts.h"
#include "bench/benchmarks.h"
#include "bench/statistics.h"
#include "hostdata/host_list_file.h"
#include "tests/support/temporary_directory.h"

namespace quorbel::bench {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRows = 10000;
constexpr int kRuns = 9;

// Runs `work` kRuns times after one warm-up run; the milliseconds of each.
std::vector<double> timeRuns(const std::function<void()>& work) {
    work();
    std::vector<double> milliseconds;
    for (int run = 0; run < kRuns; ++run) {
        const Clock::time_point start = Clock::now();
        work();
        milliseconds.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    return milliseconds;
}

std::vector<std::string> timesRow(const std::string& name, const std::vector<double>& milliseconds) {
    return {name, formatNumber(median(milliseconds), 2), formatNumber(minimum(milliseconds), 2),
            formatNumber(maximum(milliseconds), 2)};
}

}  // namespace

ReportTable runHostListBenchmark() {
    ReportTable table;
    table.title = "\"db.kdb\" with 10 000 rows";
    table.columns = {"operation", "median ms", "best ms", "worst ms"};
    const std::shared_ptr<HostTable> hosts = makeLoopbackTable(kRows);
    const std::vector<IdentifiedRow> rows = hosts->snapshot();
    const testing::TemporaryDirectory directory;
    const std::filesystem::path file = directory / "db.kdb";

    std::string encoded;
    table.rows.push_back(timesRow("encode (encodeHostList)", timeRuns([&] { encoded = encodeHostList(rows); })));
    Status saved = Status::success();
    table.rows.push_back(
        timesRow("save (encode, write, fsync, rename)", timeRuns([&] { saved = save(*hosts, file); })));
    if (!saved) {
        table.notes.push_back("save failed: " + saved.message());
        return table;
    }
    std::size_t decodedRecords = 0;
    table.rows.push_back(timesRow("decode (decodeHostList)",
                                  timeRuns([&] { decodedRecords = decodeHostList(encoded).records.size(); })));
    std::size_t loadedRecords = 0;
    table.rows.push_back(
        timesRow("load (read, decode)", timeRuns([&] { loadedRecords = load(file).records.size(); })));
    int filledRows = 0;
    table.rows.push_back(timesRow("load and fill the table", timeRuns([&] {
                                      HostTable loaded;
                                      applyHostList(loaded, load(file));
                                      filledRows = loaded.rowCount();
                                  })));

    table.notes.push_back("file of " + std::to_string(encoded.size()) + " bytes in " +
                          directory.path().parent_path().string() + "; median of " + std::to_string(kRuns) +
                          " runs after a warm-up run; names in Chinese, so every text is converted to code page 936");
    if (decodedRecords != rows.size() * kColumnCount || loadedRecords != decodedRecords || filledRows != kRows) {
        table.notes.push_back("read back " + std::to_string(filledRows) + " rows, not " + std::to_string(kRows));
    }
    return table;
}

}  // namespace quorbel::bench
