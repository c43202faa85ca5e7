#include "hostdata/settings_store.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/temporary_directory.h"

namespace quorbel {
namespace {

using testing::readFileBytes;
using testing::TemporaryDirectory;
using testing::writeFileBytes;

// The fixtures sit next to this source file.
const std::filesystem::path kFixtures = std::filesystem::path(__FILE__).parent_path() / "fixtures";

class SettingsStoreTest : public ::testing::Test {
protected:
    TemporaryDirectory directory_;
    std::filesystem::path file_ = directory_ / "config.ini";
    SettingsStore store_{file_};
};

TEST_F(SettingsStoreTest, WithoutAFileEveryKeyGivesItsDefault) {
    EXPECT_EQ(store_.read(settings::kCount, settings::kCountDefault), "1");
    EXPECT_EQ(store_.read(settings::kShutdownBy, settings::kShutdownByDefault), "any");
    EXPECT_EQ(store_.read(settings::kShutdownType, settings::kShutdownTypeDefault), "1");
    EXPECT_EQ(store_.read(settings::kRun, settings::kRunDefault), "off");
    EXPECT_EQ(store_.read(settings::kPath, settings::kPathDefault), "");
    EXPECT_FALSE(std::filesystem::exists(file_));
}

TEST_F(SettingsStoreTest, ValuesReadBackExactlyAsWritten) {
    for (const std::string value : {"0", "abc", "ANY", "", " spaced ", "\"quoted\"", "C:\\备份\\任务.bat"}) {
        ASSERT_TRUE(store_.write(settings::kPath, value).ok());
        EXPECT_EQ(store_.read(settings::kPath, "default"), value);
    }
}

TEST_F(SettingsStoreTest, ReadsAFileWrittenOnWindowsAndKeepsItsOtherLines) {
    const std::string before = readFileBytes(kFixtures / "windows_settings.ini");
    ASSERT_FALSE(before.empty());
    writeFileBytes(file_, before);
    EXPECT_EQ(store_.read("shutdownby", "any"), "all");
    EXPECT_EQ(store_.read(settings::kCount, "1"), "3");
    EXPECT_EQ(store_.read(settings::kPath, ""), "C:\\tools\\backup.cmd");
    EXPECT_EQ(store_.read(settings::kShutdownType, "1"), "1");

    ASSERT_TRUE(store_.write(settings::kCount, "5").ok());
    ASSERT_TRUE(store_.write(settings::kShutdownType, "3").ok());
    std::string expected = before;
    expected.replace(expected.find("count=3"), 7, "count=5");
    expected.insert(expected.find("path=") + expected.substr(expected.find("path=")).find('\n') + 1,
                    "shutdownType=3\r\n");
    EXPECT_EQ(readFileBytes(file_), expected);
}

TEST_F(SettingsStoreTest, ACodePage936FileIsReadAndWrittenBackAsUtf8) {
    writeFileBytes(file_, readFileBytes(kFixtures / "cp936_settings.ini"));
    EXPECT_EQ(store_.read(settings::kPath, ""), "D:\\备份\\任务.bat");
    ASSERT_TRUE(store_.write(settings::kRun, "off").ok());
    EXPECT_EQ(readFileBytes(file_), "[config]\r\npath=D:\\备份\\任务.bat\r\nrun=off\r\n");
}

TEST_F(SettingsStoreTest, AtMost10239BytesOfAValueAreSeen) {
    const std::string longValue(10239, 'x');
    writeFileBytes(file_, "[config]\npath=" + longValue + "yz\n");
    EXPECT_EQ(store_.read(settings::kPath, ""), longValue);
    // Cut inside a character, the whole character goes.
    writeFileBytes(file_, "[config]\npath=" + std::string(10238, 'x') + "表\n");
    EXPECT_EQ(store_.read(settings::kPath, ""), std::string(10238, 'x'));
    // A value that would not read back whole is not written.
    EXPECT_TRUE(store_.write(settings::kPath, longValue).ok());
    EXPECT_FALSE(store_.write(settings::kPath, longValue + "y").ok());
    EXPECT_EQ(store_.read(settings::kPath, ""), longValue);
}

TEST_F(SettingsStoreTest, AFailedWriteSaysSoAndChangesNothing) {
    writeFileBytes(directory_ / "plain", "x");
    SettingsStore underAFile(directory_ / "plain" / "config.ini");
    const Status status = underAFile.write(settings::kCount, "2");
    EXPECT_FALSE(status.ok());
    EXPECT_NE(status.message().find((directory_ / "plain" / "config.ini").string()), std::string::npos);
    EXPECT_NE(status.message().find("Not a directory"), std::string::npos) << status.message();

    // A settings file that cannot be read is not overwritten.
    std::filesystem::create_directory(file_);
    EXPECT_FALSE(store_.write(settings::kCount, "2").ok());
    EXPECT_EQ(store_.read(settings::kCount, "1"), "1");

    EXPECT_FALSE(store_.write(settings::kPath, "two\nlines").ok());
}

TEST_F(SettingsStoreTest, WritesCreateTheDirectory) {
    SettingsStore nested(directory_ / "quorbel" / "config.ini");
    ASSERT_TRUE(nested.write(settings::kRun, "on").ok());
    EXPECT_EQ(readFileBytes(directory_ / "quorbel" / "config.ini"), "[config]\nrun=on\n");
}

// Readers on other threads see the old value or the new one, never a
// missing file; writers on several threads lose no key.
TEST_F(SettingsStoreTest, ReadersAndWritersOnSeveralThreads) {
    ASSERT_TRUE(store_.write(settings::kCount, "1").ok());
    std::atomic<bool> done{false};
    std::atomic<int> badReads{0};
    std::vector<std::thread> readers;
    for (int reader = 0; reader < 2; ++reader) {
        readers.emplace_back([&] {
            while (!done) {
                const std::string value = store_.read(settings::kCount, "missing");
                if (value != "1" && value != "2") ++badReads;
            }
        });
    }
    std::vector<std::thread> writers;
    const std::vector<std::string_view> keys = {settings::kShutdownBy, settings::kShutdownType, settings::kRun};
    for (const std::string_view key : keys) {
        writers.emplace_back([this, key] {
            for (int round = 0; round < 20; ++round) EXPECT_TRUE(store_.write(key, std::to_string(round)).ok());
        });
    }
    for (int round = 0; round < 20; ++round) ASSERT_TRUE(store_.write(settings::kCount, round % 2 ? "1" : "2").ok());
    for (std::thread& writer : writers) writer.join();
    done = true;
    for (std::thread& reader : readers) reader.join();
    EXPECT_EQ(badReads, 0);
    for (const std::string_view key : keys) EXPECT_EQ(store_.read(key, ""), "19");
}

}  // namespace
}  // namespace quorbel
