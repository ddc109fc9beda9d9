// Reading ahead of the rows: the same pages as without it, one open and one read for a typical
// file, and files or folders that change between their reading and their rows.

#include "listing/listing_run.h"

#include "support/fake_file_system.h"
#include "support/mp3_bytes.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <atomic>

#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

namespace quaverly::listing {
namespace {

using testing::CbrFrames;
using testing::FakeFileSystem;
using testing::ReadWholeFile;
using testing::TempDir;

// A typical track for what is read of it: longer than the start and the end read ahead.
const std::string kTrack = testing::Id3v23Tag(testing::TitleFrame("Song"), 64) + CbrFrames(100);

class AfterFile final : public RunObserver {
public:
    AfterFile(std::string path, std::function<void()> then)
        : m_path(std::move(path)), m_then(std::move(then)) {}
    void FileListed(const std::string& path) override {
        ++listed;
        if (path == m_path) {
            m_then();
        }
    }
    bool CancelRequested() override { return cancelAfter != 0 && listed >= cancelAfter; }

    std::size_t listed = 0;
    std::size_t cancelAfter = 0;

private:
    std::string m_path;
    std::function<void()> m_then;
};

class ReadAhead : public ::testing::Test {
protected:
    void TearDown() override { std::filesystem::current_path(m_start); }

    RunResult List(const std::string& folder, bool ahead, RunObserver* observer = nullptr,
                   std::unique_ptr<mpeg::TagWorkerPool> workers = nullptr) {
        ListingSession session(fileSystem, std::move(workers));
        if (!ahead) {
            session.readAhead.threads = 0;
        }
        // Files read by the reading threads, whatever the storage, and so ahead of their rows.
        session.readAhead.startThreads = session.readAhead.threads;
        ListingServices services{fileSystem, observer};
        services.listingFileName = m_out / "page.html";
        RunResult result = MakeListing(session, folder, services);
        page = ReadWholeFile(m_out / "page.html");
        return result;
    }

