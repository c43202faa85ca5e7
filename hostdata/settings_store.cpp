#include "hostdata/settings_store.h"

#include <cstddef>
#include <mutex>
#include <utility>

#include "hostdata/atomic_file.h"
#include "hostdata/code_page.h"
#include "hostdata/ini_document.h"

namespace quorbel {
namespace {

// Values are read into a buffer of 10240 bytes, terminator included.
constexpr std::size_t kValueLimit = 10239;

// A value cut at the limit must not end inside a UTF-8 character.
std::string cutToLimit(std::string value) {
    if (value.size() <= kValueLimit) return value;
    std::size_t length = kValueLimit;
    while (length > 0 && (static_cast<unsigned char>(value[length]) & 0xC0) == 0x80) --length;
    value.resize(length);
    return value;
}

// Writes in this process take turns, so that two writes of different keys
// cannot each start from the old file and lose the other's change.
std::mutex& writeMutex() {
    static std::mutex mutex;
    return mutex;
}

}  // namespace

SettingsStore::SettingsStore(std::filesystem::path iniPath) : path_(std::move(iniPath)) {}

std::string SettingsStore::read(std::string_view key, std::string_view defaultText) const {
    const FileRead file = readWholeFile(path_);
    if (file.state != FileState::Read) return std::string(defaultText);
    const auto value = findIniValue(textFileAsUtf8(file.bytes), settings::kSection, key);
    return cutToLimit(value ? *value : std::string(defaultText));
}

Status SettingsStore::write(std::string_view key, std::string_view text) {
    if (Status status = checkIniEntry(settings::kSection, key, text); !status) {
        return Status::failure("Cannot save \"" + path_.string() + "\": " + status.message());
    }
    if (text.size() > kValueLimit) {
        return Status::failure("Cannot save \"" + path_.string() + "\": the value of \"" + std::string(key) + "\" is " +
                               std::to_string(text.size()) + " bytes long; at most " + std::to_string(kValueLimit) +
                               " bytes can be read back");
    }
    std::lock_guard lock(writeMutex());
    const FileRead file = readWholeFile(path_);
    // Replacing a file that exists but cannot be read would lose its other settings.
    if (file.state == FileState::Unreadable) {
        return Status::failure("Cannot save \"" + path_.string() + "\": cannot read it first: " + file.error);
    }
    // A file in code page 936 is written back as UTF-8, the way Linux keeps text.
    const std::string document = setIniValue(textFileAsUtf8(file.bytes), settings::kSection, key, text);
    return replaceFileAtomically(path_, document);
}

}  // namespace quorbel
