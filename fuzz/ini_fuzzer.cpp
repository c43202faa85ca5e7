// Feeds arbitrary bytes to the settings reader as "config.ini", then writes
// one key and checks that it reads back as written while every other
// setting, in "config" and elsewhere, reads as before.
//
// The input is the file; its length chooses the key, and the value written
// is its first line.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "hostdata/code_page.h"
#include "hostdata/ini_document.h"
#include "hostdata/settings_store.h"

namespace {

constexpr std::array<std::string_view, 6> kKeys = {
    quorbel::settings::kShutdownBy, quorbel::settings::kCount, quorbel::settings::kShutdownType,
    quorbel::settings::kRun,        quorbel::settings::kPath,  "Count",
};
constexpr std::array<std::string_view, 3> kSections = {"config", "other", "General"};

void require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "settings write broken: %s\n", what);
    __builtin_trap();
}

bool sameName(std::string_view left, std::string_view right) {
    if (left.size() != right.size()) return false;
    for (std::size_t index = 0; index < left.size(); ++index) {
        if ((left[index] | 0x20) != (right[index] | 0x20)) return false;
    }
    return true;
}

std::string firstLineAsValue(std::string_view text) {
    std::string value(text.substr(0, text.find('\n')));
    std::erase(value, '\r');
    std::erase(value, '\0');
    return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view key = kKeys[size % kKeys.size()];
    const std::string document = quorbel::textFileAsUtf8(std::string_view(reinterpret_cast<const char*>(data), size));
    const std::string value = firstLineAsValue(document);
    if (!quorbel::checkIniEntry("config", key, value).ok()) return 0;

    const std::string written = quorbel::setIniValue(document, "config", key, value);
    require(quorbel::findIniValue(written, "config", key) == value, "the value does not read back");
    for (const std::string_view section : kSections) {
        for (const std::string_view other : kKeys) {
            if (section == "config" && sameName(other, key)) continue;
            require(quorbel::findIniValue(written, section, other) == quorbel::findIniValue(document, section, other),
                    "another setting changed");
        }
    }
    require(quorbel::setIniValue(written, "config", key, value) == written, "writing again changes the file");
    return 0;
}
