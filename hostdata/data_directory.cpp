#include "hostdata/data_directory.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace quorbel {
namespace {

constexpr const char* kApplicationDirectoryName = "quorbel";

bool holdsDataFile(const std::filesystem::path& directory) {
    std::error_code error;
    return std::filesystem::exists(directory / kSettingsFileName, error) ||
           std::filesystem::exists(directory / kHostListFileName, error);
}

std::optional<std::filesystem::path> environmentPath(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') return std::nullopt;
    return std::filesystem::path(value);
}

std::optional<std::filesystem::path> homeFromPasswordDatabase() {
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) {
        return std::nullopt;
    }
    if (found->pw_dir == nullptr || *found->pw_dir == '\0') return std::nullopt;
    return std::filesystem::path(found->pw_dir);
}

// $XDG_CONFIG_HOME/quorbel, or ~/.config/quorbel. A relative
// XDG_CONFIG_HOME is to be ignored.
std::optional<std::filesystem::path> userConfigurationDirectory() {
    if (const auto configuration = environmentPath("XDG_CONFIG_HOME"); configuration && configuration->is_absolute()) {
        return *configuration / kApplicationDirectoryName;
    }
    auto home = environmentPath("HOME");
    if (!home) home = homeFromPasswordDatabase();
    if (!home) return std::nullopt;
    return *home / ".config" / kApplicationDirectoryName;
}

}  // namespace

bool isWritableDirectory(const std::filesystem::path& directory) {
    return ::access(directory.c_str(), W_OK) == 0;
}

std::filesystem::path dataDirectory(const std::filesystem::path& programDirectory) {
    return dataDirectory(programDirectory, isWritableDirectory);
}

std::filesystem::path dataDirectory(const std::filesystem::path& programDirectory,
                                    const std::function<bool(const std::filesystem::path&)>& isWritable) {
    if (!programDirectory.empty() && (holdsDataFile(programDirectory) || isWritable(programDirectory))) {
        return programDirectory;
    }
    // Without any home the program directory is all there is; saving there
    // then fails with a message rather than going somewhere unexpected.
    return userConfigurationDirectory().value_or(programDirectory);
}

std::filesystem::path programDirectory() {
    std::error_code error;
    const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return {};
    return executable.parent_path();
}

}  // namespace quorbel
