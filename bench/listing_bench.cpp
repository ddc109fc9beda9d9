// Measures whole listing runs over a made-up library, beside the I/O floor: what walking the
// same tree and reading the bytes the analyser needs costs with no analysis at all.
//
// Three modes. hot, the default, lists a library the page cache holds, in process and with 1, 2
// and one helper per core, then measures what a question to a helper costs and the peak memory
// of a large listing. cold empties the page cache before every pass, so it needs root, and lists
// typical tracks from the disk. latency lists from the cache through a file system that waits
// before every question about the library, as a network share does. Both put the listing, with
// helpers and in process, beside two floors: the tree walked and read by one thread, and walked
// by one while 32 read.
//
//   listing_bench [--mode hot|cold|latency] [--library today|collection] [--files N]
//                 [--latency-ms N] [--folders N] [--picture-every N] [--picture-bytes N]
//                 [--memory-files N]
//   listing_bench --make-library FOLDER [the library's options]
//   listing_bench --floor FOLDER [--floor-reads whole-tag|head]
//
//   --library         today's made-up library (the default), or one like a real collection:
//                     albums of 12 tagged tracks, 4 in 5 with a 100-600 KiB cover
//   --files N         files in the library: 5000 (3000 for a collection), or 1000 for latency
//   --make-library    only makes the library in FOLDER, for bench/compare
//   --floor           one pass of the 32-thread floor over FOLDER, for bench/compare
//   --latency-ms N    the wait of the latency mode (default 1)
//   --memory-files N  files in the memory run of the hot mode (default 50000)

#include "latency_file_system.h"
#include "library.h"

#include "listing/listing_run.h"
#include "mpeg/file_view.h"
#include "mpeg/id3_tag_size.h"
#include "mpeg/preread_file.h"
#include "mpeg/tag_worker_pool.h"
#include "platform/file_system.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <functional>
#include <linux/magic.h>
#include <mutex>
#include <string>
#include <sys/resource.h>
#include <sys/vfs.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace quaverly;
using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Tag helpers: -1 reads tags in this process, 0 starts one per core.
constexpr int kInProcess = -1;

std::unique_ptr<mpeg::TagWorkerPool> Pool(int workers) {
    if (workers == kInProcess) {
        return nullptr;
    }
    mpeg::TagWorkerPool::Options options;
    options.workers = static_cast<std::size_t>(workers);
    return std::make_unique<mpeg::TagWorkerPool>(options);
}

listing::RunResult ListOnce(const std::string& folder, const std::string& output,
                            int workers = kInProcess,
                            platform::FileSystem& fileSystem = platform::SystemFileSystem()) {
    listing::ListingSession session(fileSystem, Pool(workers));
    listing::ListingServices services{fileSystem};
    services.listingFileName = output;
    return listing::MakeListing(session, folder, services);
}

// Which bytes a floor reads of every file, besides its status: the first 16 KiB and the last 128
// bytes, and for a whole-tag floor the rest of the ID3v2 tag as its header states and 4 KiB
// behind it, as a reader of the tag itself must.
enum class FloorReads { Head, WholeTag };

void ReadEnds(platform::FileSystem& fileSystem, const std::string& path,
              std::vector<unsigned char>& buffer, FloorReads reads) {
    const platform::StatusResult status = fileSystem.Status(path);
    auto file = fileSystem.OpenForReading(path);
    constexpr std::size_t kHead = 16 * 1024;
    buffer.resize(std::max(buffer.size(), kHead));
    const std::size_t head = file->ReadAt(0, buffer.data(), kHead);
    const std::uint64_t size = status.status.size;
    if (reads == FloorReads::WholeTag) {
        const std::uint64_t end =
            std::min<std::uint64_t>(mpeg::StatedTagEnd(buffer.data(), head) + 4096, size);
        if (end > kHead) {
            buffer.resize(std::max<std::size_t>(buffer.size(), end - kHead));
            file->ReadAt(kHead, buffer.data(), end - kHead);
        }
    }
    file->ReadAt(size > 128 ? size - 128 : 0, buffer.data(), 128);
}

