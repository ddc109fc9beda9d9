#include "listing/run_report.h"

#include "platform/file_system.h"

namespace quaverly::listing {

void RunReport::RecordFailure(std::string path, platform::ErrorCode code, std::string reason) {
    Failure failure{platform::ShownPath(path), code, std::move(reason)};
    if (m_observer != nullptr) {
        m_observer->FailureRecorded(failure);
    }
    if (m_failures.size() < kKeptFailures) {
        m_failures.push_back(std::move(failure));
    }
    ++m_failureCount;
}

void RunReport::RecordFailure(std::string path, const platform::FileError& error) {
    RecordFailure(std::move(path), ErrorCodeOf(error), error.Reason());
}

void RunReport::FolderEntered(const std::string& folder) {
    ++m_folderCount;
    if (m_observer != nullptr) {
        m_observer->FolderEntered(platform::ShownPath(folder));
    }
}

void RunReport::FileListed(const std::string& path) {
    ++m_fileCount;
    if (m_observer != nullptr) {
        m_observer->FileListed(path);
    }
}

bool RunReport::CancelRequested() {
    if (!m_cancelled && m_observer != nullptr) {
        m_cancelled = m_observer->CancelRequested();
    }
    return m_cancelled;
}

platform::ErrorCode ErrorCodeOf(const platform::FileError& error) noexcept {
    if (error.SystemError() != 0) {
        return platform::ErrorCodeFromSystemError(error.SystemError());
    }
    switch (error.Cause()) {
    case platform::FileErrorCause::NotFound:
        return platform::kErrorFileNotFound;
    case platform::FileErrorCause::AccessDenied:
    case platform::FileErrorCause::NotRegularFile:
        return platform::kErrorAccessDenied;
    case platform::FileErrorCause::DiskFull:
        return platform::kErrorDiskFull;
    case platform::FileErrorCause::InputOutput:
        return platform::kErrorIoDevice;
    case platform::FileErrorCause::TooManyOpenFiles:
        return platform::kErrorTooManyOpenFiles;
    case platform::FileErrorCause::Cancelled:
        return platform::kErrorOperationAborted;
    case platform::FileErrorCause::EndOfFile:
    case platform::FileErrorCause::BrokenPipe:
    case platform::FileErrorCause::NotDurable:
    case platform::FileErrorCause::Generic:
        break;
    }
    return platform::kErrorIoDevice;
}

} // namespace quaverly::listing
