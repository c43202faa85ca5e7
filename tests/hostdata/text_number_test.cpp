#include "hostdata/text_number.h"

#include <gtest/gtest.h>

namespace quorbel {
namespace {

struct Case {
    const char* text;
    std::int32_t expected;
};

class TextToIntegerTest : public ::testing::TestWithParam<Case> {};

TEST_P(TextToIntegerTest, ReadsLeadingNumber) {
    EXPECT_EQ(textToInteger(GetParam().text), GetParam().expected) << "text: \"" << GetParam().text << '"';
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TextToIntegerTest,
    ::testing::Values(Case{"", 0}, Case{"abc", 0}, Case{"0", 0}, Case{"12", 12}, Case{"  7", 7},
                      Case{"\t-3", -3}, Case{"+5", 5}, Case{"12ms", 12}, Case{"1 2", 1}, Case{"-", 0},
                      Case{"- 3", 0}, Case{"007", 7},
                      Case{"\xEF\xBC\x91\xEF\xBC\x92", 12},     // full-width 12
                      Case{"3\xEF\xBC\x90", 30},                // mixed 3 and full-width 0
                      Case{"\xEF\xBC", 0},                      // cut-off multibyte sequence
                      Case{"2147483647", 2147483647}, Case{"2147483648", 2147483647},
                      Case{"99999999999999999999", 2147483647}, Case{"-2147483648", -2147483647 - 1},
                      Case{"-99999999999999999999", -2147483647 - 1}));

}  // namespace
}  // namespace quorbel
