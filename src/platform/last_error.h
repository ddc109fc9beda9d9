#pragma once

#include <cstdint>
#include <string>

namespace quaverly::platform {

// Error codes of the walk, numbered as on the platform the program was first written for, so
// that every caller and every page speaks of the same failure by the same number.
using ErrorCode = std::uint32_t;

inline constexpr ErrorCode kErrorSuccess = 0;
inline constexpr ErrorCode kErrorFileNotFound = 2;
inline constexpr ErrorCode kErrorPathNotFound = 3;
inline constexpr ErrorCode kErrorTooManyOpenFiles = 4;
inline constexpr ErrorCode kErrorAccessDenied = 5;
inline constexpr ErrorCode kErrorNotEnoughMemory = 8;
inline constexpr ErrorCode kErrorNoMoreFiles = 18;
inline constexpr ErrorCode kErrorSharingViolation = 32;
inline constexpr ErrorCode kErrorDiskFull = 112;
inline constexpr ErrorCode kErrorBufferOverflow = 111;
inline constexpr ErrorCode kErrorFilenameTooLong = 206;
inline constexpr ErrorCode kErrorDirectory = 267;
inline constexpr ErrorCode kErrorOperationAborted = 995;
inline constexpr ErrorCode kErrorIoDevice = 1117;
inline constexpr ErrorCode kErrorInternal = 1359;
inline constexpr ErrorCode kErrorCantResolveFilename = 1921;

// An errno value that has no number of its own above is carried in this range (bit 29 marks
// codes that an application defines), so its text is never lost.
inline constexpr ErrorCode kErrnoCodeBase = 0x20000000;

// The thread's last-error value: the walk leaves its result here for its caller.
void SetLastErrorCode(ErrorCode code) noexcept;
ErrorCode GetLastErrorCode() noexcept;

ErrorCode ErrorCodeFromErrno(int systemError) noexcept;
// The code of a system error number as FileError carries it: an errno value here, a Win32
// error number (the code itself) on Windows.
ErrorCode ErrorCodeFromSystemError(int systemError) noexcept;
// The system's own text for an error number of that kind.
std::string DescribeSystemError(int systemError);
// The reason for a code that DescribeErrorCode has no text of its own for.
std::string DescribeOtherErrorCode(ErrorCode code);
// A short reason for a code, as a person reads it: "Permission denied".
std::string DescribeErrorCode(ErrorCode code);

} // namespace quaverly::platform
