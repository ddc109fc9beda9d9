#include "listing/folder_walker.h"
#include "listing/html_format.h"
#include "listing/listing_run.h"
#include "listing/record_formats.h"
#include "listing/row_writer.h"
#include "platform/last_error.h"

#include "support/fake_file_system.h"
#include "support/mp3_bytes.h"
#include "support/system_errors.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#ifndef _WIN32
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#endif

namespace quaverly::listing {
namespace {

using testing::CbrFrames;
using testing::FakeFileSystem;
using testing::ReadWholeFile;
using testing::TempDir;

// The page's fragments, spelled out here so that a changed byte in the program shows.
const std::string kHead = "<html><body>\r\n<center>\r\n<h3>Listing of ";
const std::string kHeadEnd = "</h3></center>\r\n<hr>\r\n\r\n<center><table border = 3>\r\n";
const std::string kTail = "</td></tr>\r\n</table>\r\n<br><br><font size = 2>Listing made with "
                          "Quaverly from <a href=\"https://quaverly.example/\">"
                          "https://quaverly.example/</a></center>\r\n\r\n</body></html>";
const std::string kR0 = "\r\n\r\n<tr><td>\r\n";
const std::string kR1 = "\r\n</td></tr>\r\n\r\n<tr><td>\r\n";
const std::string kR2 = "\r\n</td></tr>\r\n\r\n<tr><td bgcolor=\"#7AD3F8\">\r\n";

// A path below a folder of the test, written with '/' on every platform.
std::string Native(std::string path) {
    std::replace(path.begin(), path.end(), '/', platform::kPathSeparator);
    return path;
}

std::string FolderRow(const std::string& path) {
    return "<tr><td bgcolor=red>\r\n\r\n" + path + "</td><td>Bitrate</td></tr><br>\r\n";
}
std::string Cell(int kbps) {
    return "</td><td> " + std::to_string(kbps) + " Kbs";
}
std::string Page(const std::string& folder, const std::string& rows) {
    return kHead + folder + kHeadEnd + rows + kTail;
}

class ListingRun : public ::testing::Test {
protected:
    void SetUp() override { m_startDirectory = std::filesystem::current_path(); }
    void TearDown() override { std::filesystem::current_path(m_startDirectory); }

    RunResult Run(const std::string& folder) {
        if (walkSearchesItself) {
            session.readAhead.threads = 0;
        }
        ListingServices services{fileSystem};
        services.format = format;
        services.listingFileName = listingFileName;
        return MakeListing(session, folder, services);
    }

