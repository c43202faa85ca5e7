#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "hostdata/host_table.h"
#include "hostdata/status.h"

namespace quorbel {

// What a host list file holds: the cell records and the trailer's item values.
struct HostListContents {
    std::vector<CellRecord> records;
    std::vector<std::int32_t> itemValues;
};

// The byte layout of "db.kdb" (texts in code page 936 / GB18030), as pure
// functions over bytes.
std::string encodeHostList(const std::vector<IdentifiedRow>& rows);
HostListContents decodeHostList(std::string_view bytes);

// Replaces the file atomically (temporary file, fsync, rename): a crash
// leaves either the old list or the new one. A failure is reported.
Status save(const HostTable& table, const std::filesystem::path& path);
// A missing or unreadable file reads as empty.
HostListContents load(const std::filesystem::path& path);
// True when a file or directory of that name can be found.
bool exists(const std::filesystem::path& path);

// Fills the table from the file's contents and resets it for monitoring.
void applyHostList(HostTable& table, const HostListContents& contents);

}  // namespace quorbel
