#pragma once

#include "mpeg/tag_helpers.h"
#include "mpeg/tag_size_source.h"
#include "mpeg/tag_worker_protocol.h"
#include "platform/worker_process.h"

#include <chrono>
#include <cstddef>
#include <deque>
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
//
// This is the policy: which file goes to which helper, which file is to blame when a helper is
// lost, when a file is asked again and what it may cost. The processes themselves, their time
// limits and their pipes are TagHelpers'.
//
// Threads: one thread makes every call, the walk's: Prefetch (the reading ahead hands its files
// in from the walk's calls), PrependedBytes, Forget once a run has ended, and the accessors.
// Nothing is shared with another thread; every wait has the time limit as its deadline and
// asks `cancelled` at least every 100 ms.
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
    const std::optional<std::string>& StartFailure() const noexcept {
        return m_helpers.StartFailure();
    }
    const std::string& Program() const noexcept { return m_options.program; }
    // The helpers running now.
    std::vector<platform::ProcessId> WorkerPids() const;

    static std::string DefaultProgram();

private:
    using Question = TagHelpers::Question;
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

    static Options Completed(Options options);
    // Sends the questions in line, each to the helper that holds the fewest, while one has room.
    void Dispatch(const CancelCheck& cancelled);
    void WaitForAnswers(const CancelCheck& cancelled);
    // Keeps what a helper answered, and settles what it held when it was stopped.
    void Take(TagHelpers::Heard heard);
    // The questions a stopped helper held: the one it was on fails if the helper timed out, or
    // had ended a helper before; the others go back in line first.
    void Requeue(TagHelpers::Stopped stopped);
    // Whether a question about `path` is in line or with a helper.
    bool Waiting(const std::string& path) const;
    // The size of a file's tag without the library, and why.
    static TagSize StatedOnly(FileView& view, std::string reason);
    // What a helper's result makes of a file's tag size; nothing when it was asked again.
    std::optional<TagSize> Settle(const std::string& path, const Result& result,
                                  const PrereadFile& file, FileView& view);
    // The first question about `file`: the bytes it holds of those the library reads.
    static Question FirstQuestion(const std::string& path, const PrereadFile& file);
    // Asks for `path` again, with the bytes sent before and those the helper found missing;
    // or says why not, when the file has cost all it may.
    std::optional<std::string> AskAgain(const std::string& path, const PrereadFile& file,
                                        const TagAnswer& answer, FileView& view);

    Options m_options;
    TagHelpers m_helpers;
    // The questions not yet sent, the next first.
    std::deque<Question> m_queue;
    // The answers not yet asked for, by path.
    std::unordered_map<std::string, Result> m_results;
    // The files whose helper asked for more.
    std::unordered_map<std::string, Rounds> m_rounds;
    // Files whose helper ended while on them once: a second time, the file is to blame.
    std::unordered_map<std::string, int> m_lostOnce;
};

} // namespace quaverly::mpeg
