#pragma once

#include "platform/file_error.h"
#include "platform/last_error.h"

#include <cstddef>
#include <string>
#include <vector>

namespace quaverly::listing {

// A folder or file that the run could not read in full.
struct Failure {
    std::string path;
    platform::ErrorCode code = 0;
    std::string reason;
};

// Hears of a run's progress as it happens. Called on the thread that runs the walk.
class RunObserver {
public:
    virtual ~RunObserver() = default;

    virtual void FolderEntered(const std::string& /*folder*/) {}
    virtual void FileListed(const std::string& /*path*/) {}
    virtual void FailureRecorded(const Failure& /*failure*/) {}
    // Asked after every file; true stops the walk there, and the page is ended properly.
    virtual bool CancelRequested() { return false; }
    // The listing is whole and in its place; the run still ends the threads and the helpers it
    // started, which may wait for a slow share.
    virtual void ListingWritten(const std::string& /*listingPath*/) {}
};

// What one run met: its counts, its failures and whether it was stopped.
class RunReport {
public:
    explicit RunReport(RunObserver* observer = nullptr) : m_observer(observer) {}

    void RecordFailure(std::string path, platform::ErrorCode code, std::string reason);
    void RecordFailure(std::string path, const platform::FileError& error);
    void FolderEntered(const std::string& folder);
    void FileListed(const std::string& path);
    // Asks the observer; once it has said yes, the answer stays yes.
    bool CancelRequested();

    // The first failures, at most kKeptFailures of them; FailureCount() counts them all. Every
    // one reaches the observer as it happens.
    const std::vector<Failure>& Failures() const noexcept { return m_failures; }
    std::size_t FailureCount() const noexcept { return m_failureCount; }
    std::size_t FolderCount() const noexcept { return m_folderCount; }
    std::size_t FileCount() const noexcept { return m_fileCount; }
    bool Cancelled() const noexcept { return m_cancelled; }

    static constexpr std::size_t kKeptFailures = 1000;

private:
    RunObserver* m_observer;
    std::vector<Failure> m_failures;
    std::size_t m_failureCount = 0;
    std::size_t m_folderCount = 0;
    std::size_t m_fileCount = 0;
    bool m_cancelled = false;
};

// The walk's number for a file error: from its errno value where it has one.
platform::ErrorCode ErrorCodeOf(const platform::FileError& error) noexcept;

} // namespace quaverly::listing
