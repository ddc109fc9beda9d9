#include "support/mp3_bytes.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <pty.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

using quaverly::testing::ReadWholeFile;
using quaverly::testing::TempDir;

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
    int signal = 0; // the signal that ended it, if one did
};

// Runs the tool in `directory` with `arguments`, its output and errors caught in files;
// `inChild` prepares the process just before the tool starts in it, `whileRunning` is called
// with its process while it runs.
Outcome RunTool(const std::string& directory, const std::vector<std::string>& arguments,
                const std::function<void()>& inChild = {},
                const std::function<void(pid_t)>& whileRunning = {}) {
    TempDir capture;
    const std::string outPath = capture / "out";
    const std::string errPath = capture / "err";
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::chdir(directory.c_str()) != 0 || !std::freopen(outPath.c_str(), "w", stdout) ||
            !std::freopen(errPath.c_str(), "w", stderr)) {
            ::_exit(127);
        }
        if (inChild) {
            inChild();
        }
        std::vector<char*> argv{const_cast<char*>(QUAVERLY_LIST_PATH)};
        for (const std::string& argument : arguments) {
            argv.push_back(const_cast<char*>(argument.c_str()));
        }
        argv.push_back(nullptr);
        ::execv(QUAVERLY_LIST_PATH, argv.data());
        ::_exit(127);
    }
    if (whileRunning) {
        whileRunning(pid);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadWholeFile(outPath),
            ReadWholeFile(errPath), WIFSIGNALED(status) ? WTERMSIG(status) : 0};
}

TEST(QuaverlyList, WritesTheListingOfAFolderGivenAsARelativePath) {
    TempDir root;
    root.Write("music/a/song.mp3", quaverly::testing::CbrFrames(2));

    const Outcome outcome = RunTool(root.Path(), {"music/a/../"});

    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.err, "");
    const std::string page = ReadWholeFile(root / "mp3_listing.html");
    EXPECT_NE(page.find("<h3>Listing of " + root.Path() + "/music</h3>"), std::string::npos);
    EXPECT_NE(page.find("song.mp3</td><td> 128 Kbs"), std::string::npos);
}

TEST(QuaverlyList, OutputOptionChoosesTheFile) {
    TempDir root;
    root.MakeFolder("music");

    EXPECT_EQ(RunTool(root.Path(), {"-o", "out/page.html", "music"}).status, 2);
    root.MakeFolder("out");
    EXPECT_EQ(RunTool(root.Path(), {"-o", "out/page.html", "music"}).status, 0);

    EXPECT_TRUE(std::filesystem::exists(root / "out/page.html"));
    EXPECT_FALSE(std::filesystem::exists(root / "mp3_listing.html"));
}

TEST(QuaverlyList, OptionsTakeEveryGnuForm) {
    TempDir root;
    root.Write("music/song.mp3", quaverly::testing::CbrFrames(2));
    root.MakeFolder("-j");
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
        {{"-oa.html", "music"}, "a.html"},
        {{"--output=b.html", "music"}, "b.html"},
        {{"--output", "c.html", "music"}, "c.html"},
        {{"music", "-o", "d.html", "-j0"}, "d.html"},
        {{"-j", "2", "--jobs=1", "--jobs", "0", "-o", "e.html", "music"}, "e.html"},
        {{"-of.html", "--", "-j"}, "f.html"},
    };
    for (const auto& [arguments, file] : cases) {
        const Outcome outcome = RunTool(root.Path(), arguments);
        EXPECT_EQ(outcome.status, 0) << file << ": " << outcome.err;
        EXPECT_TRUE(std::filesystem::exists(root / file)) << file;
    }
    EXPECT_NE(ReadWholeFile(root / "d.html").find("song.mp3</td><td> 128 Kbs"), std::string::npos);
    EXPECT_NE(ReadWholeFile(root / "f.html").find("/-j</h3>"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(root / "mp3_listing.html"));
}

