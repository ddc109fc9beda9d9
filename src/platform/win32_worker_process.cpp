#include "platform/worker_process.h"

#include "platform/last_error.h"

#include <windows.h>

#include <condition_variable>
#include <mutex>
#include <thread>

namespace quaverly::platform {

namespace {

// Every helper is held in one job that ends its processes when this process ends, however it
// ends: the system closes the job's last handle then.
HANDLE HelperJob() {
    static const HANDLE job = [] {
        const HANDLE created = ::CreateJobObjectA(nullptr, nullptr);
        if (created != nullptr) {
            JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
            limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
            ::SetInformationJobObject(created, JobObjectExtendedLimitInformation, &limits,
                                      sizeof limits);
        }
        return created;
    }();
    return job;
}

// One argument as the C runtime of the started program splits it back out of the command
// line: quoted when it holds a blank or a quote, backslashes doubled before a quote.
std::string QuotedArgument(const std::string& argument) {
    if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos) {
        return argument;
    }
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (const char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(2 * backslashes, '\\');
    quoted += '"';
    return quoted;
}

void CloseQuietly(HANDLE& handle) noexcept {
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE) {
        ::CloseHandle(handle);
    }
    handle = nullptr;
}

// What the reader threads of all helpers signal: an answer came, or a helper ended.
struct Arrivals {
    std::mutex mutex;
    std::condition_variable changed;
};

Arrivals& SharedArrivals() {
    static Arrivals arrivals;
    return arrivals;
}

// Ends a helper that has not taken a request by its deadline.
VOID CALLBACK EndHelper(PVOID process, BOOLEAN /*timedOut*/) {
    ::TerminateProcess(static_cast<HANDLE>(process), 1);
}

// An anonymous pipe cannot be polled, so a thread of each helper reads its answers as they
// come and keeps them until the pool takes them.
class Win32WorkerProcess final : public WorkerProcess {
public:
    Win32WorkerProcess(PROCESS_INFORMATION process, HANDLE requests, HANDLE answers)
        : m_process(process.hProcess), m_pid(process.dwProcessId), m_requests(requests),
          m_answers(answers) {
        ::CloseHandle(process.hThread);
        m_reader = std::thread([this] { ReadAnswers(); });
    }
    ~Win32WorkerProcess() override { Kill(); }
    Win32WorkerProcess(const Win32WorkerProcess&) = delete;
    Win32WorkerProcess& operator=(const Win32WorkerProcess&) = delete;

    ProcessId Pid() const noexcept override { return m_pid; }

    bool Send(const void* data, std::size_t size, std::chrono::steady_clock::time_point deadline,
              const std::function<bool()>& /*stop*/) override {
        // An anonymous pipe cannot wait with a deadline: at the deadline a timer ends the
        // helper, which breaks the pipe and so ends a write that is still waiting.
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || m_requests == nullptr) {
            return false;
        }
        HANDLE timer = nullptr;
        const auto delay = static_cast<DWORD>(std::min<long long>(left.count(), MAXDWORD - 1));
        if (::CreateTimerQueueTimer(&timer, nullptr, EndHelper, m_process, delay, 0,
                                    WT_EXECUTEONLYONCE) == 0) {
            timer = nullptr;
        }
        const auto* bytes = static_cast<const char*>(data);
        while (size > 0) {
            DWORD put = 0;
            const auto step = static_cast<DWORD>(std::min<std::size_t>(size, 1U << 30));
            if (::WriteFile(m_requests, bytes, step, &put, nullptr) == 0 || put == 0) {
                break;
            }
            bytes += put;
            size -= put;
        }
        if (timer != nullptr) {
            // Waits for a callback under way, so that none outlives the process handle.
            ::DeleteTimerQueueTimer(nullptr, timer, INVALID_HANDLE_VALUE);
        }
        return size == 0;
    }

    long Receive(void* data, std::size_t size) override {
        std::lock_guard lock(SharedArrivals().mutex);
        if (m_received.empty()) {
            return m_ended ? 0 : -1;
        }
        const std::size_t count = std::min(size, m_received.size());
        m_received.copy(static_cast<char*>(data), count);
        m_received.erase(0, count);
        return static_cast<long>(count);
    }

    void Kill() noexcept override {
        if (m_process != nullptr) {
            ::TerminateProcess(m_process, 1);
            ::WaitForSingleObject(m_process, INFINITE);
        }
        CloseQuietly(m_requests);
        // The helper's end of the answers closed with it, so the reader has seen the end.
        if (m_reader.joinable()) {
            m_reader.join();
        }
        CloseQuietly(m_answers);
        CloseQuietly(m_process);
    }

    bool HasArrivals() const { return !m_received.empty() || m_ended; }

private:
    void ReadAnswers() {
        char buffer[4096];
        for (;;) {
            DWORD got = 0;
            const bool read = ::ReadFile(m_answers, buffer, sizeof buffer, &got, nullptr) != 0;
            Arrivals& arrivals = SharedArrivals();
            {
                std::lock_guard lock(arrivals.mutex);
                if (read && got > 0) {
                    m_received.append(buffer, got);
                } else {
                    m_ended = true;
                }
            }
            arrivals.changed.notify_all();
            if (!read || got == 0) {
                return;
            }
        }
    }

