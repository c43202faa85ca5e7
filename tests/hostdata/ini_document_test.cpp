#include "hostdata/ini_document.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace quorbel {
namespace {

struct ReadCase {
    std::string document;
    std::optional<std::string> expected;  // value of "count" in "config"
};

class IniReadTest : public ::testing::TestWithParam<ReadCase> {};

TEST_P(IniReadTest, FindsTheValue) {
    EXPECT_EQ(findIniValue(GetParam().document, "config", "count"), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Documents, IniReadTest,
    ::testing::Values(ReadCase{"", std::nullopt},
                      ReadCase{"[config]\ncount=2\n", "2"},
                      ReadCase{"[config]\r\ncount=2\r\n", "2"},                // CRLF
                      ReadCase{"[config]\ncount=2", "2"},                      // no final line end
                      ReadCase{"  [ CONFIG ]  \n  Count  =  2  \n", "2"},      // case and white space
                      ReadCase{"[config]\ncount=\"  2 \"\n", "  2 "},           // double quotes
                      ReadCase{"[config]\ncount='a b'\n", "a b"},               // single quotes
                      ReadCase{"[config]\ncount=\"a\" \"b\"\n", "a\" \"b"},     // outer pair only
                      ReadCase{"[config]\ncount=\"a'\n", "\"a'"},               // unmatched
                      ReadCase{"[config]\ncount=\n", ""},
                      ReadCase{"[config]\ncount=a=b\n", "a=b"},
                      ReadCase{"[config]\n;count=1\n", std::nullopt},           // comment
                      ReadCase{"count=1\n[config]\n", std::nullopt},            // outside any section
                      ReadCase{"[other]\ncount=1\n[config]\n", std::nullopt},   // other section
                      ReadCase{"[config]\ncount=1\ncount=2\n", "1"},            // first key wins
                      ReadCase{"[config]\nrun=on\n[config]\ncount=2\n", std::nullopt},  // first section wins
                      ReadCase{"\xEF\xBB\xBF[config]\ncount=3\n", "3"},          // byte order mark
                      ReadCase{"[config] ; note\ncount=4\n", "4"},
                      ReadCase{"[config]\ncounter=4\n", std::nullopt}));

struct WriteCase {
    std::string before;
    std::string key;
    std::string value;
    std::string after;
};

class IniWriteTest : public ::testing::TestWithParam<WriteCase> {};

TEST_P(IniWriteTest, ChangesOnlyTheEntry) {
    const WriteCase& write = GetParam();
    ASSERT_TRUE(checkIniEntry("config", write.key, write.value).ok());
    const std::string after = setIniValue(write.before, "config", write.key, write.value);
    EXPECT_EQ(after, write.after);
    EXPECT_EQ(findIniValue(after, "config", write.key), write.value);
}

INSTANTIATE_TEST_SUITE_P(
    Documents, IniWriteTest,
    ::testing::Values(
        WriteCase{"", "count", "2", "[config]\ncount=2\n"},
        WriteCase{"[config]\ncount=1\n", "count", "2", "[config]\ncount=2\n"},
        WriteCase{"[Config]\r\nCount = 1\r\n", "count", "2", "[Config]\r\nCount=2\r\n"},  // CRLF kept
        WriteCase{"[config]\r\ncount=1", "run", "on", "[config]\r\ncount=1\r\nrun=on\r\n"},
        WriteCase{"; top\n[a]\nx=1\n\n[config]\ncount=1\n; about b\n\n[b]\ny=2\n", "run", "on",
                  "; top\n[a]\nx=1\n\n[config]\ncount=1\nrun=on\n; about b\n\n[b]\ny=2\n"},
        WriteCase{"[config]\n\n[b]\n", "run", "on", "[config]\nrun=on\n\n[b]\n"},
        WriteCase{"[a]\nx=1", "run", "on", "[a]\nx=1\n[config]\nrun=on\n"},
        WriteCase{"[config]\ncount=1\ncount=5\n", "count", "2", "[config]\ncount=2\ncount=5\n"},
        WriteCase{"\xEF\xBB\xBF[config]\ncount=1\n", "count", "2", "\xEF\xBB\xBF[config]\ncount=2\n"},
        // Values that would not read back as they are get a pair of quotes.
        WriteCase{"", "path", " a ", "[config]\npath=\" a \"\n"},
        WriteCase{"", "path", "\"a b\" \"c\"", "[config]\npath=\"\"a b\" \"c\"\"\n"},
        WriteCase{"", "path", "\"C:\\a b\\x.exe\" -q", "[config]\npath=\"C:\\a b\\x.exe\" -q\n"}));

TEST(IniEntryTest, RefusesWhatCannotBeReadBack) {
    EXPECT_FALSE(checkIniEntry("config", "path", "a\nb").ok());
    EXPECT_FALSE(checkIniEntry("config", "path", std::string("a\0b", 3)).ok());
    EXPECT_FALSE(checkIniEntry("config", "a=b", "x").ok());
    EXPECT_FALSE(checkIniEntry("config", " key", "x").ok());
    EXPECT_FALSE(checkIniEntry("config", "", "x").ok());
    EXPECT_FALSE(checkIniEntry("con]fig", "key", "x").ok());
    EXPECT_TRUE(checkIniEntry("config", "path", "").ok());
}

}  // namespace
}  // namespace quorbel
