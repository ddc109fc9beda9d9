#include "listing/listing_run.h"

#include "listing/folder_walker.h"
#include "listing/html_format.h"
#include "listing/page_writer.h"
#include "listing/row_writer.h"

#include <memory>
#include <optional>

namespace quaverly::listing {

namespace {

std::string FullPath(platform::FileSystem& fileSystem, const std::string& name) {
    if (platform::IsAbsolutePath(name)) {
        return name;
    }
    try {
        std::string path = fileSystem.CurrentDirectory();
        if (path.empty() || path.back() != platform::kPathSeparator) {
            path += platform::kPathSeparator;
        }
        return path + name;
    } catch (const platform::FileError&) {
        return name;
    }
}

class StopWhenAsked final : public RunObserver {
public:
    explicit StopWhenAsked(readahead::ReadAhead::Recorder& recorder) : m_recorder(recorder) {}
    bool CancelRequested() override { return m_recorder.Stopped(); }

private:
    readahead::ReadAhead::Recorder& m_recorder;
};

// The rows of a walk that only looks ahead: each MP3 file is read instead of listed.
class ReadEachMp3File final : public WalkRows {
public:
    explicit ReadEachMp3File(readahead::ReadAhead::Recorder& recorder) : m_recorder(recorder) {}
    void FolderRow(const std::string& /*folder*/) override {}
    void FileRow(const std::string& path, bool listed) override {
        if (mpeg::IsMp3Name(path)) {
            m_recorder.ReadFile(path, listed);
        }
    }

private:
    readahead::ReadAhead::Recorder& m_recorder;
};

// The walk of `folder` that runs ahead of the run's own: the same walk, so that it makes the
// same calls in the same order.
void LookAhead(readahead::ReadAhead::Recorder& recorder, const std::string& folder) {
    StopWhenAsked observer(recorder);
    RunReport report(&observer);
    ReadEachMp3File rows(recorder);
    WalkContext context{recorder, report, rows};
    WalkFolder(folder, "*.*", true, context);
}

RunOutcome OutcomeOf(const RunReport& report) {
    if (report.Cancelled()) {
        return RunOutcome::Cancelled;
    }
    return report.FailureCount() == 0 ? RunOutcome::Complete : RunOutcome::Incomplete;
}

} // namespace

RunResult MakeListing(ListingSession& session, const std::string& folder,
                      const ListingServices& services) {
    RunResult result;
    if (folder.empty()) {
        result.outcome = RunOutcome::FolderNotChosen;
        return result;
    }
    result.folder = folder;
    result.listingPath = services.openOutput
                             ? std::string("standard output")
                             : FullPath(services.fileSystem, services.listingFileName);

    std::unique_ptr<platform::OutputFile> file;
    try {
        file = services.openOutput ? services.openOutput()
                                   : services.fileSystem.CreateReplacement(services.listingFileName);
    } catch (const platform::FileError& error) {
        result.outcome = RunOutcome::Failed;
        result.listingNotCreated = true;
        result.failureReason = error.what();
        return result;
    }

    RunReport report(services.observer);
    PageWriter page(std::move(file));
    HtmlFormat html;
    ListingFormat& format = services.format != nullptr ? *services.format : html;
    try {
        // The listing file is open already, so it stays where the run started; the chosen
        // folder stays current after the run.
        if (const int error = services.fileSystem.SetCurrentDirectory(result.folder); error != 0) {
            // The walk does not need it; the next run's page would land elsewhere than said.
            report.RecordFailure(result.folder, platform::ErrorCodeFromSystemError(error),
                                 "could not be made the current folder: " +
                                     platform::DescribeSystemError(error));
        }
        format.Begin(page, result.folder);

        std::optional<readahead::ReadAhead> ahead;
        platform::FileSystem* walked = &services.fileSystem;
        const mpeg::ScanNeeds needs = format.Needs().scan;
        if (session.readAhead.threads > 0) {
            readahead::Options options = session.readAhead;
            // Reading threads wait for the storage anyway: they take the file's end along,
            // which the walk itself reads only when the stream's headers leave it unsettled.
            options.preread = {.tagEnd = needs.tags, .fileEnd = needs.playingTime || needs.verify};
            ahead.emplace(services.fileSystem, options, session.tagWorkers.get(),
                          [&report] { return report.CancelRequested(); });
            ahead->Start([folder = result.folder](readahead::ReadAhead::Recorder& recorder) {
                LookAhead(recorder, folder);
            });
            walked = &*ahead;
        }
        const mpeg::ScanSources sources{*walked, session.tagWorkers.get(),
                                        [&report] { return report.CancelRequested(); }, needs};
        PageRows rows(page, format, session.analyzer, sources, session.shading, report);
        WalkContext context{*walked, report, rows};
        WalkFolder(result.folder, "*.*", true, context);
        // The page is ended and in its place before the threads that read ahead are waited
        // for: one held up on a slow share holds up no page.
        format.End(page, report);
        try {
            page.Close();
        } catch (const platform::FileError& error) {
            if (error.Cause() != platform::FileErrorCause::NotDurable) {
                throw;
            }
            report.RecordFailure(result.listingPath, ErrorCodeOf(error),
                                 std::string("in its place, but it may not survive a crash: ") +
                                     error.what());
        }
        if (services.observer != nullptr) {
            services.observer->ListingWritten(result.listingPath);
        }
        ahead.reset();
        if (session.tagWorkers) {
            session.tagWorkers->Forget();
        }
        if (session.tagWorkers && session.tagWorkers->StartFailure()) {
            report.RecordFailure(session.tagWorkers->Program(), platform::kErrorInternal,
                                 *session.tagWorkers->StartFailure());
        }
        result.outcome = OutcomeOf(report);
    } catch (const platform::FileError& error) {
        // The page's destructor closes the file; what was written stays, and the run says it
        // is not a whole page. A stop asked while the output waited for its reader is a cancel.
        result.outcome = error.Cause() == platform::FileErrorCause::Cancelled
                             ? RunOutcome::Cancelled
                             : RunOutcome::Failed;
        result.failureReason = error.what();
        result.failureCause = error.Cause();
    }
    result.failures = report.Failures();
    result.failureCount = report.FailureCount();
    result.folderCount = report.FolderCount();
    result.fileCount = report.FileCount();
    return result;
}

} // namespace quaverly::listing