    TempDir root;
    FakeFileSystem fileSystem;
    ListingSession session{fileSystem};
    // For tests of the walk's own searches: read ahead, a folder is searched once.
    bool walkSearchesItself = false;
    ListingFormat* format = nullptr;
    std::string listingFileName = "mp3_listing.html";

private:
    std::filesystem::path m_startDirectory;
};

TEST_F(ListingRun, TwoLevelTreeGivesSubFolderRowsBeforeItsParentsHeader) {
    const std::string start = root.MakeFolder("start");
    const std::string p = root.MakeFolder("P");
    root.Write("P/S/a.mp3", CbrFrames(3));
    root.Write("P/b.mp3", CbrFrames(3));
    root.Write("P/c.txt", "notes");
    std::filesystem::current_path(start);

    const RunResult result = Run(p);

    EXPECT_EQ(result.outcome, RunOutcome::Complete);
    EXPECT_EQ(ReadWholeFile(start + Native("/mp3_listing.html")),
              Page(p, FolderRow(p + Native("/S")) + kR0 + "a.mp3" + Cell(128) + FolderRow(p) + kR2 +
                          "b.mp3" + Cell(128) + kR1));
    EXPECT_EQ(result.listingPath, start + Native("/mp3_listing.html"));
    EXPECT_EQ(std::filesystem::current_path(), p);
    EXPECT_EQ(result.fileCount, 3U);
    EXPECT_EQ(fileSystem.openOutputs, 0);
    EXPECT_EQ(fileSystem.openSearches, 0);
}

TEST_F(ListingRun, SecondRunLandsInTheFirstFolderAndCarriesTheShading) {
    const std::string start = root.MakeFolder("start");
    const std::string first = root.MakeFolder("first");
    const std::string second = root.MakeFolder("second");
    root.Write("first/one.mp3", CbrFrames(3));
    root.Write("second/two.mp3", CbrFrames(3));
    std::filesystem::current_path(start);

    Run(first);
    Run(second);

    EXPECT_EQ(ReadWholeFile(start + Native("/mp3_listing.html")),
              Page(first, FolderRow(first) + kR0 + "one.mp3" + Cell(128)));
    // The second page is written into the first chosen folder, which its own walk does not
    // see; its first row closes nothing of its own, and is shaded because the last was not.
    EXPECT_EQ(ReadWholeFile(first + Native("/mp3_listing.html")),
              Page(second, FolderRow(second) + kR2 + "two.mp3" + Cell(128)));
    EXPECT_EQ(std::filesystem::current_path(), second);
}

// The page is written under a temporary name, which no walk lists, and stands under its own
// name once whole: the next run's walk finds it there, and gives it an empty row.
TEST_F(ListingRun, ListingFileFoundByTheNextWalkGetsAnEmptyRow) {
    const std::string music = root.MakeFolder("music");
    std::filesystem::current_path(music);

    Run(music);
    EXPECT_EQ(ReadWholeFile(music + Native("/mp3_listing.html")), Page(music, FolderRow(music)));
    Run(music);
    EXPECT_EQ(ReadWholeFile(music + Native("/mp3_listing.html")),
              Page(music, FolderRow(music) + kR0));
}

TEST_F(ListingRun, EmptyFolderTouchesNothing) {
    const std::string start = root.MakeFolder("start");
    std::filesystem::current_path(start);

    EXPECT_EQ(Run(std::string()).outcome, RunOutcome::FolderNotChosen);

    EXPECT_FALSE(std::filesystem::exists(start + Native("/mp3_listing.html")));
    EXPECT_EQ(fileSystem.createdFiles, 0);
    EXPECT_EQ(std::filesystem::current_path(), start);
}

TEST_F(ListingRun, FoldersWithoutFilesGetHeaderRowsOnly) {
    const std::string tree = root.MakeFolder("tree");
    root.MakeFolder("tree/a/b");
    root.MakeFolder("tree/c");
    std::filesystem::current_path(root.Path());

    Run(tree);

    EXPECT_EQ(ReadWholeFile(root / "mp3_listing.html"),
              Page(tree, FolderRow(tree + Native("/a/b")) + FolderRow(tree + Native("/a")) +
                             FolderRow(tree + Native("/c")) + FolderRow(tree)));
}

#ifndef _WIN32 // such names cannot exist on Windows
TEST_F(ListingRun, TextFromTheFileSystemIsEscapedAndHiddenFilesAreListed) {
    const std::string odd = root.MakeFolder("a&b<c>\"d\"");
    root.Write("a&b<c>\"d\"/.hidden.mp3", CbrFrames(3));
    root.Write("a&b<c>\"d\"/R&B <live>.MP3", CbrFrames(3));
    root.Write("a&b<c>\"d\"/\xE9t\xE9.mp3", CbrFrames(3));
    std::filesystem::current_path(root.Path());

    Run(odd);

    const std::string escaped = root.Path() + Native("/a&amp;b&lt;c&gt;&quot;d&quot;");
    EXPECT_EQ(ReadWholeFile(root / "mp3_listing.html"),
              Page(escaped, FolderRow(escaped) + kR0 + ".hidden.mp3" + Cell(128) + kR2 +
                                "R&amp;B &lt;live&gt;.MP3" + Cell(128) + kR1 + "\xE9t\xE9.mp3" +
                                Cell(128)));
}
#endif

#ifndef _WIN32 // the POSIX seam's own order, root and special files
TEST_F(ListingRun, RootFolderShowsOneSeparatorInTheHeadingAndTwoInComposedPaths) {
    walkSearchesItself = true;
    std::vector<std::string> searches;
    fileSystem.onListFolder =
        [&](const std::string& search) -> std::optional<std::vector<platform::DirectoryEntry>> {
        searches.push_back(search);
        if (search == "//*.*") {
            return std::vector<platform::DirectoryEntry>{{"song.txt", false}};
        }
        return std::vector<platform::DirectoryEntry>{};
    };
    fileSystem.onSetCurrentDirectory = [](const std::string&) { return std::optional<int>(0); };
    std::filesystem::current_path(root.Path());

    Run("/");

    EXPECT_EQ(searches, (std::vector<std::string>{"//*", "//*.*"}));
    EXPECT_EQ(ReadWholeFile(root / "mp3_listing.html"), Page("/", FolderRow("/") + kR0));
}

// The page keeps its root's two separators; the records say paths below the folder listed.
TEST_F(ListingRun, RootFolderGivesRecordsPathsRelativeToIt) {
    walkSearchesItself = true;
    fileSystem.onListFolder =
        [&](const std::string& search) -> std::optional<std::vector<platform::DirectoryEntry>> {
        if (search == "//*") {
            return std::vector<platform::DirectoryEntry>{{"music", true}};
        }
        if (search == "//music/*.*") {
            return std::vector<platform::DirectoryEntry>{{"a.txt", false}};
        }
        return std::vector<platform::DirectoryEntry>{};
    };
    fileSystem.onStatus = [](const std::string&) {
        return std::optional<platform::StatusResult>(platform::StatusResult{ENOENT, {}});
    };
    fileSystem.onSetCurrentDirectory = [](const std::string&) { return std::optional<int>(0); };
    JsonLinesFormat records;
    format = &records;
    listingFileName = root / "records.jsonl";

    Run("/");

    EXPECT_EQ(ReadWholeFile(root / "records.jsonl"),
              "{\"type\":\"folder\",\"path\":\"music\",\"folder\":\"music\"}\n"
              "{\"type\":\"file\",\"path\":\"music/a.txt\",\"folder\":\"music\",\"name\":"
              "\"a.txt\",\"mp3\":false}\n"
              "{\"type\":\"folder\",\"path\":\"\",\"folder\":\"\"}\n");
}
#endif

TEST_F(ListingRun, UnreadableFolderIsReportedAndEverythingElseIsListed) {
    const std::string p = root.MakeFolder("P");
    root.Write("P/a/one.mp3", CbrFrames(3));
    root.MakeFolder("P/locked");
    root.Write("P/z/two.mp3", CbrFrames(3));
    root.Write("P/three.mp3", CbrFrames(3));
    fileSystem.onFindFirst = [&](const std::string& search, platform::ErrorCode& error) {
        if (search.rfind(p + Native("/locked/"), 0) == 0) {
            error = platform::kErrorAccessDenied;
            return true;
        }
        return false;
    };
    std::filesystem::current_path(root.Path());

    const RunResult result = Run(p);

    EXPECT_EQ(result.outcome, RunOutcome::Incomplete);
    ASSERT_EQ(result.failureCount, 1U);
    EXPECT_EQ(result.failures[0].path, p + Native("/locked"));
    EXPECT_EQ(result.failures[0].code, platform::kErrorAccessDenied);
    EXPECT_EQ(result.failures[0].reason, "Permission denied");
    EXPECT_EQ(ReadWholeFile(root / "mp3_listing.html"),
              Page(p, FolderRow(p + Native("/a")) + kR0 + "one.mp3" + Cell(128) +
                          FolderRow(p + Native("/z")) + kR2 + "two.mp3" + Cell(128) + FolderRow(p) +
                          kR1 + "three.mp3" + Cell(128)));
    EXPECT_EQ(fileSystem.openSearches, 0);
}

TEST_F(ListingRun, SearchThatFailsPartWayKeepsWhatItRead) {
    walkSearchesItself = true;
    const std::string p = root.MakeFolder("P");
    root.Write("P/a.txt", "");
    root.Write("P/b.txt", "");
    int steps = 0;
    fileSystem.onFindNext = [&](const std::string& search, platform::ErrorCode& error) {
        // ".", "..", then "a.txt"; the step to "b.txt" fails.
        if (search == p + Native("/*.*") && ++steps == 3) {
            error = platform::kErrorIoDevice;
            return true;
        }
        return false;
    };
    std::filesystem::current_path(root.Path());

    const RunResult result = Run(p);

    EXPECT_EQ(result.outcome, RunOutcome::Incomplete);
    ASSERT_EQ(result.failureCount, 1U);
    EXPECT_EQ(result.failures[0].reason, "Input/output error");
    EXPECT_EQ(ReadWholeFile(root / "mp3_listing.html"), Page(p, FolderRow(p) + kR0));
}

TEST_F(ListingRun, PathOverTheSystemLimitFailsThatEntryOnly) {
    walkSearchesItself = true;
    const std::string p = root.MakeFolder("P");
    const std::string longName(platform::kMaxPath - p.size() - 1, 'x');
    const std::string fitting(platform::kMaxPath - p.size() - 2, 'y');
    fileSystem.onListFolder =
        [&](const std::string& search) -> std::optional<std::vector<platform::DirectoryEntry>> {
        if (search == p + Native("/*.*")) {
            return std::vector<platform::DirectoryEntry>{{longName, false}, {fitting, false}};
        }
        return std::nullopt;
    };
    std::filesystem::current_path(root.Path());

    const RunResult result = Run(p);

    ASSERT_EQ(result.failureCount, 1U);
    EXPECT_EQ(result.failures[0].path, p + Native("/") + longName);
    EXPECT_EQ(result.failures[0].code, platform::kErrorBufferOverflow);
    EXPECT_EQ(ReadWholeFile(root / "mp3_listing.html"), Page(p, FolderRow(p) + kR0));
}

// A folder whose path fits, but not with the search's pattern behind it, is named as itself.
TEST_F(ListingRun, FolderTooLongToSearchIsReportedByItsName) {
    walkSearchesItself = true;
    const std::string p = root.MakeFolder("P");
    const std::string deep = p + Native("/") + std::string(platform::kMaxPath - p.size() - 3, 'd');
    fileSystem.onListFolder =
        [&](const std::string& search) -> std::optional<std::vector<platform::DirectoryEntry>> {
        if (search == p + Native("/*")) {
            return std::vector<platform::DirectoryEntry>{{deep.substr(p.size() + 1), true}};
        }
        return std::nullopt;
    };
    std::filesystem::current_path(root.Path());

    const RunResult result = Run(p);

    ASSERT_EQ(result.failureCount, 1U);
    EXPECT_EQ(result.failures[0].path, deep);
    EXPECT_EQ(result.failures[0].code, platform::kErrorBufferOverflow);
}

#ifndef _WIN32 // the POSIX seam's own order, root and special files
TEST_F(ListingRun, SymbolicLinkLoopIsReportedNotFollowed) {
    const std::string p = root.MakeFolder("P");
    root.Write("P/sub/a.txt", "");
    ASSERT_EQ(::symlink(p.c_str(), (p + Native("/sub/back")).c_str()), 0);
    ASSERT_EQ(::symlink((p + Native("/sub")).c_str(), (p + Native("/elsewhere")).c_str()), 0);
    std::filesystem::current_path(root.Path());

    const RunResult result = Run(p);

    // The link to a folder outside the path is walked; the one back up is not, and the folder
    // it led to, met again under its own name, is listed once.
    ASSERT_EQ(result.failureCount, 2U);
    EXPECT_EQ(result.failures[0].path, p + Native("/elsewhere/back"));
    EXPECT_EQ(result.failures[0].code, platform::kErrorCantResolveFilename);
    EXPECT_EQ(result.failures[1].path, p + Native("/sub"));
    EXPECT_EQ(result.failures[1].reason, "Folder already listed through another path");
    EXPECT_EQ(ReadWholeFile(root / "mp3_listing.html"),
              Page(p, FolderRow(p + Native("/elsewhere")) + kR0 + FolderRow(p)));
}
#endif

#ifndef _WIN32 // the POSIX seam's own order, root and special files
TEST_F(ListingRun, SpecialFilesNamedMp3AreRowsThatNeverBlock) {
    const std::string p = root.MakeFolder("P");
    ASSERT_EQ(::mkfifo((p + Native("/pipe.mp3")).c_str(), 0644), 0);
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = p + Native("/socket.mp3");
    ASSERT_LT(socketPath.size(), sizeof(address.sun_path));
    socketPath.copy(address.sun_path, socketPath.size());
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    std::filesystem::current_path(root.Path());

    const RunResult result = Run(p);
    ::close(sock);

    EXPECT_EQ(result.outcome, RunOutcome::Incomplete);
    ASSERT_EQ(result.failureCount, 2U);
    EXPECT_EQ(result.failures[0].reason, "Not a regular file");
    EXPECT_EQ(ReadWholeFile(root / "mp3_listing.html"),
              Page(p, FolderRow(p) + kR0 + "pipe.mp3" + Cell(0) + kR2 + "socket.mp3" + Cell(0)));
}
#endif

TEST_F(ListingRun, FileThatFailsToReadShowsZeroAndTheNextFileIsRead) {
    const std::string p = root.MakeFolder("P");
    root.Write("P/a.mp3", CbrFrames(3));
    root.Write("P/b.mp3", CbrFrames(3));
    fileSystem.onRead = [&](const std::string& path, std::uint64_t, std::size_t&) {
        if (path == p + Native("/a.mp3")) {
            throw testing::ErrnoError(testing::kIoFailure, "read", path);
        }
    };
    std::filesystem::current_path(root.Path());

    const RunResult result = Run(p);

    EXPECT_EQ(result.outcome, RunOutcome::Incomplete);
    ASSERT_EQ(result.failureCount, 1U);
    EXPECT_EQ(result.failures[0].path, p + Native("/a.mp3"));
    EXPECT_EQ(result.failures[0].reason, "Input/output error");
    EXPECT_EQ(ReadWholeFile(root / "mp3_listing.html"),
              Page(p, FolderRow(p) + kR0 + "a.mp3" + Cell(0) + kR2 + "b.mp3" + Cell(128)));
}

TEST_F(ListingRun, FileTruncatedWhileTheWalkRunsIsListedWithoutFrames) {
    const std::string p = root.MakeFolder("P");
    const std::string song = root.Write("P/song.mp3", CbrFrames(3));
    fileSystem.onOpenForReading = [&](const std::string& path) {
        if (path == song) {
            std::filesystem::resize_file(song, 0);
        }
    };
    std::filesystem::current_path(root.Path());

    const RunResult result = Run(p);

    EXPECT_EQ(ReadWholeFile(root / "mp3_listing.html"),
              Page(p, FolderRow(p) + kR0 + "song.mp3" + Cell(0)));
    EXPECT_EQ(fileSystem.openOutputs, 0);
}

TEST_F(ListingRun, ListingFileThatCannotBeCreatedIsSaidAndNothingIsWritten) {
    const std::string p = root.MakeFolder("P");
    const std::string start = root.MakeFolder("start");
    fileSystem.onCreate = [](const std::string& path) {
        throw testing::ErrnoError(testing::kAccessDenied, "create", path);
    };
    std::filesystem::current_path(start);

    const RunResult result = Run(p);

    EXPECT_EQ(result.outcome, RunOutcome::Failed);
    EXPECT_EQ(result.failureReason, "create mp3_listing.html: Permission denied");
    EXPECT_TRUE(result.listingNotCreated);
    EXPECT_EQ(std::filesystem::current_path(), start);
}

TEST_F(ListingRun, DiskFullDuringTheWalkFailsTheRunAndClosesTheFile) {
    const std::string p = root.MakeFolder("P");
    // Enough rows to fill the page's buffer well before the walk ends.
    for (int i = 0; i < 4000; ++i) {
        root.Write("P/f" + std::to_string(i) + ".txt", "");
    }
    int writes = 0;
    fileSystem.onWrite = [&](const std::string& path, std::size_t) {
        if (++writes == 1) {
            throw testing::ErrnoError(testing::kDiskFull, "write", path);
        }
    };
    root.Write("mp3_listing.html", "the last run's page");
    std::filesystem::current_path(root.Path());

    const RunResult result = Run(p);

    // The last whole page stays, and nothing of the failed one is left beside it.
    EXPECT_EQ(ReadWholeFile(root / "mp3_listing.html"), "the last run's page");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(root.Path()),
                            std::filesystem::directory_iterator()),
              2);

