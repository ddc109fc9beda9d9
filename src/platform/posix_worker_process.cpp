#include "platform/worker_process.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace quaverly::platform {

namespace {

// How long a wait goes on before it asks again whether to stop, in milliseconds.
constexpr long long kStopSlice = 100;

void CloseQuietly(int fd) noexcept {
    if (fd >= 0) {
        ::close(fd);
    }
}

// Keeps a write to a pipe whose reader is gone from raising SIGPIPE in this thread, without
// touching how the rest of the program handles the signal.
class SigpipeBlocked {
public:
    SigpipeBlocked() {
        sigemptyset(&m_pipe);
        sigaddset(&m_pipe, SIGPIPE);
        sigset_t pending;
        sigpending(&pending);
        m_wasPending = sigismember(&pending, SIGPIPE) == 1;
        m_blocked = pthread_sigmask(SIG_BLOCK, &m_pipe, &m_previous) == 0;
    }
    ~SigpipeBlocked() {
        if (!m_wasPending) {
            // Take back a SIGPIPE that our own write raised before unblocking it.
            const timespec now{0, 0};
            while (sigtimedwait(&m_pipe, nullptr, &now) == SIGPIPE) {
            }
        }
        if (m_blocked) {
            pthread_sigmask(SIG_SETMASK, &m_previous, nullptr);
        }
    }
    SigpipeBlocked(const SigpipeBlocked&) = delete;
    SigpipeBlocked& operator=(const SigpipeBlocked&) = delete;

private:
    sigset_t m_pipe{};
    sigset_t m_previous{};
    bool m_wasPending = false;
    bool m_blocked = false;
};

class PosixWorkerProcess final : public WorkerProcess {
public:
    PosixWorkerProcess(pid_t pid, int requests, int answers)
        : m_pid(pid), m_requests(requests), m_answers(answers) {}
    ~PosixWorkerProcess() override { Kill(); }
    PosixWorkerProcess(const PosixWorkerProcess&) = delete;
    PosixWorkerProcess& operator=(const PosixWorkerProcess&) = delete;

    ProcessId Pid() const noexcept override { return m_pid; }
    // The end to poll for answers.
    int AnswerDescriptor() const noexcept { return m_answers; }

    bool Send(const void* data, std::size_t size, std::chrono::steady_clock::time_point deadline,
              const std::function<bool()>& stop) override;
    long Receive(void* data, std::size_t size) override;
    void Kill() noexcept override;

private:
    pid_t m_pid;
    int m_requests;
    int m_answers;
};

bool ReadAll(int fd, void* data, std::size_t size) {
    auto* bytes = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t got = ::read(fd, bytes, size);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        bytes += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

bool WriteAll(int fd, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t put = ::write(fd, bytes, size);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return false;
        }
        bytes += put;
        size -= static_cast<std::size_t>(put);
    }
    return true;
}

} // namespace

std::unique_ptr<WorkerProcess> WorkerProcess::Start(const std::vector<std::string>& arguments,
                                                    std::string& error) {
    int requests[2] = {-1, -1};
    int answers[2] = {-1, -1};
    if (::pipe2(requests, O_CLOEXEC) != 0 || ::pipe2(answers, O_CLOEXEC) != 0) {
        error = std::strerror(errno);
        CloseQuietly(requests[0]);
        CloseQuietly(requests[1]);
        return nullptr;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, requests[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, answers[1], STDOUT_FILENO);

    std::vector<char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    // A program that ignores SIGPIPE for itself does not hand that on to its helpers.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    const int failure = ::posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    ::close(requests[0]);
    ::close(answers[1]);
    if (failure != 0) {
        error = std::strerror(failure);
        ::close(requests[1]);
        ::close(answers[0]);
        return nullptr;
    }
    ::fcntl(answers[0], F_SETFL, ::fcntl(answers[0], F_GETFL) | O_NONBLOCK);
    ::fcntl(requests[1], F_SETFL, ::fcntl(requests[1], F_GETFL) | O_NONBLOCK);
    return std::make_unique<PosixWorkerProcess>(pid, requests[1], answers[0]);
}

bool PosixWorkerProcess::Send(const void* data, std::size_t size,
                              std::chrono::steady_clock::time_point deadline,
                              const std::function<bool()>& stop) {
    if (m_requests < 0) {
        return false;
    }
    SigpipeBlocked blocked;
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t put = ::write(m_requests, bytes, size);
        if (put >= 0) {
            bytes += put;
            size -= static_cast<std::size_t>(put);
            continue;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            return false;
        }
        // The pipe is full: wait for the helper to read, until the deadline or a stop.
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || (stop && stop())) {
            return false;
        }
        pollfd writable{m_requests, POLLOUT, 0};
        const int waited =
            ::poll(&writable, 1, static_cast<int>(std::min<long long>(left.count(), kStopSlice)));
        if (waited < 0 && errno != EINTR) {
            return false;
        }
    }
    return true;
}

long PosixWorkerProcess::Receive(void* data, std::size_t size) {
    for (;;) {
        const ssize_t got = ::read(m_answers, data, size);
        if (got >= 0) {
            return got;
        }
        if (errno == EINTR) {
            continue;
        }
        // A broken pipe reads as the end, like a helper that ended.
        return errno == EAGAIN || errno == EWOULDBLOCK ? -1 : 0;
    }
}

void PosixWorkerProcess::Kill() noexcept {
    CloseQuietly(m_requests);
    CloseQuietly(m_answers);
    m_requests = -1;
    m_answers = -1;
    if (m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        while (::waitpid(m_pid, nullptr, 0) < 0 && errno == EINTR) {
        }
        m_pid = -1;
    }
}

std::vector<bool> WaitForAnswers(const std::vector<WorkerProcess*>& workers,
                                 std::chrono::milliseconds limit) {
    std::vector<pollfd> fds;
    for (WorkerProcess* worker : workers) {
        fds.push_back({static_cast<PosixWorkerProcess*>(worker)->AnswerDescriptor(), POLLIN, 0});
    }
    const auto milliseconds = std::max<long>(0, static_cast<long>(limit.count()));
    std::vector<bool> ready(workers.size(), false);
    if (::poll(fds.data(), fds.size(), static_cast<int>(milliseconds)) > 0) {
        for (std::size_t i = 0; i < fds.size(); ++i) {
            ready[i] = fds[i].revents != 0;
        }
    }
    return ready;
}

ProcessId CurrentProcessId() noexcept {
    return ::getpid();
}

bool IsProgramFile(const std::string& path) noexcept {
    return ::access(path.c_str(), X_OK) == 0;
}

void QuietCrashes() noexcept {
    // Crashes of a helper are expected and handled; none may leave a core file in the folder
    // that is being listed, which is the helper's current directory.
    const rlimit noCore{0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
}

bool DieWithParent(ProcessId parent) noexcept {
    if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0) {
        return false;
    }
    // The parent may have ended before the request took effect.
    return ::getppid() == parent;
}

bool ReadRequest(void* data, std::size_t size) {
    return ReadAll(STDIN_FILENO, data, size);
}

bool WriteAnswer(const void* data, std::size_t size) {
    return WriteAll(STDOUT_FILENO, data, size);
}

std::string ExecutableFolder() {
    char buffer[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0) {
        return ".";
    }
    std::string path(buffer, static_cast<std::size_t>(length));
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
}

} // namespace quaverly::platform
