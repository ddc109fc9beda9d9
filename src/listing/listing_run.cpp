#include "listing/listing_run.h"

#include "listing/folder_walker.h"
#include "listing/html_format.h"
#include "listing/page_writer.h"

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

// The page of a walk that only looks ahead: nobody reads it.
class DiscardedOutput final : public platform::OutputFile {
public:
    void Write(const char*, std::size_t) override {}
    void Close() override {}
};

class StopWhenAsked final : public RunObserver {
public:
    explicit StopWhenAsked(readahead::ReadAhead::Recorder& recorder) : m_recorder(recorder) {}
    bool CancelRequested() override { return m_recorder.Stopped(); }

private:
    readahead::ReadAhead::Recorder& m_recorder;
};

// The walk of `folder` that runs ahead of the run's own: the same walk, so that it makes the
// same calls in the same order, with each MP3 file read instead of listed.
void LookAhead(readahead::ReadAhead::Recorder& recorder, const std::string& folder) {
    PageWriter page(std::make_unique<DiscardedOutput>());
    StopWhenAsked observer(recorder);
    RunReport report(&observer);
    CMp3Analyzer analyzer(recorder);
    RowShading shading;
    HtmlFormat format;
    WalkContext context{recorder, page, analyzer, shading, report, format};
    context.visitFile = [&recorder](const std::string& path, bool listed) {
        if (IsMp3Name(path)) {
            recorder.ReadFile(path, listed);
        }
    };
    WalkFolder(folder, "*.*", true, context);
}

// Lets the analyser open files through a run's file system, and ask the run whether it was
// cancelled during a long scan, for as long as the run lasts.
class AnalyserForRun {
public:
    AnalyserForRun(CMp3Analyzer& analyzer, platform::FileSystem& fileSystem, RunReport& report)
        : m_analyzer(analyzer), m_before(analyzer.FileSystem()) {
        m_analyzer.UseFileSystem(fileSystem);
        m_analyzer.SetCancelCheck([&report] { return report.CancelRequested(); });
    }
    ~AnalyserForRun() {
        m_analyzer.UseFileSystem(m_before);
        m_analyzer.SetCancelCheck({});
    }
    AnalyserForRun(const AnalyserForRun&) = delete;
    AnalyserForRun& operator=(const AnalyserForRun&) = delete;

private:
    CMp3Analyzer& m_analyzer;
    platform::FileSystem& m_before;
};

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
        if (session.readAhead.threads > 0) {
            ahead.emplace(services.fileSystem, session.readAhead, session.tagWorkers.get(),
                          [&report] { return report.CancelRequested(); });
            ahead->Start([folder = result.folder](readahead::ReadAhead::Recorder& recorder) {
                LookAhead(recorder, folder);
            });
            walked = &*ahead;
        }
        {
            const AnalyserForRun forRun(session.analyzer, *walked, report);
            WalkContext context{*walked, page, session.analyzer, session.shading, report, format};
            WalkFolder(result.folder, "*.*", true, context);
        }
        // The page is ended and in its place before the threads that read ahead are waited
        // for: one held up on a slow share holds up no page.
        format.End(page);
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
