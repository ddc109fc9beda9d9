#include "mpeg/tag_worker_pool.h"

#include "mpeg/id3_tag_size.h"
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
// How long a helper that stopped taking requests may take to end, so that its last words are
// read.
constexpr std::chrono::milliseconds kEndLimit{2'000};
// How long a wait goes on before it asks again whether the run was cancelled.
constexpr std::chrono::milliseconds kCancelSlice{100};

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
    std::array<unsigned char, 10> header{};
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

TagWorkerPool::TagWorkerPool() : TagWorkerPool(Options{}) {}

TagWorkerPool::TagWorkerPool(Options options) : m_options(std::move(options)) {
    if (m_options.program.empty()) {
        m_options.program = DefaultProgram();
    }
    if (m_options.workers == 0) {
        m_options.workers = std::max(1U, std::thread::hardware_concurrency());
    }
    m_options.inFlightPerWorker = std::max<std::size_t>(1, m_options.inFlightPerWorker);
}

TagWorkerPool::~TagWorkerPool() = default;

std::vector<platform::ProcessId> TagWorkerPool::WorkerPids() const {
    std::vector<platform::ProcessId> pids;
    for (const Worker& worker : m_workers) {
        pids.push_back(worker.process->Pid());
    }
    return pids;
}

std::unique_ptr<platform::WorkerProcess> TagWorkerPool::StartOne() {
    std::string error;
    auto process = platform::WorkerProcess::Start(
        {m_options.program, std::to_string(platform::CurrentProcessId())}, error);
    if (!process) {
        m_lastStartError = error;
    }
    return process;
}

void TagWorkerPool::StartWorkers() {
    m_started = true;
    for (std::size_t i = 0; i < m_options.workers; ++i) {
        auto process = StartOne();
        if (!process) {
            break;
        }
        m_workers.push_back(Worker{std::move(process), {}, {}, {}, false});
    }
    DropEndedWorkers();
}

void TagWorkerPool::DropEndedWorkers() {
    std::erase_if(m_workers, [](const Worker& worker) { return !worker.process; });
    if (m_workers.empty() && !m_startFailure) {
        m_startFailure = "the ID3 tag helper " + m_options.program + " could not be started (" +
                         m_lastStartError + "); tag sizes are what the tags' headers state";
    }
}

TagWorkerPool::Request TagWorkerPool::FirstRequest(const std::string& path,
                                                   const PrereadFile& file) {
    return {path, EncodeTagRequest(path, static_cast<std::int64_t>(file.Size()), FirstRanges(file),
                                   [&](std::int64_t at, std::size_t count, unsigned char* out) {
                                       CopyHeld(file, at, count, out);
                                   })
                      .message};
}

void TagWorkerPool::Prefetch(const std::string& path, const PrereadFile& file,
                             const CancelCheck& cancelled) {
    if (!m_started) {
        StartWorkers();
    }
    if (m_workers.empty()) {
        return;
    }
    m_queue.push_back(FirstRequest(path, file));
    Dispatch(cancelled);
}

void TagWorkerPool::Forget() {
    m_queue.clear();
    m_results.clear();
    m_rounds.clear();
    m_lostOnce.clear();
    bool restarted = false;
    for (Worker& worker : m_workers) {
        for (Request& request : worker.inFlight) {
            request.forgotten = true;
        }
        // Still at work for a run that was cancelled: it would hold up the next run's first
        // questions for as long, up to the time limit.
        if (!worker.inFlight.empty()) {
            Restart(worker);
            restarted = true;
        }
    }
    if (restarted) {
        DropEndedWorkers();
    }
}

bool TagWorkerPool::Waiting(const std::string& path) const {
    const auto asks = [&](const Request& request) {
        return request.path == path && !request.forgotten;
    };
    return std::any_of(m_queue.begin(), m_queue.end(), asks) ||
           std::any_of(m_workers.begin(), m_workers.end(), [&](const Worker& worker) {
               return std::any_of(worker.inFlight.begin(), worker.inFlight.end(), asks);
           });
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
    if (!m_started) {
        StartWorkers();
    }
    for (bool queued = false;;) {
        if (cancelled && cancelled()) {
            throw platform::FileError(platform::FileErrorCause::Cancelled, 0, "read", path);
        }
        if (const auto found = m_results.find(path); found != m_results.end()) {
            const Result result = found->second;
            m_results.erase(found);
            if (std::optional<TagSize> size = Settle(path, result, file, view)) {
                m_rounds.erase(path);
                return std::move(*size);
            }
            queued = true;
            continue;
        }
        if (m_workers.empty()) {
            m_rounds.erase(path);
            // Without a tag at its start, the library has nothing to measure either.
            const std::int64_t stated = StatedTagSize(view);
            return stated == 0 ? TagSize{} : TagSize{stated, std::string(kNoHelper)};
        }
        if (!Waiting(path)) {
            if (queued) {
                // Asked for and lost: never risk the library in this process for it.
                m_rounds.erase(path);
                return StatedOnly(view, kLibraryFailed);
            }
            m_queue.push_front(FirstRequest(path, file));
            queued = true;
        }
        Dispatch(cancelled);
        if (m_results.find(path) == m_results.end() && !m_workers.empty()) {
            WaitForAnswers(cancelled);
        }
    }
}

void TagWorkerPool::Dispatch(const CancelCheck& cancelled) {
    // One request at a time to the helper with the fewest, so that all of them share a folder.
    while (!m_queue.empty()) {
        Worker* least = nullptr;
        for (Worker& worker : m_workers) {
            if (worker.process && worker.inFlight.size() < m_options.inFlightPerWorker &&
                (least == nullptr || worker.inFlight.size() < least->inFlight.size())) {
                least = &worker;
            }
        }
        if (least == nullptr) {
            break;
        }
        // In flight while it is written: a helper lost during the write was lost on a file.
        if (least->inFlight.empty()) {
            least->since = Clock::now();
        }
        least->inFlight.push_back(std::move(m_queue.front()));
        m_queue.pop_front();
        const Request& request = least->inFlight.back();
        const Clock::time_point deadline = Clock::now() + LimitFor(*least);
        if (!least->process->Send(request.message.data(), request.message.size(), deadline,
                                  cancelled)) {
            if (cancelled && cancelled()) {
                Restart(*least);
                break;
            }
            Lost(*least, Clock::now() >= deadline, cancelled);
        }
    }
    DropEndedWorkers();
}

Clock::duration TagWorkerPool::LimitFor(const Worker& worker) const {
    // A helper still starting on a busy machine is not yet on the clock of a file.
    return worker.up ? Clock::duration(m_options.timeLimit)
                     : Clock::duration(std::max(m_options.timeLimit, m_options.startLimit));
}

void TagWorkerPool::WaitForAnswers(const CancelCheck& cancelled) {
    std::vector<platform::WorkerProcess*> processes;
    // In slices, so that a cancel is heard while a helper works on a file for long.
    Clock::duration wait = cancelled ? std::min<Clock::duration>(m_options.timeLimit, kCancelSlice)
                                     : Clock::duration(m_options.timeLimit);
    const Clock::time_point now = Clock::now();
    for (const Worker& worker : m_workers) {
        processes.push_back(worker.process.get());
        if (!worker.inFlight.empty()) {
            wait = std::min(wait, worker.since + LimitFor(worker) - now);
        }
    }
    const std::vector<bool> ready = platform::WaitForAnswers(
        processes,
        std::max(std::chrono::milliseconds(0), std::chrono::ceil<std::chrono::milliseconds>(wait)));
    const Clock::time_point after = Clock::now();
    for (std::size_t i = 0; i < m_workers.size(); ++i) {
        Worker& worker = m_workers[i];
        if (ready[i]) {
            ReadAnswers(worker);
        }
        if (worker.process && !worker.inFlight.empty() &&
            after - worker.since >= LimitFor(worker)) {
            Replace(worker, true);
        }
    }
    DropEndedWorkers();
}

bool TagWorkerPool::ReadAnswers(Worker& worker) {
    char buffer[4096];
    for (;;) {
        const long got = worker.process->Receive(buffer, sizeof buffer);
        if (got < 0) {
            break;
        }
        if (got > 0) {
            worker.received.append(buffer, static_cast<std::size_t>(got));
            // Seen before an end that may follow in the same read: a helper that came up and
            // then crashed on a file is told apart from one that never came up.
            if (!worker.up && worker.received.front() == kTagWorkerReady) {
                worker.up = true;
                worker.received.erase(0, 1);
                // The first file's time starts now that the helper can work on it.
                worker.since = Clock::now();
            }
            // A helper never owes more than an answer for each request in flight: one that
            // says more is not ours to believe, and is not read without end.
            if (worker.received.size() > worker.inFlight.size() * kTagAnswerBytes) {
                Replace(worker, true);
                return true;
            }
            continue;
        }
        // A helper only ends when it crashed or was killed. What it answered before counts.
        TakeAnswers(worker);
        Replace(worker, false);
        return true;
    }
    TakeAnswers(worker);
    return false;
}

void TagWorkerPool::Lost(Worker& worker, bool timedOut, const CancelCheck& cancelled) {
    const Clock::time_point until = Clock::now() + (timedOut ? Clock::duration(0) : kEndLimit);
    for (;;) {
        if (ReadAnswers(worker)) {
            return;
        }
        const Clock::duration left = until - Clock::now();
        if (left <= Clock::duration(0) || (cancelled && cancelled())) {
            break;
        }
        platform::WaitForAnswers({worker.process.get()},
                                 std::chrono::ceil<std::chrono::milliseconds>(
                                     std::min<Clock::duration>(left, kCancelSlice)));
    }
    Replace(worker, timedOut);
}

void TagWorkerPool::Restart(Worker& worker) {
    worker.process->Kill();
    Requeue(worker);
    worker.process = StartOne();
}

void TagWorkerPool::Requeue(Worker& worker) {
    for (auto request = worker.inFlight.rbegin(); request != worker.inFlight.rend(); ++request) {
        if (!request->forgotten) {
            m_queue.push_front(std::move(*request));
        }
    }
    worker.inFlight.clear();
    worker.received.clear();
    worker.up = false;
}

void TagWorkerPool::TakeAnswers(Worker& worker) {
    std::size_t used = 0;
    while (!worker.inFlight.empty()) {
        const std::optional<TagAnswer> answer =
            DecodeTagAnswer(std::string_view(worker.received).substr(used));
        if (!answer) {
            break;
        }
        used += kTagAnswerBytes;
        if (!worker.inFlight.front().forgotten) {
            m_results[worker.inFlight.front().path] = Result{Outcome::Answered, *answer};
        }
        worker.inFlight.pop_front();
        worker.since = Clock::now();
    }
    worker.received.erase(0, used);
}

void TagWorkerPool::Replace(Worker& worker, bool timedOut) {
    worker.process->Kill();
    const bool wasUp = worker.up;
    if (wasUp && !worker.inFlight.empty()) {
        const std::string first = worker.inFlight.front().path;
        // A helper can also end for reasons of its own; the file gets a second helper before
        // it is blamed.
        if (timedOut || m_lostOnce[first]++ > 0) {
            m_lostOnce.erase(first);
            if (!worker.inFlight.front().forgotten) {
                m_results[first] = Result{Outcome::Failed, {}};
            }
            worker.inFlight.pop_front();
        }
    }
    Requeue(worker);
    // A helper that never came up will not come up next time either.
    if (wasUp) {
        worker.process = StartOne();
    } else {
        worker.process.reset();
        m_lastStartError = "it ended as soon as it started";
    }
}

} // namespace quaverly::mpeg
