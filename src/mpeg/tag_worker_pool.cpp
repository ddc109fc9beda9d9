#include "mpeg/tag_worker_pool.h"

#include "mpeg/id3_tag_size.h"
#include "mpeg/id3v2_header.h"
#include "platform/file_error.h"
#include "platform/file_system.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <thread>

namespace quaverly::mpeg {

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kLibraryFailed = "the ID3 tag library failed on this file";
constexpr const char* kNoHelper =
    "no ID3 tag helper was running to read this file's tag; its size is what the tag's header "
    "states";
constexpr const char* kImpossibleAnswer =
    "the ID3 tag helper gave an answer that cannot be right for this file";
constexpr const char* kTooMuchRead = "the ID3 tag library read more than 16 MiB of this file";
constexpr const char* kTooLong = "the ID3 tag library took too long over this file";

using Ranges = std::vector<TagFileRange>;

// Sorted, with ranges that touch or overlap made one.
Ranges Merged(Ranges ranges) {
    std::sort(ranges.begin(), ranges.end(),
              [](const auto& a, const auto& b) { return a.offset < b.offset; });
    Ranges merged;
    for (const TagFileRange& range : ranges) {
        if (range.length <= 0) {
            continue;
        }
        if (!merged.empty() && range.offset <= merged.back().offset + merged.back().length) {
            TagFileRange& last = merged.back();
            last.length =
                std::max(last.offset + last.length, range.offset + range.length) - last.offset;
        } else {
            merged.push_back(range);
        }
    }
    return merged;
}

std::int64_t Sent(const Ranges& ranges) {
    std::int64_t bytes = 0;
    for (const TagFileRange& range : ranges) {
        bytes += range.length;
    }
    return bytes;
}

// Bytes that `file` holds in memory, which may lie in more than one of its extents.
void CopyHeld(const PrereadFile& file, std::int64_t at, std::size_t count, unsigned char* out) {
    while (count > 0) {
        const platform::InputFile::Buffered held = file.BufferedAt(static_cast<std::uint64_t>(at));
        const std::size_t step = std::min(count, held.count);
        if (step == 0) {
            std::memset(out, 0, count); // not reached: only held ranges are sent
            return;
        }
        std::memcpy(out, held.data, step);
        out += step;
        at += static_cast<std::int64_t>(step);
        count -= step;
    }
}

// What a helper is sent of a file first, as far as the file holds it in memory.
Ranges FirstRanges(const PrereadFile& file) {
    const auto size = static_cast<std::int64_t>(file.Size());
    const platform::InputFile::Buffered start = file.BufferedAt(0);
    const auto tagEnd = static_cast<std::int64_t>(StatedTagEnd(start.data, start.count));
    const std::int64_t tail = std::max<std::int64_t>(size - TagWorkerPool::kSentTail, 0);
    Ranges wanted =
        Merged({{0, std::min(size, tagEnd + TagWorkerPool::kSentBehindTag)}, {tail, size - tail}});
    Ranges held;
    for (const TagFileRange& range : wanted) {
        for (std::int64_t at = range.offset; at < range.offset + range.length;) {
            const platform::InputFile::Buffered bytes =
                file.BufferedAt(static_cast<std::uint64_t>(at));
            if (bytes.count == 0) {
                break; // the helper asks for the rest if it needs it
            }
            const std::int64_t length =
                std::min(static_cast<std::int64_t>(bytes.count), range.offset + range.length - at);
            held.push_back({at, length});
            at += length;
        }
    }
    return Merged(std::move(held));
}

} // namespace

std::int64_t StatedTagSize(FileView& view) {
    std::array<unsigned char, Id3v2Header::kBytes> header{};
    view.Copy(0, header.data(), header.size());
    return static_cast<std::int64_t>(StatedTagEnd(header.data(), header.size(), false));
}

std::string TagWorkerPool::DefaultProgram() {
    const std::string folder = platform::ExecutableFolder();
    const std::string program = std::string(kTagWorkerProgram) + platform::kProgramSuffix;
    const std::string beside = folder + platform::kPathSeparator + program;
    if (platform::IsProgramFile(beside)) {
        return beside;
    }
    // Installed on Linux: bin/quaverly and libexec/quaverly/quaverly-tag-worker.
    return folder + "/../libexec/quaverly/" + program;
}

