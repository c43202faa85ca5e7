#pragma once

#include <filesystem>

namespace quorbel {

inline constexpr const char* kSettingsFileName = "config.ini";
inline constexpr const char* kHostListFileName = "db.kdb";

// The directory that holds "config.ini" and "db.kdb": the program directory
// when it already holds one of them or is writable (portable use); otherwise
// $XDG_CONFIG_HOME/quorbel (default ~/.config/quorbel).
std::filesystem::path dataDirectory(const std::filesystem::path& programDirectory);

// The directory of the running executable.
std::filesystem::path programDirectory();

}  // namespace quorbel
