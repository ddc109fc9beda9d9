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
// The helper writes this once it is up, so that one that cannot start is told apart from one
// that crashed on a file.
constexpr char kReady = 'R';
// How long a helper may take to come up.
constexpr std::chrono::milliseconds kStartLimit{10'000};

} // namespace

std::int64_t StatedTagSize(FileView& view) {
    std::array<unsigned char, 10> header{};
    view.Copy(0, header.data(), header.size());
    if (std::memcmp(header.data(), "ID3", 3) != 0) {
        return 0;
    }
    // Four bytes of seven bits each.
    std::int64_t size = 0;
    for (std::size_t i = 6; i < 10; ++i) {
        size = (size << 7) | (header[i] & 0x7F);
    }
    return 10 + size;
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
                         m_lastStartError +
                         "); tags are read in the program itself, where a damaged tag can "
                         "crash it";
    }
}

void TagWorkerPool::Prefetch(const std::vector<std::string>& paths) {
    if (!m_started) {
        StartWorkers();
    }
    // Whatever an earlier folder left unasked is of no more use.
    m_results.clear();
    m_lostOnce.clear();
    m_queue.assign(paths.begin(), paths.end());
    Dispatch();
}

TagSize TagWorkerPool::PrependedBytes(const std::string& path, FileView& view) {
    if (!m_started) {
        StartWorkers();
    }
    for (bool queued = false;;) {
        if (const auto found = m_results.find(path); found != m_results.end()) {
            const Result result = found->second;
            m_results.erase(found);
            if (result.outcome == Outcome::Failed) {
                return {StatedTagSize(view), kLibraryFailed};
            }
            switch (result.answer.status) {
            case TagAnswerStatus::Measured:
                return {result.answer.bytes, std::nullopt};
            case TagAnswerStatus::NotOpened:
                return {0, std::nullopt};
            case TagAnswerStatus::ReadFailed:
                throw platform::FileError::FromErrno(result.answer.systemError, "read", path);
            }
            return {0, std::nullopt};
        }
        if (m_workers.empty()) {
            return InProcess(path, view);
        }
        const bool waiting =
            std::find(m_queue.begin(), m_queue.end(), path) != m_queue.end() ||
            std::any_of(m_workers.begin(), m_workers.end(), [&](const Worker& worker) {
                return std::find(worker.inFlight.begin(), worker.inFlight.end(), path) !=
                       worker.inFlight.end();
            });
        if (!waiting) {
            if (queued) {
                // Asked for and lost: never risk the library in this process for it.
                return {StatedTagSize(view), kLibraryFailed};
            }
            m_queue.push_front(path);
            queued = true;
        }
        Dispatch();
        if (m_results.find(path) == m_results.end() && !m_workers.empty()) {
            WaitForAnswers();
        }
    }
}

TagSize TagWorkerPool::InProcess(const std::string&, FileView& view) {
    return {Id3v2PrependedBytes(view), std::nullopt};
}

void TagWorkerPool::Dispatch() {
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
        const std::string& path = m_queue.front();
        TagRequestHeader header{static_cast<std::uint32_t>(path.size())};
        std::string request(reinterpret_cast<const char*>(&header), sizeof header);
        request += path;
        if (!least->process->Send(request.data(), request.size())) {
            Replace(*least, false);
            continue;
        }
        if (least->inFlight.empty()) {
            least->since = Clock::now();
        }
        least->inFlight.push_back(path);
        m_queue.pop_front();
    }
    DropEndedWorkers();
}

Clock::duration TagWorkerPool::LimitFor(const Worker& worker) const {
    // A helper still starting on a busy machine is not yet on the clock of a file.
    return worker.up ? Clock::duration(m_options.timeLimit)
                     : Clock::duration(std::max(m_options.timeLimit, kStartLimit));
}

void TagWorkerPool::WaitForAnswers() {
    std::vector<platform::WorkerProcess*> processes;
    Clock::duration wait = m_options.timeLimit;
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

void TagWorkerPool::ReadAnswers(Worker& worker) {
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
            if (!worker.up && worker.received.front() == kReady) {
                worker.up = true;
                worker.received.erase(0, 1);
                // The first file's time starts now that the helper can work on it.
                worker.since = Clock::now();
            }
            continue;
        }
        // A helper only ends when it crashed or was killed. What it answered before counts.
        TakeAnswers(worker);
        Replace(worker, false);
        return;
    }
    TakeAnswers(worker);
}

void TagWorkerPool::TakeAnswers(Worker& worker) {
    std::size_t used = 0;
    while (worker.received.size() - used >= sizeof(TagAnswer) && !worker.inFlight.empty()) {
        TagAnswer answer;
        std::memcpy(&answer, worker.received.data() + used, sizeof answer);
        used += sizeof answer;
        m_results[worker.inFlight.front()] = Result{Outcome::Answered, answer};
        worker.inFlight.pop_front();
        worker.since = Clock::now();
    }
    worker.received.erase(0, used);
}

void TagWorkerPool::Replace(Worker& worker, bool timedOut) {
    worker.process->Kill();
    const bool wasUp = worker.up;
    if (wasUp && !worker.inFlight.empty()) {
        const std::string& first = worker.inFlight.front();
        // A helper can also end for reasons of its own; the file gets a second helper before
        // it is blamed.
        if (timedOut || m_lostOnce[first]++ > 0) {
            m_lostOnce.erase(first);
            m_results[first] = Result{Outcome::Failed, {}};
            worker.inFlight.pop_front();
        }
    }
    for (auto path = worker.inFlight.rbegin(); path != worker.inFlight.rend(); ++path) {
        m_queue.push_front(*path);
    }
    worker.inFlight.clear();
    worker.received.clear();
    worker.up = false;
    // A helper that never came up will not come up next time either.
    if (wasUp) {
        worker.process = StartOne();
    } else {
        worker.process.reset();
        m_lastStartError = "it ended as soon as it started";
    }
}

} // namespace quaverly::mpeg