TagWorkerPool::Options TagWorkerPool::Completed(Options options) {
    if (options.program.empty()) {
        options.program = DefaultProgram();
    }
    if (options.workers == 0) {
        options.workers = std::max(1U, std::thread::hardware_concurrency());
    }
    options.inFlightPerWorker = std::max<std::size_t>(1, options.inFlightPerWorker);
    return options;
}

TagWorkerPool::TagWorkerPool() : TagWorkerPool(Options{}) {}

TagWorkerPool::TagWorkerPool(Options options)
    : m_options(Completed(std::move(options))),
      m_helpers(m_options.program, m_options.workers, m_options.timeLimit, m_options.startLimit) {}

TagWorkerPool::~TagWorkerPool() = default;

std::vector<platform::ProcessId> TagWorkerPool::WorkerPids() const {
    return m_helpers.Pids();
}

TagWorkerPool::Question TagWorkerPool::FirstQuestion(const std::string& path,
                                                     const PrereadFile& file) {
    return {path, EncodeTagRequest(path, static_cast<std::int64_t>(file.Size()), FirstRanges(file),
                                   [&](std::int64_t at, std::size_t count, unsigned char* out) {
                                       CopyHeld(file, at, count, out);
                                   })
                      .message};
}

void TagWorkerPool::Prefetch(const std::string& path, const PrereadFile& file,
                             const CancelCheck& cancelled) {
    m_helpers.Start();
    if (m_helpers.Empty()) {
        return;
    }
    m_queue.push_back(FirstQuestion(path, file));
    Dispatch(cancelled);
}

void TagWorkerPool::Forget() {
    m_queue.clear();
    m_results.clear();
    m_rounds.clear();
    m_lostOnce.clear();
    m_helpers.RestartBusy();
}

bool TagWorkerPool::Waiting(const std::string& path) const {
    return std::any_of(m_queue.begin(), m_queue.end(),
                       [&](const Question& question) { return question.path == path; }) ||
           m_helpers.Holds(path);
}

std::optional<std::string> TagWorkerPool::AskAgain(const std::string& path, const PrereadFile& file,
                                                   const TagAnswer& answer, FileView& view) {
    const auto [found, first] = m_rounds.try_emplace(path);
    Rounds& rounds = found->second;
    if (first) {
        rounds.sent = FirstRanges(file);
        rounds.since = Clock::now();
    } else if (Clock::now() - rounds.since > m_options.timeLimit) {
        // Each round has the time limit; all rounds together have it once more.
        return kTooLong;
    }
    // Runs of zeros travel as their length: only the bytes carried count, and a file of
    // zeros is bounded by the time alone.
    if (rounds.carried >= kMaxSentPerFile) {
        return kTooMuchRead;
    }
    const std::int64_t size = view.Size();
    // At least as much again as was sent, so that a library that reads through a whole file
    // costs a few rounds, not one per read; no round adds more than the bound.
    const std::int64_t length = std::min({std::max(answer.missingLength, Sent(rounds.sent)),
                                          size - answer.missingOffset, kMaxSentPerFile});
    rounds.sent.push_back({answer.missingOffset, std::max<std::int64_t>(length, 0)});
    rounds.sent = Merged(std::move(rounds.sent));
    rounds.carried = 0;
    EncodedTagRequest request = EncodeTagRequest(
        path, size, rounds.sent,
        [&](std::int64_t at, std::size_t count, unsigned char* out) { view.Copy(at, out, count); });
    rounds.carried = request.carried;
    m_queue.push_front({path, std::move(request.message)});
    return std::nullopt;
}

TagSize TagWorkerPool::StatedOnly(FileView& view, std::string reason) {
    return {StatedTagSize(view), std::move(reason)};
}

