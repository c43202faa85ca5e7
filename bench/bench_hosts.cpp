#include "bench/bench_hosts.h"

#include <stdexcept>

namespace quorbel::bench {

std::string loopbackAddress(int index) {
    constexpr int kHostsPerBlock = 254;
    constexpr int kBlocks = 256 * 256;
    if (index < 0 || index >= kHostsPerBlock * kBlocks) throw std::out_of_range("no such loopback address");
    const int block = index / kHostsPerBlock;
    const int host = index % kHostsPerBlock + 1;
    return "127." + std::to_string(block / 256) + "." + std::to_string(block % 256) + "." + std::to_string(host);
}

std::shared_ptr<HostTable> makeLoopbackTable(int count) {
    auto table = std::make_shared<HostTable>();
    for (int index = 0; index < count; ++index) {
        // Chinese names, as operators give them: the file stores them in code page 936.
        const int row = table->appendRow("主机 " + std::to_string(index + 1), RowState::NotProbed);
        table->setCellText(row, AddressColumn, loopbackAddress(index));
        table->setCellText(row, ResponseColumn, std::to_string(index % 40) + "ms");
        table->setCellText(row, FailureCountColumn, std::to_string(index % 7));
    }
    return table;
}

}  // namespace quorbel::bench
