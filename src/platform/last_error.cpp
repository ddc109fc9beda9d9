#include "platform/last_error.h"

#include <array>
#include <cerrno>
#include <cstring>

namespace quaverly::platform {

namespace {

struct ErrnoMapping {
    int systemError;
    ErrorCode code;
};

// First match wins in both directions, so the errno a code turns back into comes first.
constexpr std::array kErrnoMappings{
    ErrnoMapping{ENOENT, kErrorFileNotFound},
    ErrnoMapping{ENOENT, kErrorPathNotFound},
    ErrnoMapping{ENOTDIR, kErrorDirectory},
    ErrnoMapping{EACCES, kErrorAccessDenied},
    ErrnoMapping{EPERM, kErrorAccessDenied},
    ErrnoMapping{EMFILE, kErrorTooManyOpenFiles},
    ErrnoMapping{ENFILE, kErrorTooManyOpenFiles},
    ErrnoMapping{ENOMEM, kErrorNotEnoughMemory},
    ErrnoMapping{ENOSPC, kErrorDiskFull},
    ErrnoMapping{ENAMETOOLONG, kErrorFilenameTooLong},
    ErrnoMapping{EIO, kErrorIoDevice},
    ErrnoMapping{ELOOP, kErrorCantResolveFilename},
    ErrnoMapping{EINTR, kErrorOperationAborted},
};

} // namespace

ErrorCode ErrorCodeFromErrno(int systemError) noexcept {
    for (const ErrnoMapping& mapping : kErrnoMappings) {
        if (mapping.systemError == systemError) {
            return mapping.code;
        }
    }
    return kErrnoCodeBase | static_cast<ErrorCode>(systemError);
}

std::string DescribeErrorCode(ErrorCode code) {
    switch (code) {
    case kErrorSuccess:
        return "Success";
    case kErrorPathNotFound:
        return "No such folder";
    case kErrorNoMoreFiles:
        return "No more entries";
    case kErrorBufferOverflow:
        return "Path too long for the system";
    case kErrorSharingViolation:
        return "File in use by another process";
    case kErrorInternal:
        return "Internal error";
    case kErrorCantResolveFilename:
        return "Folder is already being listed (symbolic link loop)";
    default:
        break;
    }
    for (const ErrnoMapping& mapping : kErrnoMappings) {
        if (mapping.code == code) {
            return std::strerror(mapping.systemError);
        }
    }
    if ((code & kErrnoCodeBase) != 0) {
        return std::strerror(static_cast<int>(code & ~kErrnoCodeBase));
    }
    return DescribeOtherErrorCode(code);
}

} // namespace quaverly::platform