    // Waits until the file system has done `count` reads: those of the files read ahead.
    void WaitForReads(int count) {
        for (int i = 0; i < 5000 && fileSystem.reads < count; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ASSERT_GE(fileSystem.reads, count);
    }

    // A file of the folder "album", as the walk spells its path.
    std::string InAlbum(const std::string& name) const {
        return root / "album" + platform::kPathSeparator + name;
    }

    TempDir root;
    FakeFileSystem fileSystem;
    std::string page;

private:
    TempDir m_out;
    std::filesystem::path m_start = std::filesystem::current_path();
};

TEST_F(ReadAhead, TestFilesMakeTheSamePageWithAndWithoutReadingAheadOrHelpers) {
    std::string expected;
    for (const bool ahead : {false, true}) {
        for (const bool helpers : {false, true}) {
            SCOPED_TRACE(std::string(ahead ? "ahead" : "not ahead") + (helpers ? ", helpers" : ""));
            std::unique_ptr<mpeg::TagWorkerPool> pool;
            if (helpers) {
                mpeg::TagWorkerPool::Options options;
                options.program = QUAVERLY_TAG_WORKER;
                options.workers = 2;
                pool = std::make_unique<mpeg::TagWorkerPool>(options);
            }
            const RunResult result = List(QUAVERLY_TEST_DATA_DIR, ahead, nullptr, std::move(pool));
            EXPECT_EQ(result.outcome, RunOutcome::Complete);
            if (expected.empty()) {
                expected = page;
            }
            EXPECT_EQ(page, expected);
        }
    }
}

TEST_F(ReadAhead, TypicalFileCostsOneOpenAndOneReadAndNoStatusQuery) {
    root.Write("album/one.mp3", kTrack);
    root.Write("album/two.mp3", kTrack);
    root.Write("album/three.mp3", kTrack);
    int statusQueries = 0;
    int searches = 0;
    fileSystem.onStatus = [&](const std::string&) -> std::optional<platform::StatusResult> {
        ++statusQueries;
        return std::nullopt;
    };
    fileSystem.onFindFirst = [&](const std::string&, platform::ErrorCode&) {
        ++searches;
        return false;
    };

    const RunResult result = List(root / "album", true);

    EXPECT_EQ(result.outcome, RunOutcome::Complete);
    EXPECT_EQ(fileSystem.opens, 3);
    EXPECT_EQ(fileSystem.reads, 3);
    // The folder's own, to notice a link back into the path walked; one search lists it.
    EXPECT_EQ(statusQueries, 1);
    EXPECT_EQ(searches, 1);
}

TEST_F(ReadAhead, FileChangedAfterItWasReadIsListedAsItWasRead) {
    root.Write("album/a.mp3", kTrack);
    root.Write("album/b.mp3", kTrack);
    root.Write("album/c.mp3", kTrack);
    const std::string first = InAlbum("a.mp3");
    const std::string second = InAlbum("b.mp3");
    List(root / "album", false);
    const std::string expected = page;
    const std::vector<std::pair<const char*, std::function<void()>>> changes{
        {"shrinks", [&] { std::filesystem::resize_file(second, 100); }},
        {"grows", [&] { root.Write("album/b.mp3", kTrack + kTrack); }},
#ifndef _WIN32 // a file open here cannot be removed there
        {"vanishes", [&] { std::filesystem::remove(second); }},
#endif
    };
    for (const auto& [what, change] : changes) {
        SCOPED_TRACE(what);
        root.Write("album/b.mp3", kTrack);
        fileSystem.reads = 0;
        AfterFile observer(first, [&] {
            WaitForReads(3); // all three files read
            change();
        });

        const RunResult result = List(root / "album", true, &observer);

        EXPECT_EQ(result.outcome, RunOutcome::Complete);
        EXPECT_EQ(page, expected);
    }
}

TEST_F(ReadAhead, FolderRemovedWhileItsFilesAreReadAheadLeavesEveryRowInPlace) {
#ifdef _WIN32
    GTEST_SKIP() << "a folder whose files are open cannot be removed";
#endif
    std::vector<std::string> names;
    for (int i = 0; i < 60; ++i) {
        names.push_back("song" + std::to_string(100 + i) + ".mp3");
        root.Write("album/" + names.back(), kTrack);
    }
    AfterFile observer(InAlbum(names[0]), [&] { std::filesystem::remove_all(root / "album"); });

    const RunResult result = List(root / "album", true, &observer);

    // What was read before the folder went is listed; the rest fail at their own rows, in order.
    EXPECT_NE(result.outcome, RunOutcome::Cancelled);
    std::size_t at = 0;
    std::size_t failure = 0;
    for (const std::string& name : names) {
        at = page.find(name, at);
        ASSERT_NE(at, std::string::npos) << name;
        const bool failed = page.compare(at + name.size(), 15, "</td><td> 0 Kbs") == 0;
        if (failed) {
            ASSERT_LT(failure, result.failures.size());
            EXPECT_EQ(result.failures[failure].path, InAlbum(name));
            EXPECT_EQ(result.failures[failure].reason, "No such file or directory");
            ++failure;
        } else {
            EXPECT_EQ(page.compare(at + name.size(), 17, "</td><td> 128 Kbs"), 0) << name;
        }
    }
    EXPECT_EQ(failure, result.failureCount);
}

TEST_F(ReadAhead, CancelInTheMiddleOfAFolderStopsTheReadsAhead) {
    std::vector<std::string> names;
    for (int i = 0; i < 400; ++i) {
        root.Write("album/song" + std::to_string(1000 + i) + ".mp3", kTrack);
    }
    AfterFile notAhead("", [] {});
    notAhead.cancelAfter = 5;
    List(root / "album", false, &notAhead);
    const std::string expected = page;
    AfterFile observer("", [] {});
    observer.cancelAfter = 5;
    fileSystem.opens = 0;

    const RunResult result = List(root / "album", true, &observer);
    const int opened = fileSystem.opens;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));

