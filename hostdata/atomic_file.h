#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "hostdata/status.h"

namespace quorbel {

enum class FileState { Read, Missing, Unreadable };

struct FileRead {
    FileState state = FileState::Missing;
    std::string bytes;
    std::string error;  // why an unreadable file could not be read
};

// The whole file's bytes.
FileRead readWholeFile(const std::filesystem::path& path);

// Replaces the file's contents so that a crash or power loss at any moment
// leaves either the old file or the new one: the bytes go to a temporary file
// in the same directory, which is flushed to disk and renamed over the
// target, and the directory is flushed too. The directory is created when
// missing. An existing file's permission bits are kept. A failure names the
// file and the reason.
Status replaceFileAtomically(const std::filesystem::path& path, std::string_view contents);

}  // namespace quorbel
