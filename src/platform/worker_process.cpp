#include "platform/worker_process.h"

#include <cerrno>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <limits.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace quaverly::platform {

namespace {

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

} // namespace

std::unique_ptr<WorkerProcess> WorkerProcess::Start(const std::vector<std::string>& arguments,
                                                    int& error) {
    int requests[2] = {-1, -1};
    int answers[2] = {-1, -1};
    if (::pipe2(requests, O_CLOEXEC) != 0 || ::pipe2(answers, O_CLOEXEC) != 0) {
        error = errno;
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
    pid_t pid = -1;
    error = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(requests[0]);
    ::close(answers[1]);
    if (error != 0) {
        ::close(requests[1]);
        ::close(answers[0]);
        return nullptr;
    }
    ::fcntl(answers[0], F_SETFL, ::fcntl(answers[0], F_GETFL) | O_NONBLOCK);
    return std::unique_ptr<WorkerProcess>(new WorkerProcess(pid, requests[1], answers[0]));
}

WorkerProcess::~WorkerProcess() {
    Kill();
}

bool WorkerProcess::Send(const void* data, std::size_t size) {
    if (m_requests < 0) {
        return false;
    }
    SigpipeBlocked blocked;
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t put = ::write(m_requests, bytes, size);
        if (put < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes += put;
        size -= static_cast<std::size_t>(put);
    }
    return true;
}

long WorkerProcess::Receive(void* data, std::size_t size) {
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

void WorkerProcess::Kill() noexcept {
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

bool DieWithParent(pid_t parent) noexcept {
    if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0) {
        return false;
    }
    // The parent may have ended before the request took effect.
    return ::getppid() == parent;
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