    HANDLE m_process;
    ProcessId m_pid;
    HANDLE m_requests;
    HANDLE m_answers;
    std::thread m_reader;
    // Guarded by the shared arrivals' mutex.
    std::string m_received;
    bool m_ended = false;
};

LONG WINAPI EndOnCrash(EXCEPTION_POINTERS* /*exception*/) {
    ::TerminateProcess(::GetCurrentProcess(), 3);
    return EXCEPTION_EXECUTE_HANDLER;
}

} // namespace

std::unique_ptr<WorkerProcess> WorkerProcess::Start(const std::vector<std::string>& arguments,
                                                    std::string& error) {
    SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE requestsRead = nullptr;
    HANDLE requestsWrite = nullptr;
    HANDLE answersRead = nullptr;
    HANDLE answersWrite = nullptr;
    if (::CreatePipe(&requestsRead, &requestsWrite, &inherited, 0) == 0 ||
        ::CreatePipe(&answersRead, &answersWrite, &inherited, 0) == 0) {
        error = DescribeErrorCode(::GetLastError());
        CloseQuietly(requestsRead);
        CloseQuietly(requestsWrite);
        return nullptr;
    }
    // Only the helper's own ends go to the helper.
    ::SetHandleInformation(requestsWrite, HANDLE_FLAG_INHERIT, 0);
    ::SetHandleInformation(answersRead, HANDLE_FLAG_INHERIT, 0);

    std::string commandLine;
    for (const std::string& argument : arguments) {
        if (!commandLine.empty()) {
            commandLine += ' ';
        }
        commandLine += QuotedArgument(argument);
    }
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = requestsRead;
    startup.hStdOutput = answersWrite;
    startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process{};
    // Suspended until it is in the job, so that not even its first instruction runs outside.
    const bool started = ::CreateProcessA(arguments.at(0).c_str(), commandLine.data(), nullptr,
                                          nullptr, TRUE, CREATE_NO_WINDOW | CREATE_SUSPENDED,
                                          nullptr, nullptr, &startup, &process) != 0;
    const DWORD failure = ::GetLastError();
    CloseQuietly(requestsRead);
    CloseQuietly(answersWrite);
    if (!started) {
        error = DescribeErrorCode(failure);
        CloseQuietly(requestsWrite);
        CloseQuietly(answersRead);
        return nullptr;
    }
    if (const HANDLE job = HelperJob(); job != nullptr) {
        ::AssignProcessToJobObject(job, process.hProcess);
    }
    ::ResumeThread(process.hThread);
    return std::make_unique<Win32WorkerProcess>(process, requestsWrite, answersRead);
}

std::vector<bool> WaitForAnswers(const std::vector<WorkerProcess*>& workers,
                                 std::chrono::milliseconds limit) {
    Arrivals& arrivals = SharedArrivals();
    std::vector<bool> ready(workers.size(), false);
    std::unique_lock lock(arrivals.mutex);
    const auto any = [&] {
        bool found = false;
        for (std::size_t i = 0; i < workers.size(); ++i) {
            ready[i] = static_cast<Win32WorkerProcess*>(workers[i])->HasArrivals();
            found = found || ready[i];
        }
        return found;
    };
    arrivals.changed.wait_for(lock, limit, any);
    return ready;
}

ProcessId CurrentProcessId() noexcept {
    return ::GetCurrentProcessId();
}

bool IsProgramFile(const std::string& path) noexcept {
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::string ExecutableFolder() {
    std::string path(MAX_PATH, '\0');
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return ".";
        }
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    const std::size_t separator = path.find_last_of("\\/");
    return separator == std::string::npos ? "." : path.substr(0, separator);
}

bool DieWithParent(ProcessId parent) noexcept {
    // The job ends a helper with its program; this covers a helper started outside one.
    const HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, parent);
    if (process == nullptr) {
        return false;
    }
    if (::WaitForSingleObject(process, 0) == WAIT_OBJECT_0) {
        ::CloseHandle(process);
        return false;
    }
    std::thread([process] {
        ::WaitForSingleObject(process, INFINITE);
        ::ExitProcess(1);
    }).detach();
    return true;
}

void QuietCrashes() noexcept {
    // No box for a crash and none for a missing disk, and no debugger: the program replaces
    // the helper.
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    ::SetUnhandledExceptionFilter(EndOnCrash);
}

bool ReadRequest(void* data, std::size_t size) {
    const HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
    auto* bytes = static_cast<char*>(data);
    while (size > 0) {
        DWORD got = 0;
        if (::ReadFile(input, bytes, static_cast<DWORD>(size), &got, nullptr) == 0 || got == 0) {
            return false;
        }
        bytes += got;
        size -= got;
    }
    return true;
}

bool WriteAnswer(const void* data, std::size_t size) {
    const HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        DWORD put = 0;
        if (::WriteFile(output, bytes, static_cast<DWORD>(size), &put, nullptr) == 0 || put == 0) {
            return false;
        }
        bytes += put;
        size -= put;
    }
    return true;
}

} // namespace quaverly::platform
