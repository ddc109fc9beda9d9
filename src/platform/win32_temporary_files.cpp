#include "platform/temporary_files.h"

#include <windows.h>

namespace quaverly::platform {

namespace {

std::uint64_t Ticks(const FILETIME& time) {
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32U) | time.dwLowDateTime;
}

// When a process started, in the system's 100-nanosecond ticks.
std::uint64_t CreationOf(HANDLE process) {
    FILETIME created{};
    FILETIME exited{};
    FILETIME kernel{};
    FILETIME user{};
    return ::GetProcessTimes(process, &created, &exited, &kernel, &user) != 0 ? Ticks(created) : 0;
}

} // namespace

const TemporaryOwner& ThisProcessAsOwner() {
    static const TemporaryOwner owner = [] {
        char host[MAX_COMPUTERNAME_LENGTH + 1] = {};
        DWORD size = sizeof host;
        return TemporaryOwner{
            HostInFileName(::GetComputerNameA(host, &size) != 0 ? std::string(host, size) : ""),
            ::GetCurrentProcessId(), CreationOf(::GetCurrentProcess())};
    }();
    return owner;
}

bool ProcessIsRunning(std::uint64_t process, std::uint64_t started) {
    if (process == 0 || process > 0xFFFFFFFFU) {
        return false;
    }
    const HANDLE handle =
        ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(process));
    if (handle == nullptr) {
        // No such process; one that is not ours to look at is running.
        return ::GetLastError() != ERROR_INVALID_PARAMETER;
    }
    DWORD code = 0;
    const bool running = ::GetExitCodeProcess(handle, &code) != 0 && code == STILL_ACTIVE &&
                         (started == 0 || CreationOf(handle) == started);
    ::CloseHandle(handle);
    return running;
}

} // namespace quaverly::platform
