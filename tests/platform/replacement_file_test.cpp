// The page replaces the old one only once it is whole and on the disk, keeps what the old one's
// owner gave it, and never leaves a temporary file behind for good.

#include "platform/file_error.h"
#include "platform/file_system.h"
#include "platform/replacement_file.h"
#include "platform/temporary_files.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quaverly::platform {
namespace {

using testing::TempDir;

// Steps that only say what was asked of them, and fail at the step named.
class RecordedSteps final : public ReplacementSteps {
public:
    RecordedSteps(std::vector<std::string>& log, std::string failAt)
        : m_log(log), m_failAt(std::move(failAt)) {}

    void Write(const char*, std::size_t) override { Step("write"); }
    void Sync() override { Step("sync"); }
    void Close() override { Step("close"); }
    void Rename() override { Step("rename"); }
    void SyncFolder() override { Step("sync folder"); }
    void Discard() noexcept override { m_log.push_back("discard"); }

private:
    void Step(const std::string& step) {
        m_log.push_back(step);
        if (step == m_failAt) {
            throw FileError(FileErrorCause::InputOutput, 0, step, "page.html");
        }
    }
    std::vector<std::string>& m_log;
    std::string m_failAt;
};

std::vector<std::string> Replace(const std::string& failAt, bool close = true) {
    std::vector<std::string> log;
    try {
        auto file = MakeReplacementFile(std::make_unique<RecordedSteps>(log, failAt));
        file->Write("page", 4);
        if (close) {
            file->Close();
            file->Close(); // a second close does nothing
        }
    } catch (const FileError&) {
        log.push_back("failed");
    }
    return log;
}

TEST(ReplacementFile, IsOnTheDiskBeforeItTakesTheOldNameAndTheNameAfter) {
    using Log = std::vector<std::string>;
    EXPECT_EQ(Replace(""), (Log{"write", "sync", "close", "rename", "sync folder"}));
    // Every failure before the rename leaves the old file, and no new one.
    EXPECT_EQ(Replace("write"), (Log{"write", "discard", "failed"}));
    EXPECT_EQ(Replace("sync"), (Log{"write", "sync", "discard", "failed"}));
    EXPECT_EQ(Replace("close"), (Log{"write", "sync", "close", "discard", "failed"}));
    EXPECT_EQ(Replace("rename"), (Log{"write", "sync", "close", "rename", "discard", "failed"}));
    // Renamed already: the new page stays, and the failure is still told.
    EXPECT_EQ(Replace("sync folder"),
              (Log{"write", "sync", "close", "rename", "sync folder", "failed"}));
    EXPECT_EQ(Replace("", false), (Log{"write", "discard"}));
}

void WriteAndClose(const std::string& path, const std::string& bytes) {
    auto file = SystemFileSystem().CreateReplacement(path);
    file->Write(bytes.data(), bytes.size());
    file->Close();
}

struct stat StatusOf(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
    return info;
}

TEST(ReplacementFile, KeepsTheModeAndOwnerOfThePageItReplacesButNoSetIdBits) {
    TempDir root;
    const std::string page = root.Write("page.html", "old");
    ASSERT_EQ(::chmod(page.c_str(), 0640), 0);
    ASSERT_EQ(::chown(page.c_str(), 1234, 5678), 0); // the tests run as root
    WriteAndClose(page, "new");
    EXPECT_EQ(StatusOf(page).st_mode & 07777, 0640U);
    EXPECT_EQ(StatusOf(page).st_uid, 1234U);
    EXPECT_EQ(StatusOf(page).st_gid, 5678U);
    EXPECT_EQ(testing::ReadWholeFile(page), "new");

    ASSERT_EQ(::chmod(page.c_str(), 06755), 0);
    WriteAndClose(page, "newer");
    EXPECT_EQ(StatusOf(page).st_mode & 07777, 0755U);

    // A link is replaced, and nothing of its target, anyone's file, passes to the page.
    const std::string target = root.Write("elsewhere/program", "");
    ASSERT_EQ(::chown(target.c_str(), 1234, 5678), 0);
    ASSERT_EQ(::chmod(target.c_str(), 04755), 0);
    const std::string link = root / "link.html";
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
    WriteAndClose(link, "page");
    EXPECT_TRUE(S_ISREG(StatusOf(link).st_mode));
    EXPECT_EQ(StatusOf(link).st_mode & 07000, 0U);
    EXPECT_EQ(StatusOf(link).st_uid, ::getuid());
    EXPECT_EQ(StatusOf(target).st_mode & 07777, 04755U);
}

TEST(ReplacementFile, NameTheFolderCannotHoldFailsAtOnce) {
    TempDir root;
    try {
        SystemFileSystem().CreateReplacement(root / std::string(256, 'a'));
        ADD_FAILURE() << "created";
    } catch (const FileError& error) {
        EXPECT_EQ(error.SystemError(), ENAMETOOLONG);
    }
    EXPECT_TRUE(std::filesystem::is_empty(root.Path()));
}

// A process of ours that has ended, and been reaped: its number runs nothing now.
std::uint64_t EndedProcess() {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::_exit(0);
    }
    ::waitpid(pid, nullptr, 0);
    return static_cast<std::uint64_t>(pid);
}

