#include "platform/file_error.h"

#include "platform/file_system.h"
#include "platform/last_error.h"

namespace quaverly::platform {

namespace {

std::string Describe(FileErrorCause cause, int systemError) {
    if (systemError != 0) {
        return DescribeSystemError(systemError);
    }
    switch (cause) {
    case FileErrorCause::NotFound:
        return "No such file or directory";
    case FileErrorCause::AccessDenied:
        return "Permission denied";
    case FileErrorCause::NotRegularFile:
        return "Not a regular file";
    case FileErrorCause::EndOfFile:
        return "Unexpected end of file";
    case FileErrorCause::DiskFull:
        return "No space left on device";
    case FileErrorCause::InputOutput:
        return "Input/output error";
    case FileErrorCause::TooManyOpenFiles:
        return "Too many open files";
    case FileErrorCause::Cancelled:
        return "Cancelled before it was read to its end";
    case FileErrorCause::BrokenPipe:
        return "Broken pipe";
    case FileErrorCause::NotDurable:
        return "Input/output error";
    case FileErrorCause::Generic:
        break;
    }
    return "Unknown error";
}

std::string Compose(FileErrorCause cause, int systemError, const std::string& operation,
                    const std::string& path) {
    return operation + " " + ShownPath(path) + ": " + Describe(cause, systemError);
}

} // namespace

FileError::FileError(FileErrorCause cause, int systemError, std::string operation, std::string path)
    : std::runtime_error(Compose(cause, systemError, operation, path)), m_cause(cause),
      m_systemError(systemError), m_operation(std::move(operation)), m_path(std::move(path)) {}

FileError FileError::FromErrno(int systemError, std::string operation, std::string path) {
    return FileError(CauseFromErrno(systemError), systemError, std::move(operation),
                     std::move(path));
}

std::string FileError::Reason() const {
    return Describe(m_cause, m_systemError);
}

} // namespace quaverly::platform