    EXPECT_EQ(result.outcome, RunOutcome::Cancelled);
    EXPECT_EQ(page, expected);
    // No read goes on after the run, and no more were made than the reading ahead may hold.
    EXPECT_EQ(fileSystem.opens, opened);
    EXPECT_LE(opened, 5 + static_cast<int>(readahead::Options{}.filesAhead));
}

// A look-ahead held up on a share that does not answer: a cancel ends the page, which is in its
// place before the run waits for the look-ahead, and the folder it could not search is no
// failure.
TEST_F(ReadAhead, CancelWhileTheLookAheadIsHeldUpEndsThePageFirst) {
    root.Write("album/one.mp3", kTrack);
    std::atomic<bool> released = false;
    fileSystem.onFindFirst = [&](const std::string& search, platform::ErrorCode&) {
        while (search.ends_with("album" + std::string(1, platform::kPathSeparator) + "*") &&
               !released) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return false;
    };
    class CancelThenRelease final : public RunObserver {
    public:
        explicit CancelThenRelease(std::atomic<bool>& released) : m_released(released) {}
        bool CancelRequested() override { return ++m_asked > 1; }
        void ListingWritten(const std::string&) override { m_released = true; }

    private:
        std::atomic<bool>& m_released;
        int m_asked = 0;
    } observer(released);

    const RunResult result = List(root / "album", true, &observer);

    EXPECT_EQ(result.outcome, RunOutcome::Cancelled);
    EXPECT_EQ(result.failureCount, 0U);
    EXPECT_TRUE(page.ends_with("</body></html>"));
    EXPECT_TRUE(released);
}

// A look-ahead held up on a slow share, and a file whose read never ends: once the run is
// cancelled, the walk waits for neither.
TEST(ReadAheadAlone, CancelEndsEveryWaitOfTheWalk) {
    TempDir root;
    root.Write("album/one.mp3", kTrack);
    const std::string album = root / "album";
    const std::string song = album + platform::kPathSeparator + "one.mp3";
    FakeFileSystem fileSystem;
    std::atomic<bool> released = false;
    const auto hold = [&] {
        while (!released) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    };
    fileSystem.onOpenForReading = [&](const std::string&) { hold(); };
    std::atomic<bool> cancelled = false;
    std::atomic<int> asked = 0;
    readahead::Options options;
    options.startThreads = 1;
    {
        readahead::ReadAhead ahead(fileSystem, options, nullptr, [&] {
            ++asked;
            return cancelled.load();
        });
        ahead.Start([&](readahead::ReadAhead::Recorder& recorder) {
            recorder.ReadFile(song, true);
            hold();
        });
        // The file is claimed by the reading thread, whose open is held.
        while (fileSystem.opens == 0) {
            std::this_thread::yield();
        }
        cancelled = true;
        EXPECT_THROW(
            try { ahead.OpenListedFile(song); } catch (const platform::FileError& error) {
                EXPECT_EQ(error.Cause(), platform::FileErrorCause::Cancelled);
                throw;
            },
            platform::FileError);
        // Nothing more is recorded while the look-ahead is held.
        EXPECT_EQ(ahead.Status(album).error, ECANCELED);
        platform::DirectoryEntry first;
        platform::ErrorCode error = platform::kErrorSuccess;
        EXPECT_EQ(ahead.FindFirst(album + platform::kPathSeparator + "*", first, error), nullptr);
        EXPECT_EQ(error, platform::kErrorOperationAborted);
        EXPECT_GE(asked, 3);
        released = true;
    }
}

TEST(ReadAheadAlone, CallsTheLookAheadDidNotForeseeGoToTheFileSystem) {
    TempDir root;
    root.Write("album/one.mp3", kTrack);
    const std::string album = root / "album";
    const std::string song = album + platform::kPathSeparator + "one.mp3";
    FakeFileSystem fileSystem;
    int statusQueries = 0;
    fileSystem.onStatus = [&](const std::string&) -> std::optional<platform::StatusResult> {
        ++statusQueries;
        return std::nullopt;
    };
    readahead::ReadAhead ahead(fileSystem, {}, nullptr);
    ahead.Start([&](readahead::ReadAhead::Recorder& recorder) {
        recorder.Status(album);
        recorder.ReadFile(song, true);
    });

    EXPECT_TRUE(ahead.Status(album).Ok());
    EXPECT_EQ(statusQueries, 1); // the look-ahead's, taken from its record
    EXPECT_TRUE(ahead.Status(root.Path()).Ok());
    EXPECT_EQ(statusQueries, 2); // not foreseen: asked of the file system
    const auto file = ahead.OpenForReading(song);
    EXPECT_EQ(file->Size(), kTrack.size());
    EXPECT_EQ(fileSystem.opens, 1);
    // Nothing more was recorded: the file system answers, the second time too.
    EXPECT_NE(ahead.OpenForReading(song), nullptr);
    EXPECT_EQ(fileSystem.opens, 2);
}

TEST(ReadAheadAlone, ReadingThreadsStartOnlyWhenTheWalksOwnReadsAreSlow) {
    TempDir root;
    std::vector<std::string> songs;
    for (int i = 0; i < 24; ++i) {
        songs.push_back(root.Write("song" + std::to_string(i) + ".mp3", kTrack));
    }
    for (const bool slow : {false, true}) {
        SCOPED_TRACE(slow ? "slow" : "fast");
        FakeFileSystem fileSystem;
        readahead::Options options;
        if (slow) {
            fileSystem.onRead = [](const std::string&, std::uint64_t, std::size_t&) {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            };
        } else {
            options.slowRead = std::chrono::seconds(1); // however loaded this machine is
        }
        readahead::ReadAhead ahead(fileSystem, options, nullptr);
        ahead.Start([&](readahead::ReadAhead::Recorder& recorder) {
            for (const std::string& song : songs) {
                recorder.ReadFile(song, true);
            }
        });
        for (const std::string& song : songs) {
            EXPECT_EQ(ahead.OpenListedFile(song)->Size(), kTrack.size());
        }
        EXPECT_EQ(ahead.ReadingThreads() > 0, slow);
        EXPECT_EQ(fileSystem.opens, 24);
    }
}

TEST(ReadAheadAlone, AnswersAheadAreBoundInBytesAndTheLookAheadWokenInBatches) {
    FakeFileSystem fileSystem;
    std::atomic<int> statusQueries = 0;
    fileSystem.onStatus = [&](const std::string&) -> std::optional<platform::StatusResult> {
        ++statusQueries;
        return std::nullopt;
    };
    readahead::Options options;
    options.bytesAhead = 1000; // four answers of about 257 bytes
    readahead::ReadAhead ahead(fileSystem, options, nullptr);
    ahead.Start([&](readahead::ReadAhead::Recorder& recorder) {
        while (!recorder.Stopped()) {
            recorder.Status("a");
        }
    });
    // Waits for `count` answers, then long enough for one more to show.
    const auto recorded = [&](int count) {
        for (int i = 0; i < 5000 && statusQueries < count; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return statusQueries.load();
    };
    EXPECT_EQ(recorded(4), 4);
    ahead.Status("a");
    EXPECT_EQ(recorded(4), 4); // three quarters of the room still taken
    ahead.Status("a");
    EXPECT_EQ(recorded(6), 6);
}

TEST(ReadAheadAlone, LookAheadWaitsForRoomAndStopsWhenAsked) {
    TempDir root;
    const std::string song = root.Write("one.mp3", kTrack);
    FakeFileSystem fileSystem;
    readahead::Options options;
    options.filesAhead = 2;
    options.startThreads = 1;
    {
        readahead::ReadAhead ahead(fileSystem, options, nullptr);
        ahead.Start([&](readahead::ReadAhead::Recorder& recorder) {
            while (!recorder.Stopped()) {
                recorder.ReadFile(song, true);
            }
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_EQ(fileSystem.opens, 2);
    }
    // Stopped and joined: nothing more is opened.
    EXPECT_EQ(fileSystem.opens, 2);
}

} // namespace
} // namespace quaverly::listing