// Paths the walk has found and no reader has taken yet.
class PathQueue {
public:
    void Push(std::string path) {
        {
            const std::lock_guard lock(m_mutex);
            m_paths.push_back(std::move(path));
        }
        m_ready.notify_one();
    }

    // No more paths come.
    void Close() {
        {
            const std::lock_guard lock(m_mutex);
            m_closed = true;
        }
        m_ready.notify_all();
    }

    // Waits for a path; false once the queue is closed and empty.
    bool Pop(std::string& path) {
        std::unique_lock lock(m_mutex);
        m_ready.wait(lock, [this] { return m_closed || !m_paths.empty(); });
        if (m_paths.empty()) {
            return false;
        }
        path = std::move(m_paths.front());
        m_paths.pop_front();
        return true;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<std::string> m_paths;
    bool m_closed = false;
};

// Walks the tree on this thread and reads the ends of every file: on this thread too when
// `readers` is 1, otherwise on that many threads of their own, which read while the walk goes on.
std::size_t IoFloor(const std::string& folder, unsigned readers, FloorReads reads,
                    platform::FileSystem& fileSystem = platform::SystemFileSystem()) {
    PathQueue queue;
    std::vector<std::thread> threads;
    for (unsigned i = 0; readers > 1 && i < readers; ++i) {
        threads.emplace_back([&] {
            std::vector<unsigned char> buffer(16 * 1024);
            std::string path;
            while (queue.Pop(path)) {
                ReadEnds(fileSystem, path, buffer, reads);
            }
        });
    }
    std::vector<unsigned char> buffer(16 * 1024);
    std::size_t files = 0;
    std::vector<std::string> pending{folder};
    while (!pending.empty()) {
        const std::string current = pending.back();
        pending.pop_back();
        platform::DirectoryEntry entry;
        platform::ErrorCode error = 0;
        auto search = fileSystem.FindFirst(current + "/*.*", entry, error);
        if (!search) {
            continue;
        }
        do {
            if (entry.name == "." || entry.name == "..") {
                continue;
            }
            std::string path = current + "/" + entry.name;
            if (entry.isDirectory) {
                pending.push_back(std::move(path));
                continue;
            }
            ++files;
            if (threads.empty()) {
                ReadEnds(fileSystem, path, buffer, reads);
            } else {
                queue.Push(std::move(path));
            }
        } while (search->Next(entry, error));
    }
    queue.Close();
    for (std::thread& thread : threads) {
        thread.join();
    }
    return files;
}

// What a question to a helper costs beyond the question itself: the same untagged file asked
// of the library in this process and of one helper, one at a time and read ahead.
void IpcOverhead(const std::string& scratch) {
    const std::string path = scratch + "/untagged.mp3";
    // No tag, and no run of zeros that the library would count as one.
    bench::WriteBytes(path, std::string(4096, '\x55'));
    platform::FileSystem& fileSystem = platform::SystemFileSystem();
    mpeg::PrereadFile file(fileSystem.OpenForReading(path));
    mpeg::FileView view;
    view.Attach(file, 4096);
    constexpr int kAsks = 5000;

    auto start = Clock::now();
    for (int i = 0; i < kAsks; ++i) {
        mpeg::Id3v2PrependedBytes(view);
    }
    const double inProcess = SecondsSince(start) * 1e6 / kAsks;

    mpeg::TagWorkerPool::Options options;
    options.workers = 1;
    mpeg::TagWorkerPool pool(options);
    pool.PrependedBytes(path, file, view, {}); // starts the helper
    start = Clock::now();
    for (int i = 0; i < kAsks; ++i) {
        pool.PrependedBytes(path, file, view, {});
    }
    const double oneByOne = SecondsSince(start) * 1e6 / kAsks;

    // Names of their own, since the helpers answer by name; the bytes go with the question.
    std::vector<std::string> paths;
    for (int i = 0; i < kAsks; ++i) {
        paths.push_back(scratch + "/untagged-" + std::to_string(i) + ".mp3");
    }
    start = Clock::now();
    for (const std::string& asked : paths) {
        pool.Prefetch(asked, file, {});
    }
    for (const std::string& asked : paths) {
        pool.PrependedBytes(asked, file, view, {});
    }
    const double ahead = SecondsSince(start) * 1e6 / kAsks;
    view.Detach();
    std::printf("helper overhead per file: %.1f us asked one at a time, %.1f us read ahead "
                "(library alone in process: %.1f us)\n",
                oneByOne - inProcess, ahead - inProcess, inProcess);
}

long PeakKilobytes() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Peak memory of a listing of `files` small files, measured in a child process of its own so
// that nothing else this benchmark did counts.
void MemoryRun(const std::string& scratch, std::size_t files) {
    const std::string root = scratch + "/memory";
    bench::LibraryShape shape;
    shape.filesPerFolder = 50;
    shape.folders = (files + shape.filesPerFolder - 1) / shape.filesPerFolder;
    shape.audioBytes = 2 * 1024;
    shape.pictureEvery = 0;
    const std::size_t made = bench::MakeLibrary(root, shape);
    std::fflush(stdout);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const long before = PeakKilobytes();
        const listing::RunResult result = ListOnce(root, scratch + "/memory.html");
        std::printf("memory: %zu files in %zu folders: peak RSS %.1f MB (%.1f MB before the run)\n",
                    result.fileCount, result.folderCount,
                    static_cast<double>(PeakKilobytes()) / 1024.0,
                    static_cast<double>(before) / 1024.0);
        std::fflush(stdout);
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    (void)made;
    bench::RemoveTree(root);
}

// Empties the page cache, folders and inodes included, so that the next pass reads the disk.
// Exits when the system refuses.
void DropCaches() {
    ::sync();
    std::FILE* control = std::fopen("/proc/sys/vm/drop_caches", "w");
    const bool dropped =
        control != nullptr && std::fputs("3", control) >= 0 && std::fclose(control) == 0;
    if (!dropped) {
        std::fprintf(stderr,
                     "listing_bench: cold figures need root, to write /proc/sys/vm/drop_caches: "
                     "%s\n",
                     std::strerror(errno));
        std::exit(1);
    }
}

struct Best {
    std::size_t files = 0;
    double seconds = 1e9;
};

// The best of three passes, each of which returns the files it met; the page cache is emptied
// before each when `cold`.
Best BestOfThree(bool cold, const std::function<std::size_t()>& pass) {
    Best best;
    for (int i = 0; i < 3; ++i) {
        if (cold) {
            DropCaches();
        }
        const auto start = Clock::now();
        best.files = pass();
        best.seconds = std::min(best.seconds, SecondsSince(start));
    }
    return best;
}

// Enough threads to keep a disk's or a server's queue full.
constexpr unsigned kFloorReaders = 32;

struct Floor {
    unsigned readers;
    FloorReads reads;
    const char* label;
};
constexpr Floor kFloors[] = {
    {1, FloorReads::WholeTag, "whole-tag floor, walk and 1 reading thread"},
    {kFloorReaders, FloorReads::WholeTag, "whole-tag floor, walk and 32 reading threads"},
    {kFloorReaders, FloorReads::Head, "16 KiB floor, walk and 32 reading threads"},
};

// The floors, then the listing with helpers and in process, all through `fileSystem`.
void AgainstFloors(const char* mode, bool cold, platform::FileSystem& fileSystem,
                   const std::string& library, const std::string& scratch) {
    double wholeTag = 0;
    double head = 0;
    for (const Floor& floor : kFloors) {
        const Best best = BestOfThree(
            cold, [&] { return IoFloor(library, floor.readers, floor.reads, fileSystem); });
        std::printf("%s: %s: %zu files in %.3f s: %.0f files/s\n", mode, floor.label, best.files,
                    best.seconds, static_cast<double>(best.files) / best.seconds);
        std::fflush(stdout);
        (floor.reads == FloorReads::WholeTag ? wholeTag : head) = best.seconds;
    }
    const unsigned cores = std::max(1U, std::thread::hardware_concurrency());
    for (const int workers : {0, kInProcess}) {
        bool complete = true;
        const Best best = BestOfThree(cold, [&] {
            const listing::RunResult result =
                ListOnce(library, scratch + "/listing.html", workers, fileSystem);
            complete = complete && result.outcome == listing::RunOutcome::Complete;
            return result.fileCount;
        });
        const std::string label = workers == kInProcess
                                      ? std::string("tags in process")
                                      : "default (" + std::to_string(cores) + ") helpers";
        std::printf("%s: listing, %s: %zu files in %.3f s: %.0f files/s (%.2fx the 32-thread "
                    "whole-tag floor, %.2fx the 16 KiB one)%s\n",
                    mode, label.c_str(), best.files, best.seconds,
                    static_cast<double>(best.files) / best.seconds, best.seconds / wholeTag,
                    best.seconds / head, complete ? "" : ", NOT complete");
        std::fflush(stdout);
    }
}

void HotRuns(const std::string& library, const std::string& scratch, std::size_t memoryFiles) {
    // First, while this process is small: its child starts with what it holds.
    if (memoryFiles > 0) {
        MemoryRun(scratch, memoryFiles);
    }
    // The first pass warms the cache; the best of the next five counts.
    ListOnce(library, scratch + "/warm.html");
    double oneWorker = 0;
    const unsigned cores = std::max(1U, std::thread::hardware_concurrency());
    for (const int workers : {kInProcess, 1, 2, 0}) {
        double best = 1e9;
        listing::RunResult result;
        for (int pass = 0; pass < 5; ++pass) {
            const auto start = Clock::now();
            result = ListOnce(library, scratch + "/listing.html", workers);
            best = std::min(best, SecondsSince(start));
        }
        const std::string label =
            workers == kInProcess ? std::string("tags in process")
            : workers == 0        ? "default (" + std::to_string(cores) + ") helpers"
                                  : std::to_string(workers) + " helper" + (workers == 1 ? "" : "s");
        if (workers == 1) {
            oneWorker = best;
        }
        std::printf(
            "listing, %-20s %zu files in %.3f s: %6.0f files/s (%5.1f us per file)%s%s\n",
            (label + ":").c_str(), result.fileCount, best,
            static_cast<double>(result.fileCount) / best,
            best * 1e6 / static_cast<double>(result.fileCount),
            result.outcome == listing::RunOutcome::Complete ? "" : ", NOT complete",
            workers > 1 || (workers == 0 && oneWorker > 0)
                ? (", " + std::to_string(oneWorker / best).substr(0, 4) + "x one helper").c_str()
                : "");
    }

    for (const Floor& floor : kFloors) {
        const Best best =
            BestOfThree(false, [&] { return IoFloor(library, floor.readers, floor.reads); });
        std::printf("%s: %zu files in %.3f s: %.0f files/s (%.1f us per file)\n", floor.label,
                    best.files, best.seconds, static_cast<double>(best.files) / best.seconds,
                    best.seconds * 1e6 / static_cast<double>(best.files));
    }

    IpcOverhead(scratch);
    bench::RemoveTree(library);
}

} // namespace

