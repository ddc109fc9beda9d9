#include "platform/file_error.h"
#include "platform/last_error.h"

#include <cerrno>
#include <cstring>

namespace quaverly::platform {

namespace {

thread_local ErrorCode t_lastError = kErrorSuccess;

} // namespace

void SetLastErrorCode(ErrorCode code) noexcept {
    t_lastError = code;
}

ErrorCode GetLastErrorCode() noexcept {
    return t_lastError;
}

ErrorCode ErrorCodeFromSystemError(int systemError) noexcept {
    return ErrorCodeFromErrno(systemError);
}

std::string DescribeSystemError(int systemError) {
    return std::strerror(systemError);
}

std::string DescribeOtherErrorCode(ErrorCode code) {
    return "Error " + std::to_string(code);
}

FileErrorCause CauseFromErrno(int systemError) noexcept {
    switch (systemError) {
    case ENOENT:
    case ENOTDIR:
        return FileErrorCause::NotFound;
    case EACCES:
    case EPERM:
        return FileErrorCause::AccessDenied;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return FileErrorCause::DiskFull;
    case EIO:
        return FileErrorCause::InputOutput;
    case EMFILE:
    case ENFILE:
        return FileErrorCause::TooManyOpenFiles;
    case EPIPE:
        return FileErrorCause::BrokenPipe;
    default:
        return FileErrorCause::Generic;
    }
}

} // namespace quaverly::platform
