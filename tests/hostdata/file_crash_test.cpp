#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <random>
#include <string>

#include "hostdata/host_list_file.h"
#include "hostdata/settings_store.h"
#include "tests/support/temporary_directory.h"

namespace quorbel {
namespace {

using testing::readFileBytes;
using testing::TemporaryDirectory;

// A writer killed at any moment leaves each file holding either its old
// contents or its new ones, never an empty or a mixed file.
TEST(FileCrashTest, AKilledWriterLeavesTheOldOrTheNewFile) {
    TemporaryDirectory directory;
    const std::filesystem::path hostList = directory / "db.kdb";
    SettingsStore store(directory / "config.ini");

    std::array<HostTable, 2> tables;
    tables[0].appendRow("one", RowState::NotProbed);
    for (int row = 0; row < 200; ++row) tables[1].appendRow("host " + std::to_string(row), RowState::NotProbed);
    const std::array<std::string, 2> hostListBytes = {encodeHostList(tables[0].snapshot()),
                                                      encodeHostList(tables[1].snapshot())};
    const std::array<std::string, 2> paths = {std::string(8000, 'a'), std::string(9000, 'b')};
    const std::array<std::string, 2> settingsBytes = {"[config]\npath=" + paths[0] + "\n",
                                                      "[config]\npath=" + paths[1] + "\n"};
    ASSERT_TRUE(save(tables[0], hostList).ok());
    ASSERT_TRUE(store.write(settings::kPath, paths[0]).ok());

    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> delayMicroseconds(0, 4000);

    for (int iteration = 0; iteration < 50; ++iteration) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (unsigned round = 1;; ++round) {
                if (!save(tables[round % 2], hostList).ok()) ::_exit(1);
                if (!store.write(settings::kPath, paths[round % 2]).ok()) ::_exit(1);
            }
        }
        ::usleep(static_cast<useconds_t>(delayMicroseconds(random)));
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the writer failed on its own";

        const std::string hostListNow = readFileBytes(hostList);
        EXPECT_TRUE(hostListNow == hostListBytes[0] || hostListNow == hostListBytes[1])
            << "iteration " << iteration << ": " << hostListNow.size() << " bytes";
        const std::string settingsNow = readFileBytes(store.path());
        EXPECT_TRUE(settingsNow == settingsBytes[0] || settingsNow == settingsBytes[1])
            << "iteration " << iteration << ": " << settingsNow.size() << " bytes";
    }
}

}  // namespace
}  // namespace quorbel
