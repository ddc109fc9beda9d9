// Seeded hostile trees, listed every way the program can list them, and what must always hold:
// the run ends, its outcome is a page (whole, with a row for every file, every name escaped),
// one and two helpers give the same page, and no helper or descriptor is left behind.
//
// QUAVERLY_HOSTILE_SEEDS (a count, default 3) and QUAVERLY_HOSTILE_MUTATIONS (mutated copies of
// the test files in each tree, default 40) make it a soak: scripts/hostile-soak.

#include "listing/catalogue_format.h"
#include "listing/catalogue_page.h"
#include "listing/listing_run.h"
#include "listing/record_formats.h"
#include "listing/xlsx_format.h"
#include "mpeg/tag_worker_pool.h"

#include "support/mp3_bytes.h"
#include "support/tag_size_oracle.h"
#include "support/temp_dir.h"
#include "support/zip_entries.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <random>
#include <set>

#include <sys/stat.h>
#include <unistd.h>

namespace quaverly::listing {
namespace {

using testing::CbrFrames;
using testing::CompressedTitleFrame;
using testing::Id3v23Tag;
using testing::ReadWholeFile;
using testing::TempDir;
using testing::TitleFrame;

std::size_t FromEnvironment(const char* name, std::size_t fallback) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? std::stoul(value) : fallback;
}

// Builds one tree from a seed. `libraryProof` leaves out what only a helper survives (tags that
// crash the library, mutated files, which may be such tags) and what the library in the program
// would read for minutes (large holes): the tree for `-j 0`.
class HostileTreeMaker {
public:
    HostileTreeMaker(std::uint32_t seed, const TempDir& root, bool libraryProof)
        : m_random(seed), m_root(root), m_libraryProof(libraryProof) {}

    void Make(std::size_t mutations) {
        const std::vector<std::string> folders = MakeFolders();
        for (const std::string& folder : folders) {
            const int files = Pick(0, 6);
            for (int i = 0; i < files; ++i) {
                MakeFile(folder, i);
            }
        }
        if (!m_libraryProof) {
            const std::vector<std::string> samples = Samples();
            for (std::size_t i = 0; i < mutations && !samples.empty(); ++i) {
                std::string bytes = ReadWholeFile(samples[i % samples.size()]);
                Mutate(bytes);
                m_root.Write(folders[i % folders.size()] + "/mutated" + std::to_string(i) + ".mp3",
                             bytes);
            }
        }
        if (!m_libraryProof) {
            // A download of gigabytes left unfinished: a frame, then a hole.
            std::filesystem::resize_file(m_root.Write("tree/unfinished.mp3", CbrFrames(1)),
                                         static_cast<std::uintmax_t>(Pick(1, 200)) << 30);
        }
        // What runs killed before their end left, in an earlier version's name and this one's:
        // no file of the tree.
        m_root.Write(folders.back() + "/.quaverly-" + std::to_string(Pick(1, 1 << 30)) + "-0.tmp",
                     "half a page");
        m_root.Write(folders.front() + "/.quaverly-host-" + std::to_string(Pick(1, 1 << 30)) +
                         "-1f-0.tmp",
                     "half a page");
        // Links: a loop back to the top, and two ways into the same folder.
        Link("tree", folders[static_cast<std::size_t>(Pick(0, int(folders.size()) - 1))] + "/up");
        const std::string& shared =
            folders[static_cast<std::size_t>(Pick(0, int(folders.size()) - 1))];
        Link(shared, "tree/way1");
        Link(shared, "tree/way2");
    }

private:
    int Pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(m_random); }

    std::vector<std::string> MakeFolders() {
        std::vector<std::string> folders{"tree"};
        m_root.MakeFolder("tree");
        const int count = Pick(4, 12);
        for (int i = 0; i < count; ++i) {
            const std::string& parent =
                folders[static_cast<std::size_t>(Pick(0, int(folders.size()) - 1))];
            folders.push_back(parent + "/" + Name(i));
            m_root.MakeFolder(folders.back());
        }
        // Empty folders by the hundred.
        for (int i = 0, empty = Pick(0, 300); i < empty; ++i) {
            m_root.MakeFolder("tree/empty/" + std::to_string(i));
        }
        return folders;
    }