TEST(QuaverlyList, BadUsageSaysWhyAndCreatesNothing) {
    TempDir root;
    root.Write("file.txt", "");
    const std::string tryHelp = "Try 'quaverly-list --help' for more information.\n";
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
        {{}, "no folder given"},
        {{"a", "b"}, "only one folder can be listed at a time"},
        {{"a", "--", "-o"}, "only one folder can be listed at a time"},
        {{"--bogus", "."}, "unknown option '--bogus'"},
        {{"--help=x", "."}, "unknown option '--help=x'"},
        {{"-xo", "page.html", "."}, "unknown option '-x'"},
        {{".", "-o"}, "option '-o' needs a file name"},
        {{".", "--output"}, "option '--output' needs a file name"},
        {{".", "-j"}, "option '-j' needs a number"},
        {{".", "--jobs"}, "option '--jobs' needs a number"},
        {{".", "-f"}, "option '-f' needs a format"},
        {{"--format=xml", "."}, "'xml' is not a format: html, csv, jsonl, xlsx or catalogue"},
        {{"--no-links", "."},
         "'--no-links' leaves the links out of the catalogue: use it with -f catalogue"},
        {{"--jobs=x", "."}, "'x' is not a number of helper processes"},
        {{"-j12345", "."}, "'12345' helper processes are too many: at most 64"},
        {{"-j", "65", "."}, "'65' helper processes are too many: at most 64"},
        {{"-j", "99999999999999999999999", "."},
         "'99999999999999999999999' helper processes are too many: at most 64"},
        {{"--output=", "."}, "the output file name is empty"},
    };
    for (const auto& [arguments, message] : cases) {
        const Outcome outcome = RunTool(root.Path(), arguments);
        EXPECT_EQ(outcome.status, 2) << message;
        EXPECT_EQ(outcome.err, "quaverly-list: " + message + "\n" + tryHelp);
    }
    const Outcome missing = RunTool(root.Path(), {"missing"});
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.err, "quaverly-list: missing: No such file or directory\n");
    const Outcome notAFolder = RunTool(root.Path(), {"file.txt"});
    EXPECT_EQ(notAFolder.status, 2);
    EXPECT_EQ(notAFolder.err, "quaverly-list: file.txt: Not a folder\n");
    EXPECT_FALSE(std::filesystem::exists(root / "mp3_listing.html"));
    EXPECT_FALSE(std::filesystem::exists(root / "page.html"));
}