    EXPECT_EQ(result.outcome, RunOutcome::Failed);
    EXPECT_EQ(result.failureReason, "write mp3_listing.html: No space left on device");
    EXPECT_FALSE(result.listingNotCreated);
    EXPECT_EQ(writes, 1);
    // The walk stopped at the failure instead of going through the remaining files.
    EXPECT_LT(result.fileCount, 4000U);
    EXPECT_EQ(fileSystem.openOutputs, 0);
    EXPECT_EQ(fileSystem.openSearches, 0);
}

TEST_F(ListingRun, FailureOfTheLastWriteOrTheCloseIsReported) {
    const std::string p = root.MakeFolder("P");
    std::filesystem::current_path(root.Path());
    fileSystem.onClose = [](const std::string& path) {
        throw testing::ErrnoError(testing::kIoFailure, "close", path);
    };

    const RunResult result = Run(p);

    EXPECT_EQ(result.outcome, RunOutcome::Failed);
    EXPECT_EQ(result.failureReason, "close mp3_listing.html: Input/output error");
}

class CancelAfter final : public RunObserver {
public:
    explicit CancelAfter(std::size_t files) : m_files(files) {}
    void FileListed(const std::string&) override { ++m_seen; }
    bool CancelRequested() override { return m_seen >= m_files; }

private:
    std::size_t m_files;
    std::size_t m_seen = 0;
};

