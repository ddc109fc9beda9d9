#include "listing/listing_run.h"
#include "mpeg/file_view.h"
#include "mpeg/preread_file.h"
#include "mpeg/tag_helpers.h"
#include "mpeg/tag_worker_pool.h"
#include "mpeg/tag_worker_protocol.h"

#include "support/mp3_bytes.h"
#include "support/prefetch.h"
#include "support/tag_size_oracle.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <id3/tag.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#ifndef _WIN32
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace quaverly {
namespace {

using testing::CbrFrames;
using testing::CompressedTitleFrame;
using testing::Id3v23Tag;
using testing::kExtendedHeaderBytes;
using testing::ReadWholeFile;
using testing::TempDir;
using testing::TitleFrame;

constexpr const char* kLibraryFailed = "the ID3 tag library failed on this file";

mpeg::TagWorkerPool::Options Workers(std::size_t count, std::string program = QUAVERLY_TAG_WORKER) {
    mpeg::TagWorkerPool::Options options;
    options.program = std::move(program);
    options.workers = count;
    return options;
}

struct Scan {
    std::int64_t offset = 0;
    std::int32_t bitrate = 0;
    std::optional<std::string> tagFailure;
};

// These tests are about the helpers that ask the library: their tags have an extended header,
// so their headers do not settle their size.
std::string AskedTag(std::string_view frames, std::size_t padding = 0) {
    return testing::Id3v23TagWithExtendedHeader(frames, padding);
}

[[maybe_unused]] Scan Analyse(CMp3Analyzer& analyzer, const std::string& path) {
    analyzer.FindFirstFrame(path);
    const mpeg::FileScan& scan = analyzer.LastScan();
    return {scan.frameOffset, scan.bitrate, scan.tagFailure};
}

#ifndef _WIN32 // the Windows build of the library survives these frames
TEST(TagWorkers, TagsThatCrashTheLibraryFallBackToTheirStatedSize) {
    TempDir root;
    const std::string compressed =
        root.Write("compressed.mp3", AskedTag(CompressedTitleFrame(true), 64) + CbrFrames(3));
    const std::string corrupt =
        root.Write("corrupt.mp3", AskedTag(CompressedTitleFrame(false), 64) + CbrFrames(3));
    const std::string plain =
        root.Write("plain.mp3", AskedTag(TitleFrame("Plain"), 64) + CbrFrames(3));
    const std::string stated = std::to_string(10 + kExtendedHeaderBytes + CompressedTitleFrame(true).size() + 64);

    mpeg::TagWorkerPool pool(Workers(1));
    CMp3Analyzer analyzer;
    analyzer.SetTagSizeSource(&pool);
    testing::Prefetch(pool, {compressed, corrupt, plain});

    for (const std::string& path : {compressed, corrupt}) {
        const Scan scan = Analyse(analyzer, path);
        EXPECT_EQ(scan.tagFailure, kLibraryFailed) << path;
        EXPECT_EQ(scan.offset,
                  std::stoll(path == compressed
                                 ? stated
                                 : std::to_string(10 + kExtendedHeaderBytes + CompressedTitleFrame(false).size() + 64)));
        EXPECT_EQ(scan.bitrate, 128);
    }
    const Scan scan = Analyse(analyzer, plain);
    EXPECT_FALSE(scan.tagFailure);
    EXPECT_EQ(scan.offset, static_cast<std::int64_t>(10 + kExtendedHeaderBytes + TitleFrame("Plain").size() + 64));
    EXPECT_EQ(pool.WorkerPids().size(), 1U);
}
#endif

TEST(TagWorkers, TagsTheHeadersSettleNeedNoHelperNorTheLibrary) {
    TempDir root;
    // A tag that crashes the library, and one it reads: both end where their headers say.
    const std::string tag = Id3v23Tag(CompressedTitleFrame(true), 64);
    const std::string crashing = root.Write("crashing.mp3", tag + CbrFrames(3));
    const std::string plain = root.Write("plain.mp3", Id3v23Tag(TitleFrame("Plain")) + CbrFrames(3));
    mpeg::TagWorkerPool pool(Workers(1, root / "missing"));
    CMp3Analyzer analyzer;
    analyzer.SetTagSizeSource(&pool);

    const Scan scan = Analyse(analyzer, crashing);
    EXPECT_FALSE(scan.tagFailure);
    EXPECT_EQ(scan.offset, static_cast<std::int64_t>(tag.size()));
    EXPECT_EQ(scan.bitrate, 128);
    EXPECT_FALSE(Analyse(analyzer, plain).tagFailure);
    EXPECT_FALSE(pool.StartFailure()); // never started
}

#ifndef _WIN32 // helpers that misbehave are shell scripts, and signals end them
// A stand-in for the tag helper: a shell script that misbehaves as told.
std::string WriteScript(const TempDir& root, const std::string& name, const std::string& body) {
    const std::string path = root.Write(name, "#!/bin/sh\n" + body);
    ::chmod(path.c_str(), 0755);
    return path;
}

TEST(TagWorkers, KilledHelperIsReplacedAndAskedAgain) {
    TempDir root;
    const std::string song =
        root.Write("song.mp3", AskedTag(TitleFrame("Song"), 16) + CbrFrames(3));
    mpeg::TagWorkerPool pool(Workers(1));
    CMp3Analyzer analyzer;
    analyzer.SetTagSizeSource(&pool);
    EXPECT_EQ(Analyse(analyzer, song).bitrate, 128);
    const auto first = pool.WorkerPids().at(0);

    ASSERT_EQ(::kill(first, SIGKILL), 0);
    const Scan scan = Analyse(analyzer, song);

    EXPECT_FALSE(scan.tagFailure);
    EXPECT_EQ(scan.offset, static_cast<std::int64_t>(10 + kExtendedHeaderBytes + TitleFrame("Song").size() + 16));
    ASSERT_EQ(pool.WorkerPids().size(), 1U);
    EXPECT_NE(pool.WorkerPids()[0], first);
    // The killed helper was reaped, not left behind.
    EXPECT_EQ(::kill(first, 0), -1);
}

TEST(TagWorkers, HelperThatHangsIsKilledAtTheTimeLimit) {
    TempDir root;
    const std::string hang = WriteScript(root, "hang.sh", "printf R\nexec sleep 1000\n");
    const std::string song = root.Write("song.mp3", AskedTag(TitleFrame("Song")) + CbrFrames(3));
    mpeg::TagWorkerPool::Options options = Workers(1, hang);
    options.timeLimit = std::chrono::milliseconds(100);
    mpeg::TagWorkerPool pool(options);
    CMp3Analyzer analyzer;
    analyzer.SetTagSizeSource(&pool);
    testing::Prefetch(pool, {song});
    const auto first = pool.WorkerPids().at(0);

    const Scan scan = Analyse(analyzer, song);

    EXPECT_EQ(scan.tagFailure, kLibraryFailed);
    EXPECT_EQ(scan.bitrate, 128);
    EXPECT_EQ(::kill(first, 0), -1);
    EXPECT_EQ(pool.WorkerPids().size(), 1U);
}

TEST(TagWorkers, HelperThatCrashesOnEveryRequestNeverSendsTheFileToTheProgram) {
    TempDir root;
    // Up, then dead at the first request: its ready byte and its end come together.
    const std::string crasher =
        WriteScript(root, "crash.sh", "printf R\nhead -c 4 >/dev/null\nkill -SEGV $$\n");
    const std::string song = root.Write("song.mp3", AskedTag(TitleFrame("Song")) + CbrFrames(3));
    mpeg::TagWorkerPool pool(Workers(1, crasher));
    CMp3Analyzer analyzer;
    analyzer.SetTagSizeSource(&pool);
    testing::Prefetch(pool, {song});
    ::usleep(100'000); // lets the helper take the request and end before the pool looks

    const Scan scan = Analyse(analyzer, song);

    EXPECT_EQ(scan.tagFailure, kLibraryFailed);
    EXPECT_FALSE(pool.StartFailure());
    EXPECT_EQ(pool.WorkerPids().size(), 1U);
}

TEST(TagWorkers, HelperSlowToStartIsWaitedForBeyondTheFileLimit) {
    TempDir root;
    const std::string slow = WriteScript(
        root, "slow.sh", std::string("sleep 0.3\nexec ") + QUAVERLY_TAG_WORKER + " \"$@\"\n");
    const std::string song = root.Write("song.mp3", AskedTag(TitleFrame("Song")) + CbrFrames(3));
    mpeg::TagWorkerPool::Options options = Workers(1, slow);
    options.timeLimit = std::chrono::milliseconds(100);
    mpeg::TagWorkerPool pool(options);
    CMp3Analyzer analyzer;
    analyzer.SetTagSizeSource(&pool);

    const Scan scan = Analyse(analyzer, song);

    EXPECT_FALSE(scan.tagFailure);
    EXPECT_FALSE(pool.StartFailure());
    EXPECT_EQ(pool.WorkerPids().size(), 1U);
}

TEST(TagWorkers, HelperThatCannotStartLeavesEachTagTheSizeItsHeaderStates) {
    TempDir root;
    const std::string quitter = WriteScript(root, "quit.sh", "exit 3\n");
    const std::string song = root.Write("song.mp3", AskedTag(TitleFrame("Song")) + CbrFrames(3));
    const std::string bare = root.Write("bare.mp3", CbrFrames(3));

    for (const std::string& program : {root / "missing", quitter}) {
        mpeg::TagWorkerPool pool(Workers(2, program));
        CMp3Analyzer analyzer;
        analyzer.SetTagSizeSource(&pool);

        // The library never runs in the program: the size comes from the header, and says so.
        const Scan scan = Analyse(analyzer, song);
        ASSERT_TRUE(scan.tagFailure);
        EXPECT_NE(scan.tagFailure->find("no ID3 tag helper"), std::string::npos);
        EXPECT_EQ(scan.offset, static_cast<std::int64_t>(10 + kExtendedHeaderBytes + TitleFrame("Song").size()));
        EXPECT_EQ(scan.bitrate, 128);
        // A file without a tag has nothing the library could have measured.
        EXPECT_FALSE(Analyse(analyzer, bare).tagFailure);
        ASSERT_TRUE(pool.StartFailure()) << program;
        EXPECT_NE(pool.StartFailure()->find("could not be started"), std::string::npos);
        EXPECT_NE(pool.StartFailure()->find("what the tags' headers state"), std::string::npos);
        EXPECT_TRUE(pool.WorkerPids().empty());
    }
}

// A request larger than a pipe holds: the write is under way when the helper goes.
std::string LargeTagSong(const TempDir& root, const std::string& name) {
    return root.Write(name, AskedTag(TitleFrame("Song"), 200'000) + CbrFrames(3));
}

TEST(TagWorkers, HelperLostDuringAWriteIsCountedAsLostOnTheFile) {
    TempDir root;
    // Up, then dead while the request is still being written.
    const std::string crasher =
        WriteScript(root, "crash.sh", "printf R\nhead -c 4 >/dev/null\nkill -SEGV $$\n");
    const std::string song = LargeTagSong(root, "song.mp3");
    mpeg::TagWorkerPool pool(Workers(1, crasher));
    CMp3Analyzer analyzer;
    analyzer.SetTagSizeSource(&pool);

    for (int run = 0; run < 3; ++run) {
        const Scan scan = Analyse(analyzer, song);
        EXPECT_EQ(scan.tagFailure, kLibraryFailed);
        EXPECT_EQ(scan.bitrate, 128);
        EXPECT_FALSE(pool.StartFailure());
        EXPECT_EQ(pool.WorkerPids().size(), 1U);
    }
}

// A helper that works on a file for an hour, and one that takes no more of a request: a cancel
// ends the wait for either, the file fails as cancelled, and no helper is blamed for it.
TEST(TagWorkers, CancelEndsTheWaitForAHelper) {
    TempDir root;
    const std::string stalls = WriteScript(root, "stall.sh", "printf R\nexec sleep 1000\n");
    const std::string song = root.Write("song.mp3", AskedTag(TitleFrame("Song")) + CbrFrames(3));
    const std::string large = LargeTagSong(root, "large.mp3");
    mpeg::TagWorkerPool::Options options = Workers(1, stalls);
    options.timeLimit = options.startLimit = std::chrono::hours(1);
    mpeg::TagWorkerPool pool(options);
    CMp3Analyzer analyzer;
    analyzer.SetTagSizeSource(&pool);
    int asked = 0;
    // Not before the pool has asked once, so that it is waiting when told.
    analyzer.SetCancelCheck([&] { return ++asked > 1; });

    for (const std::string& path : {song, large}) {
        asked = 0;
        try {
            Analyse(analyzer, path);
            ADD_FAILURE() << path << " was not cancelled";
        } catch (const platform::FileError& error) {
            EXPECT_EQ(error.Cause(), platform::FileErrorCause::Cancelled) << path;
        }
        EXPECT_GT(asked, 1) << path;
        EXPECT_EQ(pool.WorkerPids().size(), 1U);
        pool.Forget();
    }
    EXPECT_FALSE(pool.StartFailure());
}

TEST(TagWorkers, HelperThatStopsReadingIsKilledAtTheTimeLimit) {
    TempDir root;
    const std::string stalls = WriteScript(root, "stall.sh", "printf R\nexec sleep 1000\n");
    const std::string song = LargeTagSong(root, "song.mp3");
    mpeg::TagWorkerPool::Options options = Workers(1, stalls);
    options.timeLimit = options.startLimit = std::chrono::milliseconds(200);
    mpeg::TagWorkerPool pool(options);
    CMp3Analyzer analyzer;
    analyzer.SetTagSizeSource(&pool);

    const Scan scan = Analyse(analyzer, song);

    EXPECT_EQ(scan.tagFailure, kLibraryFailed);
    EXPECT_EQ(scan.bitrate, 128);
}

TEST(TagWorkers, AnswerThatCannotBeRightFailsTheFile) {
    TempDir root;
    // 2^40 bytes of tag, for a file of a few hundred: little-endian, then status and ranges.
    const std::string liar =
        WriteScript(root, "liar.sh",
                    "printf 'R\\0\\0\\0\\0\\0\\1\\0\\0'\nhead -c 24 /dev/zero\nexec sleep 1000\n");
    const std::string song = root.Write("song.mp3", AskedTag(TitleFrame("Song")) + CbrFrames(3));
    mpeg::TagWorkerPool pool(Workers(1, liar));
    CMp3Analyzer analyzer;
    analyzer.SetTagSizeSource(&pool);

    const Scan scan = Analyse(analyzer, song);

    ASSERT_TRUE(scan.tagFailure);
    EXPECT_NE(scan.tagFailure->find("cannot be right"), std::string::npos);
    EXPECT_EQ(scan.offset, static_cast<std::int64_t>(10 + kExtendedHeaderBytes + TitleFrame("Song").size()));
    EXPECT_EQ(scan.bitrate, 128);
}

TEST(TagWorkers, FileTheLibraryReadsThroughCostsAtMostItsBound) {
    TempDir root;
    // Nothing the library recognises behind the tag: it reads on and on, round after round.
    const std::string path = root.Write(
        "ones.mp3",
        AskedTag(TitleFrame("Song")) + std::string(static_cast<std::size_t>(mpeg::TagWorkerPool::kMaxSentPerFile) * 2, '\x01'));
    mpeg::TagWorkerPool pool(Workers(1));
    CMp3Analyzer analyzer;
    analyzer.SetTagSizeSource(&pool);

    const Scan scan = Analyse(analyzer, path);

    EXPECT_EQ(scan.tagFailure, "the ID3 tag library read more than 16 MiB of this file");
    EXPECT_EQ(scan.bitrate, 0);
}

// The helpers alone, without the pool's policy: what a stopped one held.
mpeg::TagHelpers::Question QuestionAbout(const std::string& path) {
    const std::string file(64, '\x01');
    return {path,
            mpeg::EncodeTagRequest(path, 64, {{0, 64}},
                                   [&](std::int64_t at, std::size_t count, unsigned char* out) {
                                       std::memcpy(out, file.data() + at, count);
                                   })
                .message};
}

TEST(TagHelpers, StoppedHelperGivesBackWhatItHeldAndWhy) {
    TempDir root;
    struct Case {
        std::string script;
        std::vector<std::string> sent;
        std::chrono::milliseconds timeLimit;
    };
    // One that works on a file for ever, and one that says more than it owes long before its
    // time is up.
    const Case cases[] = {
        {WriteScript(root, "hang.sh", "printf R\nexec sleep 1000\n"),
         {"a", "b"},
         std::chrono::milliseconds(100)},
        {WriteScript(root, "talks.sh",
                     "printf R\nhead -c 16 >/dev/null\nprintf '%040d' 0\nexec sleep 1000\n"),
         {"a"},
         std::chrono::milliseconds(60'000)},
    };
    for (const Case& test : cases) {
        mpeg::TagHelpers helpers(test.script, 1, test.timeLimit, test.timeLimit);
        helpers.Start();
        ASSERT_EQ(helpers.Count(), 1U);
        const platform::ProcessId first = helpers.Pids().at(0);
        for (const std::string& path : test.sent) {
            ASSERT_FALSE(helpers.Send(0, QuestionAbout(path), {}).stopped);
        }

        // Within about two seconds.
        std::optional<mpeg::TagHelpers::Heard> heard;
        for (int turn = 0; turn < 20 && !heard; ++turn) {
            for (mpeg::TagHelpers::Heard& said : helpers.Wait([] { return false; })) {
                if (said.stopped) {
                    heard = std::move(said);
                }
            }
        }

        ASSERT_TRUE(heard) << test.script;
        EXPECT_TRUE(heard->answers.empty()) << test.script;
        const mpeg::TagHelpers::Stopped& stopped = *heard->stopped;
        std::vector<std::string> held;
        for (const mpeg::TagHelpers::Question& question : stopped.held) {
            held.push_back(question.path);
        }
        EXPECT_EQ(held, test.sent) << test.script;
        EXPECT_TRUE(stopped.wasUp && stopped.timedOut && !stopped.cancelled) << test.script;
        // Replaced by a helper that holds nothing.
        ASSERT_EQ(helpers.Count(), 1U);
        EXPECT_NE(helpers.Pids()[0], first);
        EXPECT_FALSE(helpers.Holds("a"));
        EXPECT_EQ(::kill(first, 0), -1);
    }
}

#endif

listing::RunResult ListWith(std::unique_ptr<mpeg::TagWorkerPool> pool, const std::string& folder,
                            const std::string& output) {
    platform::FileSystem& fileSystem = platform::SystemFileSystem();
    listing::ListingSession session(fileSystem, std::move(pool));
    listing::ListingServices services{fileSystem};
    services.listingFileName = output;
    const auto start = std::filesystem::current_path();
    listing::RunResult result = listing::MakeListing(session, folder, services);
    std::filesystem::current_path(start);
    return result;
}

TEST(TagWorkers, PagesAreTheSameWithOneFourOrNoHelpers) {
    TempDir root;
    const std::string corpus = root / "corpus";
    std::filesystem::copy(QUAVERLY_TEST_DATA_DIR, corpus, std::filesystem::copy_options::recursive);

    const auto none = ListWith(nullptr, corpus, root / "none.html");
    const auto two =
        ListWith(std::make_unique<mpeg::TagWorkerPool>(Workers(2)), corpus, root / "two.html");
    EXPECT_EQ(none.outcome, listing::RunOutcome::Complete);
    EXPECT_EQ(two.outcome, listing::RunOutcome::Complete);
    EXPECT_EQ(ReadWholeFile(root / "none.html"), ReadWholeFile(root / "two.html"));
#ifndef _WIN32 // the Windows build of the library survives this frame

    // A file the library cannot survive costs only its own tag size.
    root.Write("corpus/more/compressed.mp3", AskedTag(CompressedTitleFrame(true)) + CbrFrames(3));
    const auto one =
        ListWith(std::make_unique<mpeg::TagWorkerPool>(Workers(1)), corpus, root / "one.html");
    const auto four =
        ListWith(std::make_unique<mpeg::TagWorkerPool>(Workers(4)), corpus, root / "four.html");
    ASSERT_EQ(one.failureCount, 1U);
    EXPECT_EQ(one.failures[0].reason, kLibraryFailed);
    EXPECT_EQ(four.failureCount, 1U);
    EXPECT_EQ(ReadWholeFile(root / "one.html"), ReadWholeFile(root / "four.html"));
    EXPECT_NE(ReadWholeFile(root / "one.html").find("compressed.mp3</td><td> 128 Kbs"),
              std::string::npos);
#endif
}

// The helper is sent the bytes the library reads, and asks for those it lacks: its answers are
// the library's for the file itself, on every test file and on files that make it ask again.
TEST(TagWorkers, HelperAnswersWhatTheLibraryAnswersForTheFile) {
    TempDir root;
    std::vector<std::string> paths;
    for (const auto& entry : std::filesystem::directory_iterator(QUAVERLY_TEST_DATA_DIR)) {
        if (entry.path().extension() == ".mp3") {
            paths.push_back(entry.path().string());
        }
    }
    const std::string tag = AskedTag(TitleFrame("Song"), 64);
    // Zeros behind the tag, which the library counts one by one, far past what is sent.
    paths.push_back(root.Write("zeros.mp3", tag + std::string(300'000, '\0') + CbrFrames(3)));
    // A tag larger than what is read with the start of a file.
    paths.push_back(
        root.Write("large.mp3", AskedTag(TitleFrame("Large"), 1'500'000) + CbrFrames(3)));
    // Junk before the first frame, and an ID3v1 tag at the end.
    std::string v1(128, ' ');
    v1.replace(0, 3, "TAG");
    paths.push_back(root.Write("junk.mp3", std::string(70'000, '\x11') + CbrFrames(3) + v1));

    mpeg::TagWorkerPool pool(Workers(1));
    CMp3Analyzer analyzer;
    analyzer.SetTagSizeSource(&pool);
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        ID3_Tag library;
        library.Link(path.c_str(), ID3TT_ALL);
        const Scan scan = Analyse(analyzer, path);
        EXPECT_FALSE(scan.tagFailure);
        EXPECT_EQ(analyzer.GetId3v2Size(path),
                  static_cast<std::int64_t>(library.GetPrependedBytes()));
    }
}

// Tags of the shapes the headers' count must follow: chains, padding behind the tags, the
// versions, the flags, and the ends of files.
std::vector<std::string> TagShapes() {
    const std::string title = TitleFrame("Song");
    const auto versioned = [](std::string tag, char version, char flags) {
        tag[3] = version;
        tag[5] = flags;
        return tag;
    };
    const std::string frames = CbrFrames(3);
    return {
        Id3v23Tag(title, 64) + frames,
        versioned(Id3v23Tag(title), 4, 0x10) + "3DI" + Id3v23Tag(title).substr(3, 7) +
            versioned(Id3v23Tag(title, 20), 2, 0) + frames,
        Id3v23Tag(title) + std::string(5000, '\0') + frames,
        Id3v23Tag(title) + std::string("\xFF\0\0\0\0\0", 6) + frames,
        Id3v23Tag(title) + std::string("\xFF\0\0\x01", 4) + frames,
        versioned(Id3v23Tag(title), 3, '\x80') + frames,
        Id3v23Tag(title, 20'000) + frames,
        Id3v23Tag(title),
        Id3v23Tag(title) + std::string(40, '\0'),
        testing::Id3v23TagWithExtendedHeader(title) + frames,
        Id3v23Tag(CompressedTitleFrame(true)) + frames,
        std::string(3, '\0') + frames,
    };
}

// A copy of `bytes` with a few bytes changed where the count is decided: in the first header,
// around where the first tag ends, or anywhere near the start; or cut short, or with zeros put in.
std::string Mutated(std::string bytes, std::mt19937& random) {
    const auto pick = [&](std::size_t count) { return static_cast<std::size_t>(random() % count); };
    const std::size_t tagEnd = mpeg::StatedTagEnd(
        reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), false);
    for (std::size_t edits = 1 + pick(3); edits > 0 && !bytes.empty(); --edits) {
        const std::size_t where[] = {pick(10), tagEnd + pick(16) - 8, pick(4096)};
        const std::size_t at = std::min(where[pick(3)], bytes.size() - 1);
        switch (pick(6)) {
        case 0: bytes[at] = static_cast<char>(random()); break;
        case 1: bytes[at] = '\0'; break;
        case 2: bytes[at] = '\xFF'; break;
        case 3: bytes[at] = static_cast<char>(pick(0x80)); break;
        case 4: bytes.resize(at); break;
        default: bytes.insert(at, pick(3000), '\0'); break;
        }
    }
    return bytes;
}

// Wherever the headers settle the count, it is the library's, asked in a helper, which survives
// the frames that crash it: on the test files, tags of every shape, and seeded mutations of them.
// QUAVERLY_TAG_MUTATIONS sets how many mutations (default 300).
TEST(TagWorkers, HeadersGiveTheLibrarysCountWhereverTheySettleIt) {
    TempDir root;
    std::vector<std::string> samples = TagShapes();
    for (const auto& entry : std::filesystem::directory_iterator(QUAVERLY_TEST_DATA_DIR)) {
        if (entry.path().extension() == ".mp3") {
            samples.push_back(ReadWholeFile(entry.path().string()));
        }
    }
    const char* count = std::getenv("QUAVERLY_TAG_MUTATIONS");
    const std::size_t mutations = count != nullptr && *count != '\0' ? std::stoul(count) : 300;
    std::mt19937 random(20261208);
    mpeg::TagWorkerPool pool(Workers(2));
    std::size_t compared = 0;
    for (std::size_t i = 0; i < samples.size() + mutations; ++i) {
        const std::string bytes =
            i < samples.size() ? samples[i] : Mutated(samples[random() % samples.size()], random);
        const std::string path = root.Write("file" + std::to_string(i) + ".mp3", bytes);
        compared += testing::ExpectHeadersGiveTheLibrarysCount(pool, path) ? 1U : 0U;
    }
    // Most files are settled by their headers, and the library answers for them.
    EXPECT_GT(compared, (samples.size() + mutations) / 2);
}

TEST(TagWorkers, RunSaysWhenTheHelperCannotStart) {
    TempDir root;
    root.Write("music/song.mp3", AskedTag(TitleFrame("Song")) + CbrFrames(3));

    const auto result = ListWith(std::make_unique<mpeg::TagWorkerPool>(Workers(1, root / "gone")),
                                 root / "music", root / "page.html");

    EXPECT_EQ(result.outcome, listing::RunOutcome::Incomplete);
    // Why no helper runs, and the file whose size is only what its header states.
    ASSERT_EQ(result.failureCount, 2U);
    EXPECT_EQ(result.failures[1].path, root / "gone");
    EXPECT_NE(ReadWholeFile(root / "page.html").find("song.mp3</td><td> 128 Kbs"),
              std::string::npos);
}

} // namespace
} // namespace quaverly
