#include "platform/new_folder_watch.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace quaverly::platform {
namespace {

using testing::TempDir;

timespec Now() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return now;
}

timespec SecondsFromNow(int seconds) {
    timespec at = Now();
    at.tv_sec += seconds;
    return at;
}

// A watch that started a minute ago has seen everything made since; one that starts in a minute
// has seen nothing made yet. Neither waits on the clock.
TEST(NewFolderWatch, EmptyFolderMadeAfterTheStartIsNew) {
    TempDir root;
    const std::string made = root.MakeFolder("typed");
    EXPECT_TRUE(NewFolderWatch(SecondsFromNow(-60)).IsNewEmptyFolder(made));
    EXPECT_FALSE(NewFolderWatch(SecondsFromNow(60)).IsNewEmptyFolder(made));
}

TEST(NewFolderWatch, OnlyAnEmptyFolderIsNew) {
    TempDir root;
    const NewFolderWatch watch(SecondsFromNow(-60));
    root.Write("full/song.mp3", "ID3");
    const std::string file = root.Write("plain.txt", "text");
    EXPECT_FALSE(watch.IsNewEmptyFolder(root / "full"));
    EXPECT_FALSE(watch.IsNewEmptyFolder(file));
    EXPECT_FALSE(watch.IsNewEmptyFolder(root / "missing"));
}

TEST(RemoveEmptyFolder, RemovesOnlyAnEmptyFolder) {
    TempDir root;
    const std::string empty = root.MakeFolder("empty");
    root.Write("full/song.mp3", "ID3");
    EXPECT_EQ(RemoveEmptyFolder(empty), 0);
    EXPECT_FALSE(std::filesystem::exists(empty));
    EXPECT_EQ(RemoveEmptyFolder(root / "full"), ENOTEMPTY);
    EXPECT_TRUE(std::filesystem::exists(root / "full/song.mp3"));
    EXPECT_EQ(RemoveEmptyFolder(root / "missing"), ENOENT);
}

} // namespace
} // namespace quaverly::platform
