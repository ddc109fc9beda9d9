// The listing over the Win32 seam itself, under Wine: the system's search order and codes, a
// drive root, and files that others hold or take away while the walk runs.

#include "listing/listing_run.h"
#include "mpeg/tag_worker_pool.h"
#include "platform/file_system.h"
#include "platform/last_error.h"
#include "platform/temporary_files.h"

#include "support/fake_file_system.h"
#include "support/mp3_bytes.h"
#include "support/prefetch.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <windows.h>
#undef SetCurrentDirectory

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace quaverly::listing {
namespace {

using testing::CbrFrames;
using testing::ReadWholeFile;
using testing::TempDir;

std::vector<platform::DirectoryEntry> SearchAll(const std::string& search,
                                                platform::ErrorCode& end) {
    std::vector<platform::DirectoryEntry> entries;
    platform::DirectoryEntry entry;
    auto handle = platform::SystemFileSystem().FindFirst(search, entry, end);
    if (handle) {
        do {
            entries.push_back(entry);
        } while (handle->Next(entry, end));
    }
    return entries;
}

TEST(Win32Search, GivesTheSystemsOwnOrderWithDotsAndItsCodes) {
    TempDir root;
    for (const char* name : {"b.mp3", "A.MP3", "_x.txt", "c"}) {
        root.Write(name, "");
    }
    root.MakeFolder("sub");

    platform::ErrorCode end = 0;
    const auto entries = SearchAll(root / "*.*", end);
    EXPECT_EQ(end, platform::kErrorNoMoreFiles);
    // What FindFirstFileA itself gives, in its order.
    std::vector<std::string> expected;
    WIN32_FIND_DATAA found{};
    const HANDLE search = ::FindFirstFileA((root / "*.*").c_str(), &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    do {
        expected.emplace_back(found.cFileName);
    } while (::FindNextFileA(search, &found) != 0);
    ::FindClose(search);
    std::vector<std::string> names;
    for (const auto& entry : entries) {
        names.push_back(entry.name);
        EXPECT_EQ(entry.isDirectory, entry.name == "." || entry.name == ".." || entry.name == "sub")
            << entry.name;
    }
    EXPECT_EQ(names, expected);
    ASSERT_GE(names.size(), 2U);
    EXPECT_EQ(names[0], ".");
    EXPECT_EQ(names[1], "..");

    SearchAll(root / "*.flac", end);
    EXPECT_EQ(end, platform::kErrorFileNotFound);
    SearchAll(root / "missing\\*", end);
    EXPECT_EQ(end, platform::kErrorPathNotFound);
}

class Win32Listing : public ::testing::Test {
protected:
    void SetUp() override { m_start = std::filesystem::current_path(); }
    void TearDown() override { std::filesystem::current_path(m_start); }

    // `ahead`: read ahead of the rows; without, the walk makes each search itself.
    RunResult Run(platform::FileSystem& fileSystem, const std::string& folder, bool ahead = true) {
        ListingSession session(fileSystem);
        if (!ahead) {
            session.readAhead.threads = 0;
        }
        ListingServices services{fileSystem};
        std::filesystem::current_path(out.Path());
        return MakeListing(session, folder, services);
    }

    TempDir out;

private:
    std::filesystem::path m_start;
};

// The page replaces a hidden one hidden, is never listed while it is written, and takes away
// what an ended run left beside it.
TEST_F(Win32Listing, ReplacedPageKeepsItsAttributesAndLeftoversOfEndedRunsGo) {
    const std::string page = out.Write("mp3_listing.html", "old");
    ASSERT_NE(::SetFileAttributesA(page.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE),
              0);
    const std::string leftover = out.Write(
        platform::TemporaryFileName({platform::ThisProcessAsOwner().host, 4000000000, 1}, 0),
        "half a page");
    const std::string live = out.Write(
        platform::TemporaryFileName(platform::ThisProcessAsOwner(), 999), "being written");

    const RunResult result = Run(platform::SystemFileSystem(), out.Path());

    EXPECT_EQ(result.outcome, RunOutcome::Complete) << result.failureReason;
    EXPECT_EQ(::GetFileAttributesA(page.c_str()),
              DWORD{FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE});
    EXPECT_FALSE(std::filesystem::exists(leftover));
    EXPECT_TRUE(std::filesystem::exists(live));
    const std::string listed = ReadWholeFile(page);
    EXPECT_EQ(listed.find(".quaverly-"), std::string::npos);
    // The old page's row, and no other.
    EXPECT_EQ(listed.find("<tr><td>"), listed.rfind("<tr><td>"));
}

TEST_F(Win32Listing, DriveRootHasOneBackslashInItsRowsAndTwoInComposedPaths) {
    const std::string root = "C:\\";
    const std::string song = root + "quaverly-root-test.mp3";
    std::ofstream(song, std::ios::binary) << CbrFrames(3);
    // The root's own searches are the system's; its folders are served empty, so that the
    // test does not list the whole drive.
    std::vector<std::string> searches;
    testing::FakeFileSystem fileSystem;
    fileSystem.onListFolder =
        [&](const std::string& search) -> std::optional<std::vector<platform::DirectoryEntry>> {
        searches.push_back(search);
        if (search.rfind(root + "\\", 0) == 0 && search.find('\\', 3) == 3 &&
            search.find('\\', 4) == std::string::npos) {
            return std::nullopt;
        }
        return std::vector<platform::DirectoryEntry>{};
    };

    const RunResult result = Run(fileSystem, root, false);
    ::DeleteFileA(song.c_str());

    EXPECT_EQ(result.outcome, RunOutcome::Complete)
        << (result.failures.empty() ? ""
                                    : result.failures[0].path + ": " + result.failures[0].reason);
    ASSERT_GE(searches.size(), 2U);
    EXPECT_EQ(searches.front(), root + "\\*");
    EXPECT_EQ(searches.back(), root + "\\*.*");
    const std::string page = ReadWholeFile(out / "mp3_listing.html");
    EXPECT_NE(page.find("<h3>Listing of " + root + "</h3>"), std::string::npos);
    EXPECT_NE(page.find("<tr><td bgcolor=red>\r\n\r\n" + root + "</td>"), std::string::npos);
    EXPECT_NE(page.find("\r\nquaverly-root-test.mp3</td><td> 128 Kbs"), std::string::npos);
    // A root has neither "." nor "..": no folder row of a path ending in one.
    EXPECT_EQ(page.find(root + "\\.</td>"), std::string::npos);
}

TEST_F(Win32Listing, PathOverMaxPathIsCode111AndTheRestIsListed) {
    TempDir root;
    const std::string folder = root.MakeFolder("P");
    root.Write("P/ok.mp3", CbrFrames(3));
    // Long enough that folder, separator and name pass 259 bytes; Windows itself takes such a
    // name only through its long-path form.
    const std::string longName(259 - folder.size(), 'n');
    const std::wstring wide = L"\\\\?\\" + std::filesystem::path(folder).wstring() + L"\\" +
                              std::wstring(longName.begin(), longName.end());
    ::CloseHandle(::CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));

    const RunResult result = Run(platform::SystemFileSystem(), folder);

    ASSERT_EQ(result.failureCount, 1U);
    EXPECT_EQ(result.failures[0].code, platform::kErrorBufferOverflow);
    EXPECT_NE(ReadWholeFile(out / "mp3_listing.html").find("ok.mp3</td><td> 128 Kbs"),
              std::string::npos);
    ::DeleteFileW(wide.c_str());
}

TEST_F(Win32Listing, LockedAndVanishedFilesAreRowsOfZeroWithTheirReasons) {
    TempDir root;
    const std::string folder = root.MakeFolder("P");
    const std::string locked = root.Write("P/locked.mp3", CbrFrames(3));
    const std::string gone = root.Write("P/gone.mp3", CbrFrames(3));
    root.Write("P/kept.mp3", CbrFrames(3));
    // Another program holds this one without sharing it.
    const HANDLE held = ::CreateFileA(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    // And this one goes between the search that found it and its row.
    testing::FakeFileSystem fileSystem;
    fileSystem.onOpenForReading = [&](const std::string& path) {
        if (path == gone) {
            ::DeleteFileA(gone.c_str());
        }
    };

    const RunResult result = Run(fileSystem, folder);
    ::CloseHandle(held);

    EXPECT_EQ(result.outcome, RunOutcome::Incomplete);
    ASSERT_EQ(result.failureCount, 2U);
    EXPECT_EQ(result.failures[0].path, gone);
    EXPECT_EQ(result.failures[0].code, platform::kErrorFileNotFound);
    EXPECT_EQ(result.failures[1].path, locked);
    EXPECT_EQ(result.failures[1].code, platform::kErrorSharingViolation);
    const std::string page = ReadWholeFile(out / "mp3_listing.html");
    EXPECT_NE(page.find("gone.mp3</td><td> 0 Kbs"), std::string::npos);
    EXPECT_NE(page.find("locked.mp3</td><td> 0 Kbs"), std::string::npos);
    EXPECT_NE(page.find("kept.mp3</td><td> 128 Kbs"), std::string::npos);
}

// How the ANSI code page spells a name, as the system's ANSI calls do.
std::string AnsiRendering(const std::wstring& name) {
    const int length =
        ::WideCharToMultiByte(CP_ACP, 0, name.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string ansi(static_cast<std::size_t>(length), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, name.c_str(), -1, ansi.data(), length, nullptr, nullptr);
    ansi.pop_back();
    return ansi;
}

void WriteWide(const std::wstring& path, const std::string& bytes) {
    const HANDLE file =
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    DWORD put = 0;
    ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr);
    ::CloseHandle(file);
}

TEST_F(Win32Listing, NamesTheAnsiCodePageCannotSpellAreAnalysedAndShownAsItRendersThem) {
    // Two names that the code page renders alike, and a folder it cannot spell either.
    const std::wstring japan = L"\u65E5\u672C.mp3";
    const std::wstring china = L"\u4E2D\u56FD.mp3";
    const std::wstring omega = L"\u03A9mega";
    if (AnsiRendering(japan) == "\u65E5\u672C.mp3" ||
        AnsiRendering(japan) != AnsiRendering(china)) {
        GTEST_SKIP() << "this code page spells the names, or tells them apart";
    }
    TempDir root;
    const std::string folder = root.MakeFolder("P");
    const std::wstring wideFolder = std::filesystem::path(folder).wstring();
    WriteWide(wideFolder + L"\\" + japan, CbrFrames(3));
    WriteWide(wideFolder + L"\\" + china, std::string(2000, '\0'));
    ::CreateDirectoryW((wideFolder + L"\\" + omega).c_str(), nullptr);
    WriteWide(wideFolder + L"\\" + omega + L"\\x.mp3", CbrFrames(3));

    const RunResult result = Run(platform::SystemFileSystem(), folder);

    EXPECT_EQ(result.outcome, RunOutcome::Complete)
        << (result.failures.empty() ? ""
                                    : result.failures[0].path + ": " + result.failures[0].reason);
    const std::string page = ReadWholeFile(out / "mp3_listing.html");
    const std::string rendered = AnsiRendering(japan);
    EXPECT_NE(
        page.find("<tr><td bgcolor=red>\r\n\r\n" + folder + "\\" + AnsiRendering(omega) + "</td>"),
        std::string::npos);
    EXPECT_NE(page.find("\r\nx.mp3</td><td> 128 Kbs"), std::string::npos);
    // Each file was opened by its own name: one holds frames, the other none.
    EXPECT_NE(page.find("\r\n" + rendered + "</td><td> 128 Kbs"), std::string::npos);
    EXPECT_NE(page.find("\r\n" + rendered + "</td><td> 0 Kbs"), std::string::npos);
    // Nothing but the rendering reaches the page.
    EXPECT_EQ(page.find('\x01'), std::string::npos);
    EXPECT_EQ(page.find('\x02'), std::string::npos);
}

mpeg::TagWorkerPool::Options Helpers(std::string program) {
    mpeg::TagWorkerPool::Options options;
    options.program = std::move(program);
    options.workers = 1;
    return options;
}

// A tag whose headers do not settle its size (it has an extended header): the library is asked.
std::string AskedTag(std::size_t padding) {
    return testing::Id3v23TagWithExtendedHeader(testing::TitleFrame("Song"), padding);
}

TEST(Win32TagHelpers, CrashingHelperCostsOnlyItsFilesTagSize) {
    TempDir root;
    const std::string song =
        root.Write("song.mp3", AskedTag(32) + CbrFrames(3));
    mpeg::TagWorkerPool pool(Helpers(QUAVERLY_CRASHING_TAG_WORKER));
    CMp3Analyzer analyzer;
    analyzer.SetTagSizeSource(&pool);
    testing::Prefetch(pool, {song});

    analyzer.FindFirstFrame(song);

    // The header's stated size, and the failure said: after one replacement the file is blamed.
    EXPECT_EQ(analyzer.TagFailure(), "the ID3 tag library failed on this file");
    EXPECT_EQ(analyzer.LastScan().frameOffset, static_cast<std::int64_t>(AskedTag(32).size()));
    EXPECT_EQ(analyzer.GetBitrate(), 128);
}

TEST(Win32TagHelpers, TerminatedHelperIsReplacedAndAskedAgain) {
    TempDir root;
    const std::string song =
        root.Write("song.mp3", AskedTag(16) + CbrFrames(3));
    mpeg::TagWorkerPool pool(Helpers(QUAVERLY_TAG_WORKER));
    CMp3Analyzer analyzer;
    analyzer.SetTagSizeSource(&pool);
    analyzer.FindFirstFrame(song);
    ASSERT_EQ(pool.WorkerPids().size(), 1U);
    const auto first = pool.WorkerPids()[0];
    const HANDLE helper = ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, first);
    ASSERT_NE(helper, nullptr);
    ::TerminateProcess(helper, 9);
    ::WaitForSingleObject(helper, INFINITE);
    ::CloseHandle(helper);

    analyzer.FindFirstFrame(song);

    EXPECT_FALSE(analyzer.TagFailure());
    EXPECT_EQ(analyzer.LastScan().frameOffset, static_cast<std::int64_t>(AskedTag(16).size()));
    ASSERT_EQ(pool.WorkerPids().size(), 1U);
    EXPECT_NE(pool.WorkerPids()[0], first);
}

TEST(Win32Status, ModificationTimeIsTheOneSetInTheSystemsUnit) {
    TempDir root;
    const std::string file = root.Write("song.mp3", "frames");
    constexpr std::int64_t kUnixNanoseconds = 1'609'459'200'123'456'700; // 2021, in 100 ns steps
    constexpr std::uint64_t kFileTime = 116'444'736'000'000'000 + kUnixNanoseconds / 100;
    const FILETIME written{static_cast<DWORD>(kFileTime), static_cast<DWORD>(kFileTime >> 32)};
    const HANDLE handle = ::CreateFileA(file.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    const BOOL set = ::SetFileTime(handle, nullptr, nullptr, &written);
    ::CloseHandle(handle);
    ASSERT_NE(set, 0);
    const platform::StatusResult status = platform::SystemFileSystem().Status(file);
    ASSERT_TRUE(status.Ok());
    EXPECT_EQ(status.status.modificationTime, kUnixNanoseconds);
}

TEST(Win32LastError, IsTheThreadsOwnValue) {
    platform::SetLastErrorCode(platform::kErrorNoMoreFiles);
    EXPECT_EQ(::GetLastError(), platform::kErrorNoMoreFiles);
    ::SetLastError(platform::kErrorPathNotFound);
    EXPECT_EQ(platform::GetLastErrorCode(), platform::kErrorPathNotFound);
}

} // namespace
} // namespace quaverly::listing