TEST_F(ListingRun, CancelStopsAfterTheCurrentFileAndEndsThePage) {
    const std::string p = root.MakeFolder("P");
    root.Write("P/a/1.txt", "");
    root.Write("P/a/2.txt", "");
    root.Write("P/b/3.txt", "");
    std::filesystem::current_path(root.Path());
    CancelAfter observer(1);
    ListingServices services{fileSystem, &observer};

    const RunResult result = MakeListing(session, p, services);

    EXPECT_EQ(result.outcome, RunOutcome::Cancelled);
    EXPECT_EQ(result.failureCount, 0U);
    EXPECT_EQ(ReadWholeFile(root / "mp3_listing.html"), Page(p, FolderRow(p + Native("/a")) + kR0));
}

TEST(RowWriter, RowsAlternateFromAnUnshadedFirstRowWhateverTheFile) {
    TempDir root;
    const std::string song = root.Write("Song.Mp3", CbrFrames(3));
    const std::string other = root.Write("song.mp3.bak", CbrFrames(3));
    const std::string bare = root.Write(".mp3", CbrFrames(3));
    const std::string output = root / "page";
    {
        PageWriter page(platform::SystemFileSystem().CreateReplacement(output));
        CMp3Analyzer analyzer;
        RowShading shading;
        RunReport report;
        HtmlFormat html;
        const mpeg::ScanSources sources{platform::SystemFileSystem()};
        for (const std::string& path : {song, other, bare, other}) {
            WriteFileRow(path, page, analyzer, sources, shading, report, html);
        }
        page.Close();
    }
    EXPECT_EQ(ReadWholeFile(output),
              kR0 + "Song.Mp3" + Cell(128) + kR2 + kR1 + ".mp3" + Cell(128) + kR2);
}

