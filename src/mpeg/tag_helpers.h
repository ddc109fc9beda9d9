#pragma once

#include "mpeg/tag_worker_protocol.h"
#include "platform/worker_process.h"

#include <chrono>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quaverly::mpeg {

// The tag helper processes of a TagWorkerPool: starting them, the time limits that kill them,
// replacing them, and what goes over their pipes (platform::WorkerProcess). Each helper holds
// the questions it was sent, in order, until it answers them; when one is stopped, the
// questions it held come back with why, and what becomes of those files is the pool's to say.
//
// Threads: only the thread that owns the pool (the walk's) calls it; nothing here is shared.
// Every wait has a deadline, the time limit of the question a helper is on, and asks
// `cancelled` at least every 100 ms.
class TagHelpers {
public:
    using CancelCheck = std::function<bool()>;

    // A question for a helper: the file's path and the request that carries its bytes.
    struct Question {
        std::string path;
        std::string message;
    };
    struct Answer {
        std::string path;
        TagAnswer answer;
    };
    // A helper that was stopped, and the questions it held, the one it was on first.
    struct Stopped {
        std::deque<Question> held;
        // Whether it had said it was up: one that had not was on no file yet.
        bool wasUp = false;
        // Killed at the time limit, or for saying more than it owed, rather than ended.
        bool timedOut = false;
        // Killed because a cancel cut a request short: nothing is to blame.
        bool cancelled = false;
    };
    // What one helper said, in order: its answers, then whether it was stopped.
    struct Heard {
        std::vector<Answer> answers;
        std::optional<Stopped> stopped;
    };

    // `count` helpers of `program`. A question may take `timeLimit` before its helper is killed;
    // a helper not yet up may take `startLimit` when that is longer.
    TagHelpers(std::string program, std::size_t count, std::chrono::milliseconds timeLimit,
               std::chrono::milliseconds startLimit);
    ~TagHelpers();
    TagHelpers(const TagHelpers&) = delete;
    TagHelpers& operator=(const TagHelpers&) = delete;

    // Starts the helpers, once; those that cannot start are left out.
    void Start();
    // Whether no helper is running: once they were started, none will be again.
    bool Empty() const noexcept { return m_helpers.empty(); }
    // Why no helper is running, once it is known.
    const std::optional<std::string>& StartFailure() const noexcept { return m_startFailure; }

    // The helpers running now, by index: each call below may drop those that ended.
    std::size_t Count() const noexcept { return m_helpers.size(); }
    // How many questions helper `helper` holds.
    std::size_t Holding(std::size_t helper) const noexcept;
    // Whether a helper holds a question about `path`.
    bool Holds(const std::string& path) const;
    std::vector<platform::ProcessId> Pids() const;

    // Writes `question` to helper `helper`, which holds it from now on. A helper that takes no
    // more of it is stopped: what it wrote before counts, its ready byte above all, which tells
    // a helper that crashed on a file from one that never came up.
    Heard Send(std::size_t helper, Question question, const CancelCheck& cancelled);
    // Waits for the helpers to say something, until the first time limit or the next cancel
    // slice, and stops those past their time limit. Returns what each said that said anything.
    std::vector<Heard> Wait(const CancelCheck& cancelled);
    // Starts the helpers still at work again, dropping what they held: the run that asked has
    // ended, and it would hold up the next run's first questions for as long.
    void RestartBusy();

private:
    struct Helper {
        std::unique_ptr<platform::WorkerProcess> process;
        std::deque<Question> inFlight;
        // When the helper started on the first question in flight.
        std::chrono::steady_clock::time_point since{};
        std::string received;
        // Whether the helper said it is up; one that ends before is not started again.
        bool up = false;
    };

    std::unique_ptr<platform::WorkerProcess> StartOne();
    // How long the helper's first question in flight may take.
    std::chrono::steady_clock::duration LimitFor(const Helper& helper) const;
    // Reads what the helper wrote so far; it is stopped when it ended or said too much.
    Heard Read(Helper& helper);
    // Reads what the helper still says, for a little while when it ended by itself, then stops
    // it.
    Heard Drain(Helper& helper, bool timedOut, const CancelCheck& cancelled);
    // Moves the whole answers received so far to `heard`.
    void TakeAnswers(Helper& helper, Heard& heard);
    // Kills the helper and starts another in its place, unless it never came up.
    Stopped Replace(Helper& helper, bool timedOut);
    // Kills the helper and starts it again, whether it came up or not.
    Stopped Restart(Helper& helper);
    // Takes from `helper` what it held, as it is killed.
    static Stopped Emptied(Helper& helper);
    // Drops the helpers that could not be replaced; with none left, says why.
    void DropEnded();

    std::string m_program;
    std::size_t m_count;
    std::chrono::milliseconds m_timeLimit;
    std::chrono::milliseconds m_startLimit;
    bool m_started = false;
    std::optional<std::string> m_startFailure;
    std::string m_lastStartError;
    std::vector<Helper> m_helpers;
};

} // namespace quaverly::mpeg
