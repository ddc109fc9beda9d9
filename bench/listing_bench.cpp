// Measures whole listing runs over a made-up library, beside the I/O floor: what walking the
// same tree and reading the bytes the analyser needs costs with no analysis at all.
//
//   listing_bench [--files-only N]   N: files in the memory run (default 50000)

#include "library.h"

#include "listing/listing_run.h"
#include "mpeg/file_view.h"
#include "mpeg/id3_tag_size.h"
#include "mpeg/tag_worker_pool.h"
#include "platform/file_system.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/resource.h>
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
                            int workers = kInProcess) {
    platform::FileSystem& fileSystem = platform::SystemFileSystem();
    platform::GivenFolder chooser(folder);
    platform::SilentMessageBox messages;
    listing::ListingSession session(fileSystem, Pool(workers));
    listing::ListingServices services{fileSystem, chooser, messages};
    services.listingFileName = output;
    return listing::MakeListing(session, services);
}

// Walk, open, read the first 16 KB and the last 128 bytes of every file.
std::size_t IoFloor(const std::string& folder) {
    platform::FileSystem& fileSystem = platform::SystemFileSystem();
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
            const std::string path = current + "/" + entry.name;
            if (entry.isDirectory) {
                pending.push_back(path);
                continue;
            }
            ++files;
            const platform::StatusResult status = fileSystem.Status(path);
            auto file = fileSystem.OpenForReading(path);
            file->ReadAt(0, buffer.data(), buffer.size());
            const std::uint64_t size = status.status.size;
            file->ReadAt(size > 128 ? size - 128 : 0, buffer.data(), 128);
        } while (search->Next(entry, error));
    }
    return files;
}

// What a question to a helper costs beyond the question itself: the same untagged file asked
// of the library in this process and of one helper, one at a time and read ahead.
void IpcOverhead(const std::string& scratch) {
    const std::string path = scratch + "/untagged.mp3";
    bench::WriteBytes(path, std::string(4096, '\0'));
    platform::FileSystem& fileSystem = platform::SystemFileSystem();
    auto file = fileSystem.OpenForReading(path);
    mpeg::FileView view;
    view.Attach(*file, 4096);
    constexpr int kAsks = 5000;

    auto start = Clock::now();
    for (int i = 0; i < kAsks; ++i) {
        mpeg::Id3v2PrependedBytes(view);
    }
    const double inProcess = SecondsSince(start) * 1e6 / kAsks;

    mpeg::TagWorkerPool::Options options;
    options.workers = 1;
    mpeg::TagWorkerPool pool(options);
    pool.PrependedBytes(path, view); // starts the helper
    start = Clock::now();
    for (int i = 0; i < kAsks; ++i) {
        pool.PrependedBytes(path, view);
    }
    const double oneByOne = SecondsSince(start) * 1e6 / kAsks;

    // Names of their own, since the helpers answer by name.
    std::vector<std::string> paths;
    for (int i = 0; i < kAsks; ++i) {
        paths.push_back(scratch + "/untagged-" + std::to_string(i) + ".mp3");
        ::link(path.c_str(), paths.back().c_str());
    }
    start = Clock::now();
    pool.Prefetch(paths);
    for (const std::string& asked : paths) {
        pool.PrependedBytes(asked, view);
    }
    const double ahead = SecondsSince(start) * 1e6 / kAsks;
    view.Detach();
    for (const std::string& link : paths) {
        ::unlink(link.c_str());
    }
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

} // namespace

int main(int argc, char** argv) {
    std::size_t memoryFiles = 50000;
    bench::LibraryShape shape;
    for (int i = 1; i + 1 < argc; ++i) {
        const std::string option = argv[i];
        const std::size_t value = std::strtoul(argv[i + 1], nullptr, 10);
        if (option == "--memory-files") {
            memoryFiles = value;
        } else if (option == "--picture-every") {
            shape.pictureEvery = value;
        } else if (option == "--folders") {
            shape.folders = value;
        } else if (option == "--picture-bytes") {
            shape.pictureBytes = value;
        }
    }
    char pattern[] = "/tmp/quaverly-bench-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string scratch = pattern;
    const std::string library = scratch + "/library";

    const auto makeStart = Clock::now();
    const std::size_t files = bench::MakeLibrary(library, shape);
    std::printf("library: %zu files in %zu folders, a %zu-byte picture in every %zu%s MP3 "
                "file's tag, made in %.1f s\n",
                files, shape.folders, shape.pictureBytes, shape.pictureEvery,
                shape.pictureEvery == 1 ? "st" : "th", SecondsSince(makeStart));

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

    double floorBest = 1e9;
    std::size_t floorFiles = 0;
    for (int pass = 0; pass < 3; ++pass) {
        const auto start = Clock::now();
        floorFiles = IoFloor(library);
        floorBest = std::min(floorBest, SecondsSince(start));
    }
    std::printf("I/O floor (walk, open, read 16 KB + last 128 B): %zu files in %.3f s: %.0f "
                "files/s (%.1f us per file)\n",
                floorFiles, floorBest, static_cast<double>(floorFiles) / floorBest,
                floorBest * 1e6 / static_cast<double>(floorFiles));

    IpcOverhead(scratch);
    bench::RemoveTree(library);
    if (memoryFiles > 0) {
        MemoryRun(scratch, memoryFiles);
    }
    bench::RemoveTree(scratch);
    return 0;
}