std::optional<TagSize> TagWorkerPool::Settle(const std::string& path, const Result& result,
                                             const PrereadFile& file, FileView& view) {
    const TagAnswer& answer = result.answer;
    if (result.outcome == Outcome::Failed) {
        return StatedOnly(view, kLibraryFailed);
    }
    if (answer.status == TagAnswerStatus::Measured && answer.bytes >= 0 &&
        answer.bytes <= view.Size()) {
        return TagSize{answer.bytes, std::nullopt};
    }
    if (answer.status == TagAnswerStatus::NeedsBytes && answer.missingOffset >= 0 &&
        answer.missingOffset < view.Size() && answer.missingLength > 0) {
        if (std::optional<std::string> failure = AskAgain(path, file, answer, view)) {
            return StatedOnly(view, std::move(*failure));
        }
        return std::nullopt;
    }
    // The library's answer never lies beyond the file, nor asks for bytes outside it.
    return StatedOnly(view, kImpossibleAnswer);
}

TagSize TagWorkerPool::PrependedBytes(const std::string& path, PrereadFile& file, FileView& view,
                                      const CancelCheck& cancelled) {
    m_helpers.Start();
    // The file's rounds end with its size, however it is settled.
    const auto settled = [&](TagSize size) {
        m_rounds.erase(path);
        return size;
    };
    // Whether this call put a question about the file in line: one that is then neither
    // answered nor waiting was lost with its helpers.
    bool asked = false;
    for (;;) {
        if (cancelled && cancelled()) {
            throw platform::FileError(platform::FileErrorCause::Cancelled, 0, "read", path);
        }
        if (const auto found = m_results.find(path); found != m_results.end()) {
            const Result result = found->second;
            m_results.erase(found);
            if (std::optional<TagSize> size = Settle(path, result, file, view)) {
                return settled(std::move(*size));
            }
            asked = true; // again, with more of the file
            continue;
        }
        if (m_helpers.Empty()) {
            // Without a tag at its start, the library has nothing to measure either.
            const std::int64_t stated = StatedTagSize(view);
            return settled(stated == 0 ? TagSize{} : TagSize{stated, std::string(kNoHelper)});
        }
        if (!Waiting(path)) {
            if (asked) {
                // Asked for and lost: never risk the library in this process for it.
                return settled(StatedOnly(view, kLibraryFailed));
            }
            m_queue.push_front(FirstQuestion(path, file));
            asked = true;
        }
        Dispatch(cancelled);
        if (!m_results.contains(path) && !m_helpers.Empty()) {
            WaitForAnswers(cancelled);
        }
    }
}

void TagWorkerPool::Dispatch(const CancelCheck& cancelled) {
    // One question at a time to the helper with the fewest, so that all of them share a folder.
    while (!m_queue.empty()) {
        std::optional<std::size_t> least;
        for (std::size_t helper = 0; helper < m_helpers.Count(); ++helper) {
            const std::size_t holding = m_helpers.Holding(helper);
            if (holding < m_options.inFlightPerWorker &&
                (!least || holding < m_helpers.Holding(*least))) {
                least = helper;
            }
        }
        if (!least) {
            break;
        }
        Question question = std::move(m_queue.front());
        m_queue.pop_front();
        TagHelpers::Heard heard = m_helpers.Send(*least, std::move(question), cancelled);
        const bool cut = heard.stopped && heard.stopped->cancelled;
        Take(std::move(heard));
        if (cut) {
            break;
        }
    }
}

void TagWorkerPool::WaitForAnswers(const CancelCheck& cancelled) {
    for (TagHelpers::Heard& heard : m_helpers.Wait(cancelled)) {
        Take(std::move(heard));
    }
}

void TagWorkerPool::Take(TagHelpers::Heard heard) {
    for (TagHelpers::Answer& answer : heard.answers) {
        m_results[std::move(answer.path)] = Result{Outcome::Answered, answer.answer};
    }
    if (heard.stopped) {
        Requeue(std::move(*heard.stopped));
    }
}

void TagWorkerPool::Requeue(TagHelpers::Stopped stopped) {
    std::deque<Question>& held = stopped.held;
    if (stopped.wasUp && !stopped.cancelled && !held.empty()) {
        const std::string first = held.front().path;
        // A helper can also end for reasons of its own; the file gets a second helper before
        // it is blamed.
        if (stopped.timedOut || m_lostOnce[first]++ > 0) {
            m_lostOnce.erase(first);
            m_results[first] = Result{Outcome::Failed, {}};
            held.pop_front();
        }
    }
    m_queue.insert(m_queue.begin(), std::make_move_iterator(held.begin()),
                   std::make_move_iterator(held.end()));
}

} // namespace quaverly::mpeg
