#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "hostdata/status.h"

namespace quorbel {

// Setting keys of section "config" and their defaults.
namespace settings {
inline constexpr std::string_view kSection = "config";
inline constexpr std::string_view kShutdownBy = "shutdownBy";
inline constexpr std::string_view kCount = "count";
inline constexpr std::string_view kShutdownType = "shutdownType";
inline constexpr std::string_view kRun = "run";
inline constexpr std::string_view kPath = "path";

inline constexpr std::string_view kShutdownByDefault = "any";
inline constexpr std::string_view kCountDefault = "1";
inline constexpr std::string_view kShutdownTypeDefault = "1";
inline constexpr std::string_view kRunDefault = "off";
inline constexpr std::string_view kPathDefault = "";
}  // namespace settings

// The settings in section "config" of an INI file ("config.ini"). Every read
// goes to the file: nothing is cached, so a saved change is used at the next
// miss. Safe to use from several threads at once.
class SettingsStore {
public:
    explicit SettingsStore(std::filesystem::path iniPath);

    std::string read(std::string_view key, std::string_view defaultText) const;
    Status write(std::string_view key, std::string_view text);

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

}  // namespace quorbel
