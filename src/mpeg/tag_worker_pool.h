#pragma once

#include "mpeg/tag_size_source.h"
#include "mpeg/tag_worker_protocol.h"
#include "platform/worker_process.h"

#include <chrono>
#include <cstddef>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace quaverly::mpeg {

// Asks the ID3 tag library for tag sizes in helper processes, several files at a time.
//
// The library can crash on a damaged tag (a compressed ID3v2.3 frame is enough), or take very
// long. In a helper that costs only that file: the helper is killed if need be and replaced,
// and the file's tag size falls back to the size its header states. The helpers also let the
// library's work, most of the cost of a file, run on every core while the program scans frames.
//
// The library never runs in this process: with no helper left, every file gets the size its
// tag header states, with the reason. A helper is trusted with nothing: every write to it and
// every answer has a deadline, an answer that cannot be right for the file fails the file, and
// what one file may cost over all its rounds is bounded in bytes and in time.
class TagWorkerPool final : public TagSizeSource {
public:
    struct Options {
        // The helper program; by default the one installed beside this program.
        std::string program;
        // How many helpers; 0 means one per core.
        std::size_t workers = 0;
        // How long one file may take before its helper is killed.
        std::chrono::milliseconds timeLimit{10'000};
        // How long a helper may take to come up, when that is longer.
        std::chrono::milliseconds startLimit{10'000};
        // Requests each helper holds at once, so that none waits for the next.
        std::size_t inFlightPerWorker = 16;
    };

    TagWorkerPool();
    explicit TagWorkerPool(Options options);
    ~TagWorkerPool() override;
    TagWorkerPool(const TagWorkerPool&) = delete;
    TagWorkerPool& operator=(const TagWorkerPool&) = delete;

    // Called on one thread, the walk's. Every wait asks `cancelled` at least every 100 ms.
    void Prefetch(const std::string& path, const PrereadFile& file,
                  const CancelCheck& cancelled) override;
    TagSize PrependedBytes(const std::string& path, PrereadFile& file, FileView& view,
                           const CancelCheck& cancelled) override;
    // Drops every question not yet answered: the run that asked them has ended.
    void Forget();

    // What the helpers are sent of a file, when the library reads no further: its ID3v2 tag
    // and a little behind it, and its end.
    static constexpr std::int64_t kSentBehindTag = 2 * 1024;
    static constexpr std::int64_t kSentTail = 1024;
    // The most bytes of one file that one request carries: a tag of up to about 14 MiB.
    static constexpr std::int64_t kMaxSentPerFile = 16 * 1024 * 1024;

    // Why no helper is running, once it is known; the pool then gives each file the tag size
    // its header states.
    const std::optional<std::string>& StartFailure() const noexcept { return m_startFailure; }
    const std::string& Program() const noexcept { return m_options.program; }
    // The helpers running now.
    std::vector<platform::ProcessId> WorkerPids() const;

    static std::string DefaultProgram();

private:
    // A question for a helper: the file's path and the request that carries its bytes.
    struct Request {
        std::string path;
        std::string message;
        // Asked in a run that has ended: its answer is dropped.
        bool forgotten = false;
    };
    struct Worker {
        std::unique_ptr<platform::WorkerProcess> process;
        std::deque<Request> inFlight;
        // When the helper started on the first request in flight.
        std::chrono::steady_clock::time_point since{};
        std::string received;
        // Whether the helper said it is up; one that ends before is not started again.
        bool up = false;
    };
    enum class Outcome { Answered, Failed };
    struct Result {
        Outcome outcome = Outcome::Answered;
        TagAnswer answer;
    };
    // A file whose helper asked for more of it: the ranges sent so far, the bytes of them the
    // last request carried (runs of zeros travel as their length), and when it first asked.
    struct Rounds {
        std::vector<TagFileRange> sent;
        std::int64_t carried = 0;
        std::chrono::steady_clock::time_point since{};
    };

    void StartWorkers();
    std::unique_ptr<platform::WorkerProcess> StartOne();
    void Dispatch(const CancelCheck& cancelled);
    void WaitForAnswers(const CancelCheck& cancelled);
    // How long the helper's first request in flight may take.
    std::chrono::steady_clock::duration LimitFor(const Worker& worker) const;
    // Returns whether the helper ended, and so was replaced.
    bool ReadAnswers(Worker& worker);
    // Moves the whole answers received so far to the results.
    void TakeAnswers(Worker& worker);
    // The helper ended, or was killed at the time limit (`timedOut`). Its first request fails
    // if it timed out or had ended a helper before; the others go back in the queue.
    void Replace(Worker& worker, bool timedOut);
    // The helper took no more of a request: it ended, or it stopped reading (`timedOut`). What
    // it wrote before counts, its ready byte above all, which tells a helper that crashed on a
    // file from one that never came up.
    void Lost(Worker& worker, bool timedOut, const CancelCheck& cancelled);
    // A request cut short by a cancel: the helper's input stops in the middle of it, so the
    // helper is started again, and nothing is blamed.
    void Restart(Worker& worker);
    // Puts the requests the helper held, but those of an ended run, back in line first, and
    // drops what it said of them.
    void Requeue(Worker& worker);
    // Drops the helpers that could not be replaced; with none left, says why.
    void DropEndedWorkers();
    // The size of a file's tag without the library, and why.
    static TagSize StatedOnly(FileView& view, std::string reason);
    // What a helper's result makes of a file's tag size; nothing when it was asked again.
    std::optional<TagSize> Settle(const std::string& path, const Result& result,
                                  const PrereadFile& file, FileView& view);
    // The first question about `file`: the bytes it holds of those the library reads.
    static Request FirstRequest(const std::string& path, const PrereadFile& file);
    // Asks for `path` again, with the bytes sent before and those the helper found missing;
    // or says why not, when the file has cost all it may.
    std::optional<std::string> AskAgain(const std::string& path, const PrereadFile& file,
                                        const TagAnswer& answer, FileView& view);
    bool Waiting(const std::string& path) const;

    Options m_options;
    bool m_started = false;
    std::optional<std::string> m_startFailure;
    std::string m_lastStartError;
    std::vector<Worker> m_workers;
    std::deque<Request> m_queue;
    std::unordered_map<std::string, Result> m_results;
    // The files whose helper asked for more.
    std::unordered_map<std::string, Rounds> m_rounds;
    // Files whose helper ended while on them once: a second time, the file is to blame.
    std::unordered_map<std::string, int> m_lostOnce;
};

} // namespace quaverly::mpeg
