#include "hostdata/text_number.h"

#include <algorithm>
#include <cstddef>
#include <limits>
#include <optional>

namespace quorbel {
namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// The digit at text[position], ASCII or full-width, and how many bytes it takes.
struct Digit {
    int value;
    std::size_t length;
};

std::optional<Digit> digitAt(std::string_view text, std::size_t position) {
    const unsigned char c = static_cast<unsigned char>(text[position]);
    if (c >= '0' && c <= '9') return Digit{c - '0', 1};
    // Full-width digits are EF BC 90 .. EF BC 99 in UTF-8.
    if (c == 0xEF && position + 2 < text.size() &&
        static_cast<unsigned char>(text[position + 1]) == 0xBC) {
        const unsigned char last = static_cast<unsigned char>(text[position + 2]);
        if (last >= 0x90 && last <= 0x99) return Digit{last - 0x90, 3};
    }
    return std::nullopt;
}

}  // namespace

std::int32_t textToInteger(std::string_view text) {
    std::size_t position = 0;
    while (position < text.size() && isSpace(text[position])) ++position;
    bool negative = false;
    if (position < text.size() && (text[position] == '+' || text[position] == '-')) {
        negative = text[position] == '-';
        ++position;
    }
    constexpr std::int64_t limit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    std::int64_t magnitude = 0;
    while (position < text.size()) {
        const auto digit = digitAt(text, position);
        if (!digit) break;
        magnitude = std::min<std::int64_t>(magnitude * 10 + digit->value, limit);
        position += digit->length;
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(value);
}

std::string integerToText(std::int64_t value) { return std::to_string(value); }

}  // namespace quorbel
