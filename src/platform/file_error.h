#pragma once

#include <stdexcept>
#include <string>

namespace quaverly::platform {

// Why a file operation failed. EndOfFile is kept apart from the rest because the frame scan
// treats a position past the end differently from any other failure.
enum class FileErrorCause {
    Generic,
    NotFound,
    AccessDenied,
    NotRegularFile,
    EndOfFile,
    DiskFull,
    InputOutput,
    TooManyOpenFiles,
    Cancelled,
    // The reader of a pipe closed its end.
    BrokenPipe,
    // A file is in its place, but its place may not survive a crash: the folder's sync failed.
    NotDurable,
};

// The failure of one file operation: what was attempted, on which path, and why.
class FileError : public std::runtime_error {
public:
    FileError(FileErrorCause cause, int systemError, std::string operation, std::string path);

    // Builds the error from an errno value, choosing the cause that fits it.
    static FileError FromErrno(int systemError, std::string operation, std::string path);

    FileErrorCause Cause() const noexcept { return m_cause; }
    // The system's error number behind the failure (errno here, the Win32 error number on
    // Windows), or 0 when there is none.
    int SystemError() const noexcept { return m_systemError; }
    const std::string& Operation() const noexcept { return m_operation; }
    const std::string& Path() const noexcept { return m_path; }
    // The reason alone, without the path: "No space left on device".
    std::string Reason() const;

private:
    FileErrorCause m_cause;
    int m_systemError;
    std::string m_operation;
    std::string m_path;
};

FileErrorCause CauseFromErrno(int systemError) noexcept;

} // namespace quaverly::platform