int main(int argc, char** argv) {
    std::string mode = "hot";
    std::size_t files = 0; // the mode's own
    long latencyMs = 1;
    std::size_t memoryFiles = 50000;
    bench::LibraryShape shape;
    bench::CollectionShape collection;
    bool realCollection = false;
    std::string makeOnly;  // --make-library
    std::string floorOnly; // --floor
    FloorReads floorReads = FloorReads::WholeTag;
    bool understood = argc % 2 == 1;
    for (int i = 1; understood && i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        const std::string text = argv[i + 1];
        const std::size_t value = std::strtoul(argv[i + 1], nullptr, 10);
        if (option == "--mode") {
            mode = text;
            understood = mode == "hot" || mode == "cold" || mode == "latency";
        } else if (option == "--files") {
            files = value;
        } else if (option == "--latency-ms") {
            latencyMs = static_cast<long>(value);
        } else if (option == "--memory-files") {
            memoryFiles = value;
        } else if (option == "--picture-every") {
            shape.pictureEvery = value;
        } else if (option == "--folders") {
            shape.folders = value;
        } else if (option == "--picture-bytes") {
            shape.pictureBytes = value;
        } else if (option == "--library") {
            realCollection = text == "collection";
            understood = realCollection || text == "today";
        } else if (option == "--make-library") {
            makeOnly = text;
        } else if (option == "--floor") {
            floorOnly = text;
        } else if (option == "--floor-reads") {
            floorReads = text == "head" ? FloorReads::Head : FloorReads::WholeTag;
            understood = text == "head" || text == "whole-tag";
        } else {
            understood = false;
        }
    }
    if (!understood) {
        std::fprintf(stderr,
                     "usage: listing_bench [--mode hot|cold|latency] [--library today|collection] "
                     "[--files N] [--latency-ms N] [--folders N] [--picture-every N] "
                     "[--picture-bytes N] [--memory-files N]\n"
                     "       listing_bench --make-library FOLDER [--library ...] [--files N] ...\n"
                     "       listing_bench --floor FOLDER [--floor-reads whole-tag|head]\n");
        return 2;
    }
    if (!floorOnly.empty()) {
        // One pass of the 32-thread floor, for bench/compare, which repeats and alternates.
        const auto start = Clock::now();
        const std::size_t floorFiles = IoFloor(floorOnly, kFloorReaders, floorReads);
        std::printf("%zu files in %.3f s\n", floorFiles, SecondsSince(start));
        return 0;
    }
    if (mode != "hot") {
        // About the size of a track, so that the reads rather than the walk dominate.
        shape.audioBytes = 110 * 1024;
        if (files == 0 && mode == "latency") {
            files = 1000;
        }
    }
    if (files > 0) {
        shape.folders = (files + shape.filesPerFolder - 1) / shape.filesPerFolder;
        collection.files = files;
    }
    const auto make = [&](const std::string& root) {
        const auto makeStart = Clock::now();
        if (realCollection) {
            const std::size_t made = bench::MakeCollection(root, collection);
            std::printf("library: a collection of %zu tracks, albums of %zu, %zu in 5 with a "
                        "cover of %zu-%zu KiB in every track, made in %.1f s\n",
                        made, collection.tracksPerAlbum, collection.coversInFive,
                        collection.smallestCover / 1024, collection.largestCover / 1024,
                        SecondsSince(makeStart));
        } else {
            const std::size_t made = bench::MakeLibrary(root, shape);
            std::printf("library: %zu files in %zu folders, a %zu-byte picture in every %zu%s "
                        "MP3 file's tag, made in %.1f s\n",
                        made, shape.folders, shape.pictureBytes, shape.pictureEvery,
                        shape.pictureEvery == 1 ? "st" : "th", SecondsSince(makeStart));
        }
        std::fflush(stdout);
    };
    if (!makeOnly.empty()) {
        make(makeOnly);
        return 0;
    }
    if (mode == "cold") {
        DropCaches(); // before anything is made, should the system refuse
    }

    const char* temporary = std::getenv("TMPDIR");
    std::string pattern =
        std::string(temporary != nullptr ? temporary : "/tmp") + "/quaverly-bench-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string scratch = pattern;
    const std::string library = scratch + "/library";
    struct statfs where {};
    if (mode == "cold" && ::statfs(scratch.c_str(), &where) == 0 && where.f_type == TMPFS_MAGIC) {
        // Its pages are the files themselves: no dropping the cache makes them cold.
        std::fprintf(stderr,
                     "listing_bench: %s is in memory (tmpfs); set TMPDIR to a folder "
                     "on a disk for cold figures\n",
                     scratch.c_str());
        bench::RemoveTree(scratch);
        return 1;
    }

    make(library);

    if (mode == "hot") {
        HotRuns(library, scratch, memoryFiles);
    } else if (mode == "cold") {
        AgainstFloors("cold", true, platform::SystemFileSystem(), library, scratch);
    } else {
        bench::LatencyFileSystem latencyFs(platform::SystemFileSystem(),
                                           std::chrono::milliseconds(latencyMs));
        ListOnce(library, scratch + "/warm.html"); // the helpers' own reads, too, come warm
        std::printf("latency: %ld ms before every question about the library\n", latencyMs);
        AgainstFloors("latency", false, latencyFs, library, scratch);
    }
    bench::RemoveTree(scratch);
    return 0;
}
