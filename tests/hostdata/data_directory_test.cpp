#include "hostdata/data_directory.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "tests/support/temporary_directory.h"

namespace quorbel {
namespace {

using testing::TemporaryDirectory;
using testing::writeFileBytes;

// Sets environment variables for one test and puts them back afterwards.
class DataDirectoryTest : public ::testing::Test {
protected:
    void TearDown() override {
        restore("XDG_CONFIG_HOME", savedConfigurationHome_);
        restore("HOME", savedHome_);
    }

    static std::optional<std::string> saved(const char* name) {
        const char* value = std::getenv(name);
        return value ? std::optional<std::string>(value) : std::nullopt;
    }
    static void restore(const char* name, const std::optional<std::string>& value) {
        if (value) {
            ::setenv(name, value->c_str(), 1);
        } else {
            ::unsetenv(name);
        }
    }

    static bool neverWritable(const std::filesystem::path&) { return false; }
    static bool alwaysWritable(const std::filesystem::path&) { return true; }

    std::optional<std::string> savedConfigurationHome_ = saved("XDG_CONFIG_HOME");
    std::optional<std::string> savedHome_ = saved("HOME");
    TemporaryDirectory program_;
    TemporaryDirectory configuration_;
};

TEST_F(DataDirectoryTest, AProgramDirectoryHoldingADataFileIsUsed) {
    ::setenv("XDG_CONFIG_HOME", configuration_.path().c_str(), 1);
    for (const char* name : {kSettingsFileName, kHostListFileName}) {
        TemporaryDirectory program;
        writeFileBytes(program / name, "");
        EXPECT_EQ(dataDirectory(program.path(), neverWritable), program.path()) << name;
    }
}

TEST_F(DataDirectoryTest, AWritableProgramDirectoryIsUsed) {
    ::setenv("XDG_CONFIG_HOME", configuration_.path().c_str(), 1);
    EXPECT_EQ(dataDirectory(program_.path(), alwaysWritable), program_.path());
}

TEST_F(DataDirectoryTest, OtherwiseTheUsersConfigurationDirectory) {
    ::setenv("XDG_CONFIG_HOME", configuration_.path().c_str(), 1);
    EXPECT_EQ(dataDirectory(program_.path(), neverWritable), configuration_.path() / "quorbel");
    // The real check: a program directory that does not exist is not writable.
    EXPECT_EQ(dataDirectory(program_.path() / "missing"), configuration_.path() / "quorbel");
    EXPECT_FALSE(std::filesystem::exists(configuration_.path() / "quorbel"));  // created by the first save

    ::setenv("HOME", "/home/operator", 1);
    for (const char* unusable : {"", "relative/path"}) {
        ::setenv("XDG_CONFIG_HOME", unusable, 1);
        EXPECT_EQ(dataDirectory(program_.path(), neverWritable), "/home/operator/.config/quorbel") << unusable;
    }
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(dataDirectory(program_.path(), neverWritable), "/home/operator/.config/quorbel");
    ::unsetenv("HOME");
    const std::filesystem::path fromPasswordDatabase = dataDirectory(program_.path(), neverWritable);
    EXPECT_TRUE(fromPasswordDatabase.is_absolute());
    EXPECT_EQ(fromPasswordDatabase.filename(), "quorbel");
}

TEST_F(DataDirectoryTest, ProgramDirectoryIsTheExecutablesDirectory) {
    EXPECT_EQ(programDirectory(), std::filesystem::canonical("/proc/self/exe").parent_path());
}

}  // namespace
}  // namespace quorbel