TEST(QuaverlyList, HelpAndVersionGoToStandardOutput) {
    TempDir root;
    const Outcome help = RunTool(root.Path(), {"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(
        help.out.rfind(
            "Usage: quaverly-list [-f FORMAT] [-o FILE] [-j N] [--verify] [--no-links] FOLDER\n",
            0),
        0U);
    const Outcome version = RunTool(root.Path(), {"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "quaverly-list 1.0.0.1\n");
}

TEST(QuaverlyList, UnreadablePartsAreNamedAndTheExitStatusIsOne) {
    TempDir root;
    root.MakeFolder("music/sub");
    ASSERT_EQ(::symlink((root / "music").c_str(), (root / "music/sub/loop").c_str()), 0);
    ASSERT_EQ(::mkfifo((root / "music/pipe.mp3").c_str(), 0644), 0);

    const Outcome outcome = RunTool(root.Path(), {"music"});

    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.err,
              "quaverly-list: " + root.Path() +
                  "/music/sub/loop: Folder is already being listed (symbolic link loop)\n"
                  "quaverly-list: " +
                  root.Path() + "/music/pipe.mp3: Not a regular file\n" +
                  "quaverly-list: the listing in " + root.Path() +
                  "/mp3_listing.html is incomplete: 2 folders or files could not be read in "
                  "full\n");
}

TEST(QuaverlyList, FullDiskIsAFailureNotAListing) {
    TempDir root;
    for (int i = 0; i < 100; ++i) {
        root.Write("music/" + std::to_string(i) + ".txt", "");
    }
    // Room for the error line, not for the page.
    const auto smallFiles = [] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{1000, 1000};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    };

    const Outcome outcome = RunTool(root.Path(), {"-o", "page.html", "music"}, smallFiles);

    EXPECT_EQ(outcome.status, 2);
    EXPECT_EQ(outcome.err, "quaverly-list: the listing could not be written: "
                           "write page.html: File too large\n");
    // Nothing of the failed page is left.
    EXPECT_FALSE(std::filesystem::exists(root / "page.html"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(root.Path()),
                            std::filesystem::directory_iterator()),
              1);
}

TEST(QuaverlyList, DeviceOrFifoAsTheOutputIsRefused) {
    TempDir root;
    root.MakeFolder("music");
    ASSERT_EQ(::mkfifo((root / "fifo").c_str(), 0600), 0);

    for (const std::string output : {"/dev/full", "fifo"}) {
        const Outcome outcome = RunTool(root.Path(), {"-o", output, "music"});
        EXPECT_EQ(outcome.status, 2);
        EXPECT_EQ(outcome.err, "quaverly-list: the listing could not be written: create " + output +
                                   ": Not a regular file\n");
    }
}

TEST(QuaverlyList, StandardOutputsLinkIsNeverReplaced) {
    TempDir root;
    root.MakeFolder("music");
    ASSERT_TRUE(std::filesystem::is_symlink("/dev/stdout"));

    // Standard output goes to a regular file here, as it does in a script.
    const Outcome outcome = RunTool(root.Path(), {"-o", "/dev/stdout", "music"});

    EXPECT_EQ(outcome.status, 2);
    EXPECT_EQ(outcome.err, "quaverly-list: the listing could not be written: create "
                           "/dev/stdout: Not a regular file\n");
    EXPECT_TRUE(std::filesystem::is_symlink("/dev/stdout"));
}

TEST(QuaverlyList, ErrorLinesNeverGoIntoThePageWithStandardErrorClosed) {
    TempDir root;
    root.MakeFolder("music");
    ASSERT_EQ(::mkfifo((root / "music/<img src=x onerror=alert(1)>.mp3").c_str(), 0600), 0);

    const Outcome outcome =
        RunTool(root.Path(), {"-o", "page.html", "music"}, [] { ::close(STDERR_FILENO); });

    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(ReadWholeFile(root / "page.html").rfind("<html><body>", 0), 0U);
}

TEST(QuaverlyList, DotDotBehindALinkIsWhereTheSystemTakesIt) {
    TempDir root;
    root.Write("music/albums/a/song.mp3", quaverly::testing::CbrFrames(2));
    std::filesystem::create_directory_symlink(root / "music/albums/a", root / "link");

    const Outcome outcome = RunTool(root.Path(), {"-o", "page.html", "link/.."});

    EXPECT_EQ(outcome.status, 0) << outcome.err;
    const std::string page = ReadWholeFile(root / "page.html");
    EXPECT_NE(page.find("<h3>Listing of " + root.Path() + "/music/albums</h3>"), std::string::npos);
    EXPECT_NE(page.find("song.mp3</td><td> 128 Kbs"), std::string::npos);
}

TEST(QuaverlyList, CurrentFolderRemovedIsAClearFailure) {
    TempDir root;
    const std::string gone = root.MakeFolder("gone");

    const Outcome outcome = RunTool(gone, {"."}, [&] { ::rmdir(gone.c_str()); });

    EXPECT_EQ(outcome.status, 2);
    EXPECT_EQ(outcome.err, "quaverly-list: .: the current folder, which it is read from, no "
                           "longer exists\n");
}

TEST(QuaverlyList, NamesThatWouldDriveTheTerminalAreShownEscaped) {
    TempDir root;
    const std::string name = "\x1B]0;owned\x07\x1B[2J.mp3";
    root.MakeFolder("music");
    ASSERT_EQ(::mkfifo((root / ("music/" + name)).c_str(), 0600), 0);

    const Outcome outcome = RunTool(root.Path(), {"-o", "page.html", "music"});

    EXPECT_EQ(outcome.err.find('\x1B'), std::string::npos);
    EXPECT_NE(outcome.err.find("\\x1B]0;owned\\x07\\x1B[2J.mp3: Not a regular file"),
              std::string::npos);
}

// What the tool, run in `folder` with `arguments` on a terminal, shows there; standard output
// goes to the null device unless `listingShown`.
std::string OnATerminal(const std::string& folder, const std::vector<const char*>& arguments,
                        bool listingShown, int& exitStatus) {
    int terminal = -1;
    const pid_t pid = ::forkpty(&terminal, nullptr, nullptr, nullptr);
    if (pid == 0) {
        if (::chdir(folder.c_str()) != 0 ||
            (!listingShown && !std::freopen("/dev/null", "w", stdout))) {
            ::_exit(127);
        }
        std::vector<const char*> argv{QUAVERLY_LIST_PATH};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        argv.push_back(nullptr);
        ::execv(QUAVERLY_LIST_PATH, const_cast<char* const*>(argv.data()));
        ::_exit(127);
    }
    std::string shown;
    char buffer[256];
    for (ssize_t got; (got = ::read(terminal, buffer, sizeof buffer)) > 0;) {
        shown.append(buffer, static_cast<std::size_t>(got));
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ::close(terminal);
    exitStatus = WEXITSTATUS(status);
    return shown;
}

TEST(QuaverlyList, ShowsProgressOnlyOnATerminal) {
    TempDir root;
    root.Write("music/a/song.mp3", quaverly::testing::CbrFrames(2));
    int status = -1;
    const std::string shown = OnATerminal(root.Path(), {"music"}, false, status);

    EXPECT_EQ(status, 0);
    EXPECT_NE(shown.find("folders, "), std::string::npos) << shown;
    // The progress line is cleared at the end, and nothing else is said.
    EXPECT_TRUE(shown.ends_with("\r\033[K")) << shown;
    EXPECT_EQ(RunTool(root.Path(), {"music"}).err, "");

    // A listing on standard output, the same terminal, is all that is shown there.
    const std::string listing = OnATerminal(root.Path(), {"-f", "csv", "-o", "-", "music"}, true,
                                            status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(listing.find("folders, "), std::string::npos) << listing;
    EXPECT_EQ(listing.rfind("\xEF\xBB\xBFtype,path,", 0), 0U) << listing;
}

// Standard output, or `fd` in general, is a pipe whose reader has gone.
void ReaderGone(int fd) {
    int ends[2];
    if (::pipe(ends) != 0 || ::dup2(ends[1], fd) < 0) {
        ::_exit(127);
    }
    ::close(ends[0]);
    ::close(ends[1]);
}

TEST(QuaverlyList, ClosedPipesCostTheirLinesNotTheRun) {
    TempDir root;
    root.MakeFolder("music");
    for (int i = 0; i < 100; ++i) {
        ASSERT_EQ(::mkfifo((root / ("music/" + std::to_string(i) + ".mp3")).c_str(), 0600), 0);
    }
    // The reader of the error lines quit (`2>&1 | head -1`): the listing is whole all the same.
    const Outcome errors =
        RunTool(root.Path(), {"-o", "page.html", "music"}, [] { ReaderGone(STDERR_FILENO); });
    EXPECT_EQ(errors.signal, 0);
    EXPECT_EQ(errors.status, 1);
    EXPECT_TRUE(ReadWholeFile(root / "page.html").ends_with("</body></html>"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(root.Path()),
                            std::filesystem::directory_iterator()),
              2); // the folder and the page: no temporary file

    // The reader of the listing quit (`| head`): the run ends as a pipeline's writer does.
    const Outcome listing =
        RunTool(root.Path(), {"-f", "csv", "-o", "-", "music"}, [] { ReaderGone(STDOUT_FILENO); });
    EXPECT_EQ(listing.signal, SIGPIPE);
    EXPECT_EQ(listing.err.find("could not be written"), std::string::npos) << listing.err;
}

TEST(QuaverlyList, InterruptIsHeardWhileStandardOutputWaitsForItsReader) {
    TempDir root;
    for (int i = 0; i < 300; ++i) {
        root.Write("music/" + std::to_string(i) + ".mp3", quaverly::testing::CbrFrames(2));
    }
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    ::fcntl(ends[0], F_SETPIPE_SZ, 4096);
    // A reader that reads nothing: the tool waits once the pipe is full.
    const auto toPipe = [&] {
        ::dup2(ends[1], STDOUT_FILENO);
        ::close(ends[0]);
        ::close(ends[1]);
    };
    const auto interruptOnceFull = [&](pid_t pid) {
        ::close(ends[1]);
        const int size = ::fcntl(ends[0], F_GETPIPE_SZ);
        for (int waiting = 0, held = 0; held < size && waiting < 10000; ++waiting) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            ::ioctl(ends[0], FIONREAD, &held);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ::kill(pid, SIGTERM);
    };

    const Outcome outcome =
        RunTool(root.Path(), {"-f", "csv", "-o", "-", "music"}, toPipe, interruptOnceFull);
    ::close(ends[0]);

    EXPECT_EQ(outcome.status, 130);
    EXPECT_TRUE(outcome.err.ends_with("interrupted; the listing in standard output is "
                                      "incomplete\n"))
        << outcome.err;
}

TEST(QuaverlyList, TreeAsDeepAsPathsGoNeedsNoLargeStack) {
    TempDir root;
    constexpr int kLevels = 2000;
    int folder = ::open(root.MakeFolder("deep").c_str(), O_RDONLY | O_DIRECTORY);
    for (int level = 0; level < kLevels; ++level) {
        ASSERT_EQ(::mkdirat(folder, "d", 0755), 0);
        const int next = ::openat(folder, "d", O_RDONLY | O_DIRECTORY);
        ::close(folder);
        folder = next;
    }
    ::close(folder);
    const auto smallStack = [] {
        const rlimit limit{256 * 1024, 256 * 1024};
        ::setrlimit(RLIMIT_STACK, &limit);
    };

    const Outcome outcome = RunTool(root.Path(), {"-o", "page.html", "deep"}, smallStack);

    EXPECT_EQ(outcome.signal, 0);
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    const std::string page = ReadWholeFile(root / "page.html");
    std::size_t folders = 0;
    for (std::size_t at = page.find("bgcolor=red"); at != std::string::npos;
         at = page.find("bgcolor=red", at + 1)) {
        ++folders;
    }
    EXPECT_EQ(folders, std::size_t{kLevels + 1});
}

// A listing that could not be written is refused before the walk, which would name the FIFO.
TEST(QuaverlyList, OutputThatCannotTakeTheListingIsRefusedBeforeTheWalk) {
    TempDir root;
    root.MakeFolder("music");
    ASSERT_EQ(::mkfifo((root / "music/pipe.mp3").c_str(), 0600), 0);

    const Outcome closed =
        RunTool(root.Path(), {"-f", "jsonl", "-o", "-", "music"}, [] { ::close(STDOUT_FILENO); });
    EXPECT_EQ(closed.status, 2);
    EXPECT_EQ(closed.err, "quaverly-list: standard output is closed: the listing would be lost\n"
                          "Try 'quaverly-list --help' for more information.\n");

    const std::string name(256, 'n');
    const Outcome tooLong = RunTool(root.Path(), {"-o", name, "music"});
    EXPECT_EQ(tooLong.status, 2);
    EXPECT_EQ(tooLong.err, "quaverly-list: the listing could not be written: create " + name +
                               ": File name too long\n");
}

TEST(QuaverlyList, NoListingListsAPageBeingWritten) {
    TempDir root;
    root.Write("music/song.mp3", quaverly::testing::CbrFrames(2));
    // What a run killed before its end leaves: its temporary file, beside the listing.
    // (An earlier version's name, which says only the process: it must be a day old.)
    const std::string leftover = root.Write("music/.quaverly-999999999-0.tmp", "half a page");
    std::filesystem::last_write_time(leftover, std::filesystem::file_time_type::clock::now() -
                                                   std::chrono::hours(25));

    const Outcome outcome = RunTool(root / "music", {"-f", "csv", "-o", "music.csv", "."});

    EXPECT_EQ(outcome.status, 0) << outcome.err;
    const std::string records = ReadWholeFile(root / "music/music.csv");
    EXPECT_EQ(records.find(".quaverly-"), std::string::npos) << records;
    EXPECT_NE(records.find("\r\nfile,song.mp3,"), std::string::npos) << records;
    EXPECT_FALSE(std::filesystem::exists(leftover));
}

std::string ChildrenOf(pid_t pid) {
    const std::string task = "/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid);
    return ReadWholeFile(task + "/children");
}

// Reaps whatever is left of our children; true once none is left, alive or dead.
bool AllChildrenGone() {
    for (int tries = 0; tries < 1000; ++tries) {
        const pid_t reaped = ::waitpid(-1, nullptr, WNOHANG);
        if (reaped < 0 && errno == ECHILD) {
            return true;
        }
        if (reaped == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    return false;
}

TEST(QuaverlyList, NoTagHelperOutlivesTheProgram) {
    // Orphans of the program become ours, so that a helper left behind can be seen.
    ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    TempDir root;
    for (int i = 0; i < 2000; ++i) {
        root.Write("music/" + std::to_string(i) + ".mp3", quaverly::testing::CbrFrames(2));
    }
    for (const int signal : {0, SIGTERM, SIGKILL}) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            if (::chdir(root.Path().c_str()) != 0 || !std::freopen("/dev/null", "w", stderr)) {
                ::_exit(127);
            }
            ::execl(QUAVERLY_LIST_PATH, QUAVERLY_LIST_PATH, "music", nullptr);
            ::_exit(127);
        }
        if (signal != 0) {
            for (int tries = 0; tries < 500 && ChildrenOf(pid).empty(); ++tries) {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
            ::kill(pid, signal);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(AllChildrenGone()) << "after signal " << signal;
    }
}

} // namespace
