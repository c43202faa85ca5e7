#include "hostdata/host_list_file.h"

#include <gtest/gtest.h>

#include <climits>
#include <ostream>
#include <string>
#include <vector>

#include "tests/support/temporary_directory.h"

namespace quorbel {
namespace {

using testing::readFileBytes;
using testing::TemporaryDirectory;
using testing::writeFileBytes;

// The fixtures sit next to this source file.
const std::filesystem::path kFixtures = std::filesystem::path(__FILE__).parent_path() / "fixtures";

struct Host {
    std::string name;
    std::string address;
    std::int32_t itemValue = 0;
    friend bool operator==(const Host&, const Host&) = default;
    friend void PrintTo(const Host& host, std::ostream* out) {
        *out << "{" << host.name << ", " << host.address << ", " << host.itemValue << "}";
    }
};

void fill(HostTable& table, const std::vector<Host>& hosts) {
    for (const Host& host : hosts) {
        const int row = table.appendRow(host.name, RowState::NotProbed);
        table.setCellText(row, AddressColumn, host.address);
        table.setItemValue(row, host.itemValue);
    }
}

std::vector<Host> hostsOf(const HostTable& table) {
    std::vector<Host> hosts;
    for (int row = 0; row < table.rowCount(); ++row) {
        hosts.push_back({table.cellText(row, NameColumn), table.cellText(row, AddressColumn), table.itemValue(row)});
    }
    return hosts;
}

// One record as the writer lays it out, from raw code-page-936 bytes.
std::string record(char kind, const std::string& text) {
    return std::string(1, kind) + std::string(8, '\xFF') + std::string(8, '\0') + text + std::string(2, '\0');
}

std::string row(const std::string& name, const std::string& address) {
    return record(0, name) + record(1, address) + record(1, "") + record(1, "");
}

class HostListFileTest : public ::testing::Test {
protected:
    TemporaryDirectory directory_;
    std::filesystem::path file_ = directory_ / "db.kdb";
};

TEST_F(HostListFileTest, WritesTheDocumentedExampleByteForByte) {
    HostTable table;
    fill(table, {{"测试主机", "192.168.1.1", 0}});
    ASSERT_TRUE(save(table, file_).ok());
    EXPECT_EQ(readFileBytes(file_), readFileBytes(kFixtures / "example_host.kdb"));
}

TEST_F(HostListFileTest, ReadsTheDocumentedExample) {
    HostTable table;
    applyHostList(table, load(kFixtures / "example_host.kdb"));
    EXPECT_EQ(hostsOf(table), (std::vector<Host>{{"测试主机", "192.168.1.1", 0}}));
    EXPECT_EQ(table.rowState(0), RowState::NotProbed);
}

TEST_F(HostListFileTest, EmptyTableGivesEmptyFileAndBack) {
    HostTable table;
    ASSERT_TRUE(save(table, file_).ok());
    EXPECT_EQ(readFileBytes(file_), "");

    fill(table, {{"stale", "127.0.0.1", 1}});
    const HostListContents contents = load(file_);
    EXPECT_TRUE(contents.records.empty());
    EXPECT_TRUE(contents.itemValues.empty());
    applyHostList(table, contents);
    EXPECT_EQ(table.rowCount(), 0);
}

TEST_F(HostListFileTest, RowsSurviveARestartWhateverBytesTheirNamesHold) {
    // "乗" is 81 5C in code page 936: its second byte is a backslash.
    const std::vector<Host> hosts = {
        {"back\\slash", "127.0.0.1", 0},
        {"乗", "127.0.0.2", 42},
        {"\\", "127.0.0.3", -7},
        {"C:\\乗\\表", "127.0.0.4", INT_MIN},
        {"网关", "127.0.0.5", INT_MAX},
    };
    HostTable before;
    fill(before, hosts);
    ASSERT_TRUE(save(before, file_).ok());

    HostTable after;
    applyHostList(after, load(file_));
    EXPECT_EQ(hostsOf(after), hosts);
}

TEST_F(HostListFileTest, ItemValuesTravelInTheTrailerOnly) {
    HostTable table;
    fill(table, {{"a", "127.0.0.1", 42}});
    const std::string bytes = encodeHostList(table.snapshot());
    // The record's own item value field (bytes 13..16) stays 0.
    EXPECT_EQ(bytes.substr(13, 4), std::string(4, '\0'));
    EXPECT_EQ(bytes.substr(bytes.size() - 3), "\\42");
}

TEST_F(HostListFileTest, ProbeResultsAreSavedAndClearedOnLoad) {
    HostTable table;
    fill(table, {{"a", "127.0.0.1", 0}});
    table.setCellText(0, ResponseColumn, "12ms");
    table.setCellText(0, FailureCountColumn, "3");
    ASSERT_TRUE(save(table, file_).ok());
    EXPECT_NE(readFileBytes(file_).find("12ms"), std::string::npos);

    const HostListContents contents = load(file_);
    ASSERT_EQ(contents.records.size(), 4u);
    EXPECT_EQ(contents.records[3].text, "3");
    HostTable loaded;
    applyHostList(loaded, contents);
    EXPECT_EQ(loaded.cellText(0, ResponseColumn), "");
    EXPECT_EQ(loaded.cellText(0, FailureCountColumn), "");
}

TEST_F(HostListFileTest, ReadsAFileWithBackslashesInsideItsCells) {
    HostTable table;
    applyHostList(table, load(kFixtures / "three_hosts.kdb"));
    EXPECT_EQ(hostsOf(table), (std::vector<Host>{{"back\\slash", "127.0.0.1", 5},
                                                 {"乗x", "127.0.0.2", -3},
                                                 {"网关", "127.0.0.3", INT_MAX}}));
}

TEST(HostListDecodeTest, AFileWithoutBackslash) {
    // Text that is no record loads nothing.
    EXPECT_TRUE(decodeHostList("12 hosts").records.empty());
    // Records without a trailer (never written so) keep their rows, with the
    // item values of their records.
    std::string stream = row("a", "127.0.0.1");
    stream[13] = 9;
    const HostListContents contents = decodeHostList(stream);
    ASSERT_EQ(contents.records.size(), 4u);
    EXPECT_EQ(contents.records[0].itemValue, 9);
    EXPECT_TRUE(contents.itemValues.empty());
}

struct TrailerCase {
    std::string trailer;
    std::vector<std::int32_t> expected;  // item values of the two rows
};

class TrailerTest : public ::testing::TestWithParam<TrailerCase> {};

TEST_P(TrailerTest, ReadsItemValues) {
    HostTable table;
    applyHostList(table, decodeHostList(row("a", "127.0.0.1") + row("b", "127.0.0.2") + GetParam().trailer));
    ASSERT_EQ(table.rowCount(), 2);
    EXPECT_EQ(table.itemValue(0), GetParam().expected[0]);
    EXPECT_EQ(table.itemValue(1), GetParam().expected[1]);
}

INSTANTIATE_TEST_SUITE_P(
    Pieces, TrailerTest,
    ::testing::Values(TrailerCase{"\\1\\2", {1, 2}},
                      TrailerCase{"\\ 12.9\\-3.7", {12, -3}},       // white space, fractions toward zero
                      TrailerCase{"\\abc\\+4", {0, 4}},             // not a number reads 0
                      TrailerCase{"\\99999999999\\-99999999999", {INT_MAX, INT_MIN}},
                      TrailerCase{"\\\\5", {0, 5}},                 // empty piece counts
                      TrailerCase{"\\1\\2\\3\\4", {1, 2}},          // pieces past the rows do nothing
                      TrailerCase{"\\7", {7, 0}},
                      TrailerCase{std::string("\\5\0\\6", 5), {5, 0}},  // text ends at a NUL
                      TrailerCase{"\\\x81\\5\\6", {0, 6}}));        // 81 5C is one character

// A file cut at every point: rows read before the damage stay, and no row
// keeps a cut name or address.
class TruncatedFileTest : public ::testing::Test {
protected:
    const std::string first_ = row("alpha", "127.0.0.1");
    const std::string bytes_ = first_ + row("beta", "127.0.0.2") + "\\0\\0";
};

TEST_F(TruncatedFileTest, KeepsWholeRowsAtChosenCuts) {
    const std::size_t second = first_.size();
    const std::size_t secondAddress = second + 17 + 4 + 2;
    struct Cut {
        std::size_t length;
        std::vector<std::string> addresses;
    };
    const std::vector<Cut> cuts = {
        {0, {}},
        {10, {}},                                        // inside the first head
        {17 + 3, {}},                                    // inside the first name
        {second, {"127.0.0.1"}},                         // between rows
        {second + 5, {"127.0.0.1"}},                     // inside the second head
        {secondAddress, {"127.0.0.1"}},                  // after the second name
        {secondAddress + 10, {"127.0.0.1"}},             // inside the address head
        {secondAddress + 17 + 4, {"127.0.0.1"}},         // inside the address text
        {secondAddress + 17 + 9 + 1, {"127.0.0.1", "127.0.0.2"}},  // inside the hover tip
        {secondAddress + 28 + 5, {"127.0.0.1", "127.0.0.2"}},      // inside a later column
        {bytes_.size() - 4, {"127.0.0.1", "127.0.0.2"}},           // no trailer
    };
    for (const Cut& cut : cuts) {
        HostTable table;
        applyHostList(table, decodeHostList(std::string_view(bytes_).substr(0, cut.length)));
        std::vector<std::string> addresses;
        for (int index = 0; index < table.rowCount(); ++index) addresses.push_back(table.cellText(index, AddressColumn));
        EXPECT_EQ(addresses, cut.addresses) << "cut at " << cut.length;
    }
}

TEST_F(TruncatedFileTest, NeverKeepsAPartialNameOrAddress) {
    for (std::size_t length = 0; length <= bytes_.size(); ++length) {
        HostTable table;
        applyHostList(table, decodeHostList(std::string_view(bytes_).substr(0, length)));
        for (int index = 0; index < table.rowCount(); ++index) {
            EXPECT_TRUE(table.cellText(index, NameColumn) == "alpha" || table.cellText(index, NameColumn) == "beta");
            const std::string address = table.cellText(index, AddressColumn);
            EXPECT_TRUE(address == "127.0.0.1" || address == "127.0.0.2") << "cut at " << length;
        }
    }
}

TEST_F(HostListFileTest, SaveCreatesTheDirectoryAndLeavesNoTemporaryFile) {
    const std::filesystem::path nested = directory_ / "new" / "data" / "db.kdb";
    HostTable table;
    fill(table, {{"a", "127.0.0.1", 0}});
    ASSERT_TRUE(save(table, nested).ok());
    EXPECT_TRUE(quorbel::exists(nested));
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(nested.parent_path())) ++entries;
    EXPECT_EQ(entries, 1);
}

TEST_F(HostListFileTest, AFailedSaveSaysWhichFileAndWhy) {
    writeFileBytes(directory_ / "plain", "x");
    std::filesystem::create_directory(directory_ / "db.kdb");
    struct Case {
        std::filesystem::path path;
        std::string reason;
    };
    for (const Case& failing : {Case{directory_ / "plain" / "db.kdb", "Not a directory"},
                                Case{directory_ / "db.kdb", "Is a directory"},
                                Case{"/proc/quorbel/db.kdb", ""}}) {
        HostTable table;
        const Status status = save(table, failing.path);
        EXPECT_FALSE(status.ok());
        EXPECT_NE(status.message().find(failing.path.string()), std::string::npos) << status.message();
        EXPECT_NE(status.message().find(failing.reason), std::string::npos) << status.message();
    }
    EXPECT_FALSE(save(HostTable{}, "").ok());
}

TEST_F(HostListFileTest, LoadOfMissingOrUnreadableFileIsEmpty) {
    EXPECT_FALSE(quorbel::exists(file_));
    EXPECT_TRUE(load(file_).records.empty());
    std::filesystem::create_directory(file_);
    EXPECT_TRUE(quorbel::exists(file_));
    EXPECT_TRUE(load(file_).records.empty());
}

}  // namespace
}  // namespace quorbel
