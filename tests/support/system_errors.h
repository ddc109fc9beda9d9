#pragma once

// The system's error numbers that the tests inject through the fake file system, as the seam
// of each platform reports them: errno values here, Win32 error numbers on Windows.

#include "platform/last_error.h"

#include <cerrno>

namespace quaverly::testing {

#ifdef _WIN32
inline constexpr int kAccessDenied = platform::kErrorAccessDenied;
inline constexpr int kIoFailure = platform::kErrorIoDevice;
inline constexpr int kDiskFull = platform::kErrorDiskFull;
inline constexpr int kNotFound = platform::kErrorFileNotFound;
inline constexpr int kInterrupted = platform::kErrorOperationAborted;
#else
inline constexpr int kAccessDenied = EACCES;
inline constexpr int kIoFailure = EIO;
inline constexpr int kDiskFull = ENOSPC;
inline constexpr int kNotFound = ENOENT;
inline constexpr int kInterrupted = EINTR;
#endif

} // namespace quaverly::testing