    // A name a stranger could choose: control characters, bytes that are not text, markup.
    std::string Name(int index) {
        static const std::vector<std::string> kHostile{"\x1B]0;title\x07",
                                                       "\x1B[2J",
                                                       "line\nbreak",
                                                       "\xFF\xFE",
                                                       "\xC2\x9B"
                                                       "31m",
                                                       "<img src=x onerror=alert(1)>",
                                                       "&amp;",
                                                       "tab\there",
                                                       "\x7F",
                                                       "plain"};
        return kHostile[static_cast<std::size_t>(Pick(0, int(kHostile.size()) - 1))] + "-" +
               std::to_string(index);
    }

    void MakeFile(const std::string& folder, int index) {
        const std::string name = folder + "/" + Name(index);
        switch (Pick(0, m_libraryProof ? 9 : 11)) {
        case 0:
            m_root.Write(name + ".mp3", CbrFrames(Pick(1, 5)));
            break;
        case 1: // a cover's worth of tag, 100 KB to 2 MB
            m_root.Write(name + ".mp3", Id3v23Tag(TitleFrame("t"), static_cast<std::size_t>(
                                                                       Pick(100'000, 2'000'000))) +
                                            CbrFrames(3));
            break;
        case 2:
            m_root.Write(name + ".txt", "not music");
            break;
        case 3: // a FIFO named like music
            ::mkfifo((m_root / (name + ".mp3")).c_str(), 0600);
            break;
        case 4: // a small hole
            std::filesystem::resize_file(m_root.Write(name + ".mp3", CbrFrames(1)),
                                         static_cast<std::uintmax_t>(Pick(1, 64)) << 20);
            break;
        case 5:
            m_root.Write(name + ".mp3", "");
            break;
        case 6: // a header that counts four billion frames in a few bytes
            m_root.Write(name + ".mp3", LyingXingFrame(0xFFFFFFFF, 0xFFFFFFFF) + CbrFrames(3));
            break;
        case 7: { // the same ahead of a hole: a count walks over it
            const auto path = m_root.Write(name + ".mp3",
                                           LyingXingFrame(100, 0x7FFFFFFF) + CbrFrames(Pick(1, 3)));
            std::filesystem::resize_file(path, static_cast<std::uintmax_t>(Pick(1, 64)) << 20);
            break;
        }
        case 8: { // junk inside the frames, frames of another rate, and a closing tag that lies
            std::string ape(32, '\xFF');
            ape.replace(0, 8, "APETAGEX");
            m_root.Write(name + ".mp3",
                         CbrFrames(Pick(1, 4)) +
                             std::string(static_cast<std::size_t>(Pick(1, 900)), 'j') +
                             Frames160(Pick(1, 4)) + CbrFrames(2) + ape);
            break;
        }
        case 9: // a frame cut in its middle behind a tag of the end
            m_root.Write(name + ".mp3",
                         CbrFrames(3).substr(0, 1000) + "TAG" + std::string(125, '\xFF'));
            break;
        default: // tags that crash the library
            m_root.Write(name + ".mp3",
                         Id3v23Tag(CompressedTitleFrame(Pick(0, 1) == 1), 64) + CbrFrames(3));
            break;
        }
    }

    // A first frame with a "Xing" header that counts `frames` frames of `bytes` bytes.
    static std::string LyingXingFrame(std::uint32_t frames, std::uint32_t bytes) {
        std::string frame = CbrFrames(1);
        std::string header = "Xing";
        testing::PutBigEndian32(header, 0x03);
        testing::PutBigEndian32(header, frames);
        testing::PutBigEndian32(header, bytes);
        frame.replace(36, header.size(), header);
        return frame;
    }

    // `count` frames at 160 kbit/s of the same stream as CbrFrames.
    static std::string Frames160(int count) {
        std::string frames = CbrFrames(0);
        for (int i = 0; i < count; ++i) {
            std::string frame(522, '\0');
            frame.replace(0, 3, "\xFF\xFB\xA0");
            frames += frame;
        }
        return frames;
    }

    static std::vector<std::string> Samples() {
        std::vector<std::string> samples;
        for (const auto& entry : std::filesystem::directory_iterator(QUAVERLY_TEST_DATA_DIR)) {
            if (entry.path().extension() == ".mp3") {
                samples.push_back(entry.path().string());
            }
        }
        std::sort(samples.begin(), samples.end());
        return samples;
    }

    // Flips bytes, most of them in the tag and the first frames, and sometimes cuts the file.
    void Mutate(std::string& bytes) {
        if (bytes.empty()) {
            return;
        }
        const int flips = Pick(1, 16);
        for (int i = 0; i < flips; ++i) {
            const int reach = std::min<int>(int(bytes.size()) - 1, Pick(0, 1) ? 64 : 4096);
            bytes[static_cast<std::size_t>(Pick(0, reach))] = static_cast<char>(Pick(0, 255));
        }
        if (Pick(0, 4) == 0) {
            bytes.resize(static_cast<std::size_t>(Pick(0, int(bytes.size()))));
        }
    }

    void Link(const std::string& target, const std::string& name) {
        std::error_code ignored;
        std::filesystem::create_directory_symlink(m_root / target, m_root / name, ignored);
    }

    std::mt19937 m_random;
    const TempDir& m_root;
    bool m_libraryProof;
};

std::size_t OpenDescriptors() {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator("/proc/self/fd")) {
        ++count;
    }
    return count;
}

// Every "<" of the page starts one of the page's own tags: no name brought markup in.
bool OnlyThePagesOwnMarkup(const std::string& page) {
    static const std::vector<std::string> kTags{
        "<html>", "<body>", "</body>",       "</html>",  "<center>", "</center>", "<h3>",
        "</h3>",  "<hr>",   "<table border", "</table>", "<tr>",     "</tr>",     "<td",
        "</td>",  "<br>",   "<font size",    "<a href",  "</a>"};
    for (std::size_t at = page.find('<'); at != std::string::npos; at = page.find('<', at + 1)) {
        bool known = false;
        for (const std::string& tag : kTags) {
            known = known || page.compare(at, tag.size(), tag) == 0;
        }
        if (!known) {
            return false;
        }
    }
    return true;
}

struct Listed {
    RunResult result;
    std::string page;
};

Listed List(const TempDir& root, std::size_t helpers, bool readAhead,
            ListingFormat* format = nullptr) {
    TempDir out;
    platform::FileSystem& fileSystem = platform::SystemFileSystem();
    std::vector<platform::ProcessId> pids;
    Listed listed;
    {
        std::unique_ptr<mpeg::TagWorkerPool> pool;
        if (helpers > 0) {
            mpeg::TagWorkerPool::Options options;
            options.program = QUAVERLY_TAG_WORKER;
            options.workers = helpers;
            options.timeLimit = std::chrono::milliseconds(500);
            pool = std::make_unique<mpeg::TagWorkerPool>(options);
        }
        mpeg::TagWorkerPool* workers = pool.get();
        ListingSession session(fileSystem, std::move(pool));
        if (!readAhead) {
            session.readAhead.threads = 0;
        }
        ListingServices services{fileSystem};
        services.listingFileName = out / "page.html";
        services.format = format;
        const auto start = std::filesystem::current_path();
        listed.result = MakeListing(session, root / "tree", services);
        std::filesystem::current_path(start);
        if (workers != nullptr) {
            pids = workers->WorkerPids();
        }
    }
    for (const platform::ProcessId pid : pids) {
        EXPECT_EQ(::kill(pid, 0), -1) << "helper " << pid << " outlived its run";
    }
    listed.page = ReadWholeFile(out / "page.html");
    return listed;
}

void ExpectAWholePage(const Listed& listed) {
    const RunResult& result = listed.result;
    EXPECT_TRUE(result.outcome == RunOutcome::Complete || result.outcome == RunOutcome::Incomplete)
        << static_cast<int>(result.outcome) << ": " << result.failureReason;
    EXPECT_EQ(listed.page.rfind("<html><body>\r\n", 0), 0U);
    EXPECT_TRUE(listed.page.ends_with("</body></html>"));
    EXPECT_TRUE(OnlyThePagesOwnMarkup(listed.page));
    EXPECT_EQ(listed.page.find(".quaverly-"), std::string::npos);
    // A row for every file the walk met, and a failure for every file it could not read.
    std::size_t rows = 0;
    for (std::size_t at = listed.page.find("<tr><td"); at != std::string::npos;
         at = listed.page.find("<tr><td", at + 1)) {
        ++rows;
    }
    std::size_t folders = 0;
    for (std::size_t at = listed.page.find("bgcolor=red"); at != std::string::npos;
         at = listed.page.find("bgcolor=red", at + 1)) {
        ++folders;
    }
    EXPECT_EQ(rows - folders, result.fileCount);
}

// The records of every folder and file the walk met, one line each, the last one whole.
void ExpectWholeRecords(const Listed& listed) {
    const RunResult& result = listed.result;
    EXPECT_TRUE(result.outcome == RunOutcome::Complete || result.outcome == RunOutcome::Incomplete)
        << static_cast<int>(result.outcome) << ": " << result.failureReason;
    std::size_t files = 0;
    std::size_t start = 0;
    for (std::size_t end = listed.page.find('\n'); end != std::string::npos;
         start = end + 1, end = listed.page.find('\n', start)) {
        const std::string_view line(listed.page.data() + start, end - start);
        EXPECT_TRUE(line.starts_with("{\"type\":\"") && line.ends_with("}")) << line;
        files += line.starts_with("{\"type\":\"file\"") ? 1U : 0U;
    }
    EXPECT_EQ(start, listed.page.size());
    EXPECT_EQ(files, result.fileCount);
}

// The catalogue: its page around data that no name can end or escape from, an element a line,
// one for every file the walk met.
void ExpectAWholeCatalogue(const Listed& listed) {
    const std::string_view head = CataloguePageHead();
    const std::string_view tail = CataloguePageTail();
    ASSERT_TRUE(listed.page.starts_with(head) && listed.page.ends_with(tail));
    const std::string_view data =
        std::string_view(listed.page)
            .substr(head.size(), listed.page.size() - head.size() - tail.size());
    EXPECT_EQ(data.find_first_of("<>&"), std::string_view::npos);
    EXPECT_EQ(data.find("\xE2\x80\xA8"), std::string_view::npos);
    EXPECT_EQ(data.find("\xE2\x80\xA9"), std::string_view::npos);
    std::size_t files = 0;
    std::size_t start = 0;
    for (std::size_t end = data.find('\n'); end != std::string_view::npos;
         start = end + 1, end = data.find('\n', start)) {
        const std::string_view line = data.substr(start, end - start);
        // The head, then the elements, each but the last followed by a comma.
        const bool last = data.substr(end + 1) == "]";
        EXPECT_TRUE(start == 0 ? line.starts_with("[{\"catalogue\":1,") && line.ends_with("},")
                               : line.starts_with("[") && line.ends_with(last ? "]" : "],"))
            << line;
        files += line.starts_with("[\"") ? 1U : 0U;
    }
    EXPECT_EQ(data.substr(start), "]");
    EXPECT_EQ(files, listed.result.fileCount);
}

// The workbook: an archive whose sheets are whole, a row for every file the walk met below the
// header, no formula. Returns its parts but the one that says when it was made.
std::map<std::string, std::string> ExpectAWholeWorkbook(const Listed& listed) {
    std::map<std::string, std::string> parts = testing::ZipEntries(listed.page);
    for (const auto& [name, part] : parts) {
        if (name.starts_with("xl/worksheets/sheet")) {
            EXPECT_TRUE(part.ends_with("</worksheet>")) << name;
            EXPECT_EQ(testing::Occurrences(part, "<f"), 0U) << name;
        }
    }
    EXPECT_EQ(testing::Occurrences(parts["xl/worksheets/sheet1.xml"], "<row "),
              listed.result.fileCount + 1);
    parts.erase("docProps/core.xml");
    return parts;
}

// Where the tag headers of a file in the tree settle its tag size, the library, in a helper,
// counts the same.
void ExpectHeadersGiveTheLibrarysCount(const std::string& tree) {
    mpeg::TagWorkerPool::Options options;
    options.program = QUAVERLY_TAG_WORKER;
    options.workers = 1;
    mpeg::TagWorkerPool pool(options);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(tree)) {
        if (entry.is_regular_file() && !entry.is_symlink() && entry.path().extension() == ".mp3") {
            testing::ExpectHeadersGiveTheLibrarysCount(pool, entry.path().string());
        }
    }
}

TEST(HostileHarness, EveryTreeEndsInAWholePageTheSameWithOneOrTwoHelpers) {
    const std::size_t seeds = FromEnvironment("QUAVERLY_HOSTILE_SEEDS", 3);
    const std::size_t mutations = FromEnvironment("QUAVERLY_HOSTILE_MUTATIONS", 40);
    const std::size_t descriptors = OpenDescriptors();
    for (std::uint32_t seed = 1; seed <= seeds; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        TempDir root;
        HostileTreeMaker(seed, root, false).Make(mutations);
        if (std::getenv("QUAVERLY_HOSTILE_KEEP") != nullptr) {
            // For a look at the trees, or a listing of them by another build.
            root.Keep();
            std::cout << "kept " << (root / "tree") << '\n';
        }
        const Listed one = List(root, 1, true);
        const Listed two = List(root, 2, true);
        const Listed behind = List(root, 2, false);
        for (const Listed* listed : {&one, &two, &behind}) {
            ExpectAWholePage(*listed);
        }
        EXPECT_EQ(one.page, two.page);
        EXPECT_EQ(two.page, behind.page);
        // The records, every frame walked: the same bytes whoever reads the tags and the ends.
        JsonLinesFormat verified;
        verified.Verify(true);
        const Listed records = List(root, 1, true, &verified);
        ExpectWholeRecords(records);
        EXPECT_EQ(records.page, List(root, 2, false, &verified).page);
        CatalogueFormat catalogue("");
        const Listed catalogued = List(root, 1, true, &catalogue);
        ExpectAWholeCatalogue(catalogued);
        CatalogueFormat again("");
        EXPECT_EQ(catalogued.page, List(root, 2, false, &again).page);
        XlsxFormat workbook(platform::SystemFileSystem());
        XlsxFormat workbookAgain(platform::SystemFileSystem());
        EXPECT_EQ(ExpectAWholeWorkbook(List(root, 1, true, &workbook)),
                  ExpectAWholeWorkbook(List(root, 2, false, &workbookAgain)));
        ExpectHeadersGiveTheLibrarysCount(root / "tree");

        // What the library in the program survives, read there as `-j 0` asks.
        TempDir proof;
        HostileTreeMaker(seed, proof, true).Make(0);
        const Listed inProgram = List(proof, 0, true);
        ExpectAWholePage(inProgram);
        EXPECT_EQ(inProgram.page, List(proof, 1, false).page);
        if (::testing::Test::HasFailure()) {
            break;
        }
    }
    EXPECT_EQ(OpenDescriptors(), descriptors);
}

} // namespace
} // namespace quaverly::listing
