#pragma once

#include <filesystem>
#include <functional>

namespace quorbel {

inline constexpr const char* kSettingsFileName = "config.ini";
inline constexpr const char* kHostListFileName = "db.kdb";

// The directory that holds "config.ini" and "db.kdb": the program directory
// when it already holds one of them or is writable (portable use); otherwise
// $XDG_CONFIG_HOME/quorbel (default ~/.config/quorbel).
std::filesystem::path dataDirectory(const std::filesystem::path& programDirectory);
// The same, with the writability check passed in (access(W_OK) above).
std::filesystem::path dataDirectory(const std::filesystem::path& programDirectory,
                                    const std::function<bool(const std::filesystem::path&)>& isWritable);
bool isWritableDirectory(const std::filesystem::path& directory);

// The directory of the running executable.
std::filesystem::path programDirectory();

}  // namespace quorbel