#ifndef _WIN32 // the POSIX seam's own order, root and special files
TEST(RowWriter, FileNameIsWhatFollowsTheLastSeparator) {
    EXPECT_EQ(FileNameFromPath("/music/a/b.mp3"), "b.mp3");
    EXPECT_EQ(FileNameFromPath("//b.mp3"), "b.mp3");
    EXPECT_EQ(FileNameFromPath("/music/"), "");
    EXPECT_EQ(FileNameFromPath("b.mp3"), "b.mp3");
}
#endif

#ifndef _WIN32 // the POSIX seam's own order, root and special files
TEST(DirectorySearch, ListsDotsFirstThenNamesFoldedToUpperCase) {
    TempDir root;
    for (const char* name : {"b", "B", "a", "_x", "Zed", "\xC3\xA9", "sub"}) {
        root.Write(name, "");
    }
    std::filesystem::remove(root / "sub");
    root.MakeFolder("sub");
    platform::FileSystem& fileSystem = platform::SystemFileSystem();

    std::vector<std::string> names;
    std::vector<bool> folders;
    platform::DirectoryEntry entry;
    platform::ErrorCode error = 0;
    auto search = fileSystem.FindFirst(root / "*.*", entry, error);
    ASSERT_TRUE(search);
    do {
        names.push_back(entry.name);
        folders.push_back(entry.isDirectory);
    } while (search->Next(entry, error));

    EXPECT_EQ(error, platform::kErrorNoMoreFiles);
    // '_' (0x5F) sorts after the letters once they are folded to upper case.
    EXPECT_EQ(names,
              (std::vector<std::string>{".", "..", "a", "B", "b", "sub", "Zed", "_x", "\xC3\xA9"}));
    EXPECT_EQ(folders,
              (std::vector<bool>{true, true, false, false, false, true, false, false, false}));
}
#endif

