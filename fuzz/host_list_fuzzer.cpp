// Feeds arbitrary bytes to the host list reader as "db.kdb". Whatever it
// loads must save and load again to the same table, and save to the same
// bytes a second time.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "hostdata/host_list_file.h"

namespace {

void require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "host list round trip broken: %s\n", what);
    __builtin_trap();
}

std::vector<quorbel::HostRow> rowsOf(const quorbel::HostTable& table) {
    std::vector<quorbel::HostRow> rows;
    for (const quorbel::IdentifiedRow& identified : table.snapshot()) rows.push_back(identified.row);
    return rows;
}

bool sameRows(const std::vector<quorbel::HostRow>& left, const std::vector<quorbel::HostRow>& right) {
    if (left.size() != right.size()) return false;
    for (std::size_t index = 0; index < left.size(); ++index) {
        if (left[index].cells != right[index].cells || left[index].itemValue != right[index].itemValue ||
            left[index].state != right[index].state) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    quorbel::HostTable loaded;
    quorbel::applyHostList(loaded, quorbel::decodeHostList(bytes));
    const std::string saved = quorbel::encodeHostList(loaded.snapshot());

    quorbel::HostTable reloaded;
    quorbel::applyHostList(reloaded, quorbel::decodeHostList(saved));
    require(sameRows(rowsOf(loaded), rowsOf(reloaded)), "rows differ after a save and load");
    require(quorbel::encodeHostList(reloaded.snapshot()) == saved, "a second save gives other bytes");
    return 0;
}
