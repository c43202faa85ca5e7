#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quorbel {

// Reads an integer the way the program reads every number kept as text:
// leading white space, an optional sign and decimal digits; anything after
// them is ignored and text without digits reads 0. Full-width digits
// (U+FF10..U+FF19, UTF-8) count as their ASCII equivalents. The result is
// clamped to the 32-bit range.
std::int32_t textToInteger(std::string_view text);

// Plain decimal, without leading zeros or grouping.
std::string integerToText(std::int64_t value);

}  // namespace quorbel
