#include "platform/file_error.h"
#include "platform/last_error.h"

#include <windows.h>

namespace quaverly::platform {

// The walk's codes are Win32 error numbers, so here they live in the thread's own last-error
// value, where every Win32 call leaves its failure.
void SetLastErrorCode(ErrorCode code) noexcept {
    ::SetLastError(code);
}

ErrorCode GetLastErrorCode() noexcept {
    return ::GetLastError();
}

ErrorCode ErrorCodeFromSystemError(int systemError) noexcept {
    return static_cast<ErrorCode>(systemError);
}

// The same short reasons as on Linux where there is one, so that both say the same of the
// same failure; the system's own text for the rest.
std::string DescribeSystemError(int systemError) {
    return DescribeErrorCode(static_cast<ErrorCode>(systemError));
}

std::string DescribeOtherErrorCode(ErrorCode code) {
    char* text = nullptr;
    const DWORD length = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&text), 0,
        nullptr);
    std::string reason;
    if (length > 0 && text != nullptr) {
        reason.assign(text, length);
    }
    ::LocalFree(text);
    // One line, without the full stop and line break the system's texts end with.
    while (!reason.empty() &&
           (reason.back() == '\n' || reason.back() == '\r' || reason.back() == '.')) {
        reason.pop_back();
    }
    return reason.empty() ? "Error " + std::to_string(code) : reason;
}

FileErrorCause CauseFromErrno(int systemError) noexcept {
    switch (static_cast<DWORD>(systemError)) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
        return FileErrorCause::NotFound;
    case ERROR_ACCESS_DENIED:
        return FileErrorCause::AccessDenied;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return FileErrorCause::DiskFull;
    case ERROR_IO_DEVICE:
    case ERROR_CRC:
    case ERROR_READ_FAULT:
    case ERROR_WRITE_FAULT:
    case ERROR_NOT_READY:
        return FileErrorCause::InputOutput;
    case ERROR_TOO_MANY_OPEN_FILES:
        return FileErrorCause::TooManyOpenFiles;
    case ERROR_NO_DATA:
    case ERROR_BROKEN_PIPE:
        return FileErrorCause::BrokenPipe;
    default:
        return FileErrorCause::Generic;
    }
}

} // namespace quaverly::platform