TEST(DirectorySearch, TellsAnEmptyResultFromAMissingFolder) {
    TempDir root;
    platform::DirectoryEntry entry;
    platform::ErrorCode error = 0;
    platform::FileSystem& fileSystem = platform::SystemFileSystem();

    EXPECT_FALSE(fileSystem.FindFirst(root / "*.mp3", entry, error));
    EXPECT_EQ(error, platform::kErrorFileNotFound);
    EXPECT_FALSE(fileSystem.FindFirst(root / "missing/*", entry, error));
    EXPECT_EQ(error, platform::kErrorPathNotFound);
}

TEST(Walker, FailedWalkReturnsTheFirstError) {
    TempDir root;
    root.MakeFolder("P/a");
    root.MakeFolder("P/b");
    FakeFileSystem fileSystem;
    fileSystem.onFindFirst = [&](const std::string& search, platform::ErrorCode& error) {
        if (search == root / "P/a/*") {
            error = platform::kErrorAccessDenied;
            return true;
        }
        if (search == root / "P/b/*") {
            error = platform::kErrorIoDevice;
            return true;
        }
        return false;
    };
    PageWriter page(platform::SystemFileSystem().CreateReplacement(root / "page"));
    CMp3Analyzer analyzer(fileSystem);
    RowShading shading;
    RunReport report;
    HtmlFormat html;
    const mpeg::ScanSources sources{fileSystem};
    PageRows rows(page, html, analyzer, sources, shading, report);
    WalkContext context{fileSystem, report, rows};

    const WalkResult failed = WalkFolder(root / "P", "*.*", true, context);
    EXPECT_FALSE(failed.Complete());
    EXPECT_EQ(failed.code, platform::kErrorAccessDenied);
    EXPECT_EQ(report.FailureCount(), 2U);

    RunReport clean;
    PageRows cleanRows(page, html, analyzer, sources, shading, clean);
    WalkContext cleanContext{fileSystem, clean, cleanRows};
    fileSystem.onFindFirst = nullptr;
    const WalkResult walked = WalkFolder(root / "P", "*.*", true, cleanContext);
    EXPECT_TRUE(walked.Complete());
    EXPECT_EQ(walked.code, platform::kErrorSuccess);
}

} // namespace
} // namespace quaverly::listing
