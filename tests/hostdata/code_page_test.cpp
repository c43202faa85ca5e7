#include "hostdata/code_page.h"

#include <gtest/gtest.h>

#include <string>

namespace quorbel {
namespace {

struct Character {
    std::string utf8;
    std::string codePage936;
};

class CodePageTest : public ::testing::TestWithParam<Character> {};

TEST_P(CodePageTest, ConvertsBothWays) {
    EXPECT_EQ(toCodePage936(GetParam().utf8), GetParam().codePage936);
    EXPECT_EQ(fromCodePage936(GetParam().codePage936), GetParam().utf8);
}

INSTANTIATE_TEST_SUITE_P(
    Characters, CodePageTest,
    ::testing::Values(Character{"192.168.1.1", "192.168.1.1"},
                      Character{"测试主机", "\xB2\xE2\xCA\xD4\xD6\xF7\xBB\xFA"},
                      Character{"乗", "\x81\x5C"},                 // second byte is a backslash
                      Character{"€", "\xA2\xE3"},
                      Character{"😀", "\x94\x39\xFC\x36"},          // outside code page 936, kept by GB18030
                      Character{"", ""}));

TEST(CodePageTest, UndecodableBytesBecomeReplacementCharacters) {
    EXPECT_EQ(fromCodePage936("a\xFF" "b"), "a\uFFFDb");
    EXPECT_EQ(fromCodePage936("a\x81"), "a\uFFFD");           // lead byte at the end
    EXPECT_EQ(fromCodePage936("\x81 b"), "\uFFFD b");          // a bad pair keeps its second byte
    EXPECT_EQ(fromCodePage936("\x80"), "€");                    // code page 936's one single-byte extra
}

TEST(CodePageTest, InvalidUtf8IsWrittenAsQuestionMarks) {
    EXPECT_EQ(toCodePage936("a\xC3" "b"), "a?b");
    EXPECT_EQ(toCodePage936("\xED\xA0\x80"), "???");          // a surrogate
}

TEST(CodePageTest, RecognisesUtf8) {
    EXPECT_TRUE(isValidUtf8("plain 测试 😀"));
    for (const std::string bad : {"\xC3", "\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xB2\xE2"}) {
        EXPECT_FALSE(isValidUtf8(bad)) << ::testing::PrintToString(bad);
    }
    EXPECT_EQ(textFileAsUtf8("path=测试"), "path=测试");
    EXPECT_EQ(textFileAsUtf8("path=\xB2\xE2\xCA\xD4"), "path=测试");
    EXPECT_EQ(textFileAsUtf8(std::string("\xFF\xFEr\0=\0\x4B\x6D", 8)), "r=测");
    EXPECT_EQ(textFileAsUtf8(std::string("\xFE\xFF\0r\0=\x6D\x4B\0", 9)), "r=测\uFFFD");  // odd last byte
}

}  // namespace
}  // namespace quorbel
