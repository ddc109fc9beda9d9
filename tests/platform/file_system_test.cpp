#include "platform/file_system.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

namespace quaverly::platform {
namespace {

using testing::TempDir;

TEST(PosixStatus, ModificationTimeIsTheOneSetToTheNanosecond) {
    TempDir root;
    const std::string file = root.Write("song.mp3", "frames");
    const std::string folder = root.MakeFolder("album");
    constexpr std::int64_t kSeconds = 1'609'459'200; // 2021-01-01 00:00:00 UTC
    constexpr long kNanoseconds = 123'456'789;
    const struct timespec times[2] = {{0, UTIME_OMIT}, {kSeconds, kNanoseconds}};
    for (const std::string& path : {file, folder}) {
        ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
        const StatusResult status = SystemFileSystem().Status(path);
        ASSERT_TRUE(status.Ok()) << path;
        EXPECT_EQ(status.status.modificationTime, kSeconds * 1'000'000'000 + kNanoseconds) << path;
    }

    // 2300 is past what 64 bits of nanoseconds hold: it stays later than 2021, where the file
    // system holds it at all.
    const struct timespec late[2] = {{0, UTIME_OMIT}, {10'413'792'000, 0}};
    struct stat info {};
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), late, 0), 0);
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    if (info.st_mtim.tv_sec == late[1].tv_sec) {
        EXPECT_GT(SystemFileSystem().Status(file).status.modificationTime,
                  kSeconds * 1'000'000'000);
    }
}

} // namespace
} // namespace quaverly::platform
