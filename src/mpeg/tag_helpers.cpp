#include "mpeg/tag_helpers.h"

#include <algorithm>

namespace quaverly::mpeg {

namespace {

using Clock = std::chrono::steady_clock;

// How long a helper that stopped taking requests may take to end, so that its last words are
// read.
constexpr std::chrono::milliseconds kEndLimit{2'000};
// How long a wait goes on before it asks again whether the run was cancelled.
constexpr std::chrono::milliseconds kCancelSlice{100};

} // namespace

TagHelpers::TagHelpers(std::string program, std::size_t count, std::chrono::milliseconds timeLimit,
                       std::chrono::milliseconds startLimit)
    : m_program(std::move(program)), m_count(count), m_timeLimit(timeLimit),
      m_startLimit(startLimit) {}

TagHelpers::~TagHelpers() = default;

std::size_t TagHelpers::Holding(std::size_t helper) const noexcept {
    return m_helpers[helper].inFlight.size();
}

bool TagHelpers::Holds(const std::string& path) const {
    return std::any_of(m_helpers.begin(), m_helpers.end(), [&](const Helper& helper) {
        return std::any_of(helper.inFlight.begin(), helper.inFlight.end(),
                           [&](const Question& question) { return question.path == path; });
    });
}

std::vector<platform::ProcessId> TagHelpers::Pids() const {
    std::vector<platform::ProcessId> pids;
    for (const Helper& helper : m_helpers) {
        pids.push_back(helper.process->Pid());
    }
    return pids;
}

std::unique_ptr<platform::WorkerProcess> TagHelpers::StartOne() {
    std::string error;
    auto process = platform::WorkerProcess::Start(
        {m_program, std::to_string(platform::CurrentProcessId())}, error);
    if (!process) {
        m_lastStartError = error;
    }
    return process;
}

void TagHelpers::Start() {
    if (m_started) {
        return;
    }
    m_started = true;
    for (std::size_t i = 0; i < m_count; ++i) {
        auto process = StartOne();
        if (!process) {
            break;
        }
        m_helpers.push_back(Helper{std::move(process), {}, {}, {}, false});
    }
    DropEnded();
}

void TagHelpers::DropEnded() {
    std::erase_if(m_helpers, [](const Helper& helper) { return !helper.process; });
    if (m_helpers.empty() && !m_startFailure) {
        m_startFailure = "the ID3 tag helper " + m_program + " could not be started (" +
                         m_lastStartError + "); tag sizes are what the tags' headers state";
    }
}

Clock::duration TagHelpers::LimitFor(const Helper& helper) const {
    // A helper still starting on a busy machine is not yet on the clock of a file.
    return helper.up ? Clock::duration(m_timeLimit)
                     : Clock::duration(std::max(m_timeLimit, m_startLimit));
}

TagHelpers::Heard TagHelpers::Send(std::size_t index, Question question,
                                   const CancelCheck& cancelled) {
    Helper& helper = m_helpers[index];
    // In flight while it is written: a helper lost during the write was lost on a file.
    if (helper.inFlight.empty()) {
        helper.since = Clock::now();
    }
    helper.inFlight.push_back(std::move(question));
    const std::string& message = helper.inFlight.back().message;
    const Clock::time_point deadline = Clock::now() + LimitFor(helper);
    Heard heard;
    if (!helper.process->Send(message.data(), message.size(), deadline, cancelled)) {
        if (cancelled && cancelled()) {
            heard.stopped = Restart(helper);
        } else {
            heard = Drain(helper, Clock::now() >= deadline, cancelled);
        }
    }
    DropEnded();
    return heard;
}

std::vector<TagHelpers::Heard> TagHelpers::Wait(const CancelCheck& cancelled) {
    std::vector<platform::WorkerProcess*> processes;
    // In slices, so that a cancel is heard while a helper works on a file for long.
    Clock::duration wait = cancelled ? std::min<Clock::duration>(m_timeLimit, kCancelSlice)
                                     : Clock::duration(m_timeLimit);
    const Clock::time_point now = Clock::now();
    for (const Helper& helper : m_helpers) {
        processes.push_back(helper.process.get());
        if (!helper.inFlight.empty()) {
            wait = std::min(wait, helper.since + LimitFor(helper) - now);
        }
    }
    const std::vector<bool> ready = platform::WaitForAnswers(
        processes,
        std::max(std::chrono::milliseconds(0), std::chrono::ceil<std::chrono::milliseconds>(wait)));
    const Clock::time_point after = Clock::now();
    std::vector<Heard> said;
    for (std::size_t i = 0; i < m_helpers.size(); ++i) {
        Helper& helper = m_helpers[i];
        Heard heard;
        if (ready[i]) {
            heard = Read(helper);
        }
        // Not so for one stopped just now: it holds nothing.
        if (helper.process && !helper.inFlight.empty() &&
            after - helper.since >= LimitFor(helper)) {
            heard.stopped = Replace(helper, true);
        }
        if (!heard.answers.empty() || heard.stopped) {
            said.push_back(std::move(heard));
        }
    }
    DropEnded();
    return said;
}

void TagHelpers::RestartBusy() {
    bool restarted = false;
    for (Helper& helper : m_helpers) {
        if (!helper.inFlight.empty()) {
            Restart(helper);
            restarted = true;
        }
    }
    if (restarted) {
        DropEnded();
    }
}

TagHelpers::Heard TagHelpers::Read(Helper& helper) {
    Heard heard;
    char buffer[4096];
    for (;;) {
        const long got = helper.process->Receive(buffer, sizeof buffer);
        if (got < 0) {
            break;
        }
        if (got > 0) {
            helper.received.append(buffer, static_cast<std::size_t>(got));
            // Seen before an end that may follow in the same read: a helper that came up and
            // then crashed on a file is told apart from one that never came up.
            if (!helper.up && helper.received.front() == kTagWorkerReady) {
                helper.up = true;
                helper.received.erase(0, 1);
                // The first file's time starts now that the helper can work on it.
                helper.since = Clock::now();
            }
            // A helper never owes more than an answer for each question in flight: one that
            // says more is not ours to believe, and is not read without end.
            if (helper.received.size() > helper.inFlight.size() * kTagAnswerBytes) {
                heard.stopped = Replace(helper, true);
                return heard;
            }
            continue;
        }
        // A helper only ends when it crashed or was killed. What it answered before counts.
        TakeAnswers(helper, heard);
        heard.stopped = Replace(helper, false);
        return heard;
    }
    TakeAnswers(helper, heard);
    return heard;
}

TagHelpers::Heard TagHelpers::Drain(Helper& helper, bool timedOut, const CancelCheck& cancelled) {
    Heard heard;
    const Clock::time_point until = Clock::now() + (timedOut ? Clock::duration(0) : kEndLimit);
    for (;;) {
        Heard more = Read(helper);
        std::move(more.answers.begin(), more.answers.end(), std::back_inserter(heard.answers));
        if (more.stopped) {
            heard.stopped = std::move(more.stopped);
            return heard;
        }
        const Clock::duration left = until - Clock::now();
        if (left <= Clock::duration(0) || (cancelled && cancelled())) {
            break;
        }
        platform::WaitForAnswers({helper.process.get()},
                                 std::chrono::ceil<std::chrono::milliseconds>(
                                     std::min<Clock::duration>(left, kCancelSlice)));
    }
    heard.stopped = Replace(helper, timedOut);
    return heard;
}

void TagHelpers::TakeAnswers(Helper& helper, Heard& heard) {
    std::size_t used = 0;
    while (!helper.inFlight.empty()) {
        const std::optional<TagAnswer> answer =
            DecodeTagAnswer(std::string_view(helper.received).substr(used));
        if (!answer) {
            break;
        }
        used += kTagAnswerBytes;
        heard.answers.push_back({std::move(helper.inFlight.front().path), *answer});
        helper.inFlight.pop_front();
        helper.since = Clock::now();
    }
    helper.received.erase(0, used);
}

TagHelpers::Stopped TagHelpers::Emptied(Helper& helper) {
    helper.process->Kill();
    Stopped stopped{std::move(helper.inFlight), helper.up, false, false};
    helper.inFlight.clear();
    helper.received.clear();
    helper.up = false;
    return stopped;
}

TagHelpers::Stopped TagHelpers::Replace(Helper& helper, bool timedOut) {
    Stopped stopped = Emptied(helper);
    stopped.timedOut = timedOut;
    // A helper that never came up will not come up next time either.
    if (stopped.wasUp) {
        helper.process = StartOne();
    } else {
        helper.process.reset();
        m_lastStartError = "it ended as soon as it started";
    }
    return stopped;
}

TagHelpers::Stopped TagHelpers::Restart(Helper& helper) {
    Stopped stopped = Emptied(helper);
    stopped.cancelled = true;
    helper.process = StartOne();
    return stopped;
}

} // namespace quaverly::mpeg