TEST(TemporaryFiles, NameSaysWhoseItIsAndTheLeftoversOfGoneRunsAreRemoved) {
    const TemporaryOwner& self = ThisProcessAsOwner();
    EXPECT_EQ(self.process, static_cast<std::uint64_t>(::getpid()));
    const std::string name = TemporaryFileName(self, 7);
    const auto owner = OwnerOfTemporaryFile(name);
    ASSERT_TRUE(owner);
    EXPECT_EQ(owner->host, self.host);
    EXPECT_EQ(owner->process, self.process);
    EXPECT_EQ(owner->started, self.started);
    // An earlier version's name says the process alone; other names are no one's.
    EXPECT_EQ(OwnerOfTemporaryFile(".quaverly-4242-0.tmp")->process, 4242U);
    for (const char* other :
         {".quaverly-.tmp", ".quaverly-x-0.tmp", ".quaverly-h-1-zz-0.tmp", "quaverly-h-1-2-3.tmp",
          ".quaverly-h-1-2-3.html", "mp3_listing.html", ".quaverly--1-2-3.tmp"}) {
        EXPECT_FALSE(OwnerOfTemporaryFile(other)) << other;
    }

    const std::uint64_t ended = EndedProcess();
    EXPECT_FALSE(WriterIsGone(self));
    EXPECT_TRUE(WriterIsGone({self.host, ended, 0}));
    EXPECT_TRUE(WriterIsGone({"", ended, 0}));
    // This process's number with another start: the number was given anew.
    EXPECT_TRUE(WriterIsGone({self.host, self.process, self.started + 1}));
    // Another machine's run, on a shared folder, is not ours to judge.
    EXPECT_FALSE(WriterIsGone({self.host + "-elsewhere", ended, 0}));

    TempDir root;
    const std::string gone = root.Write(TemporaryFileName({self.host, ended, 1}, 0), "cut");
    // An earlier version's, which held no lock: left over once it is a day old.
    const std::string older = root.Write(".quaverly-" + std::to_string(ended) + "-0.tmp", "cut");
    const std::string recent = root.Write(".quaverly-" + std::to_string(ended) + "-1.tmp", "cut");
    std::filesystem::last_write_time(older, std::filesystem::file_time_type::clock::now() -
                                                std::chrono::hours(25));
    // A live run whose process this one cannot see (in another namespace) holds its lock.
    const std::string locked = root.Write(TemporaryFileName({self.host, ended, 3}, 0), "writing");
    const int held = ::open(locked.c_str(), O_RDONLY);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    const std::string live = root.Write(TemporaryFileName(self, 1000), "writing");
    const std::string remote =
        root.Write(TemporaryFileName({self.host + "-elsewhere", ended, 1}, 0), "writing");
    const std::string folder = root.MakeFolder(TemporaryFileName({self.host, ended, 2}, 0));
    WriteAndClose(root / "page.html", "page");

    ::close(held);
    EXPECT_FALSE(std::filesystem::exists(gone));
    EXPECT_FALSE(std::filesystem::exists(older));
    EXPECT_TRUE(std::filesystem::exists(recent));
    EXPECT_TRUE(std::filesystem::exists(locked));
    EXPECT_TRUE(std::filesystem::exists(live));
    EXPECT_TRUE(std::filesystem::exists(remote));
    EXPECT_TRUE(std::filesystem::is_directory(folder));
}

} // namespace
} // namespace quaverly::platform
