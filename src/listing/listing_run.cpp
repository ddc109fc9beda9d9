#include "listing/listing_run.h"

#include "listing/folder_walker.h"
#include "listing/html_page.h"
#include "listing/page_writer.h"

#include <memory>

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

void WriteDocumentEnd(PageWriter& page) {
    page.Write(kTableEnd);
    page.Write(kFooterStart);
    page.Write(kHomePageUrl);
    page.Write(kFooterLinkMiddle);
    page.Write(kHomePageUrl);
    page.Write(kFooterEnd);
}

RunOutcome OutcomeOf(const RunReport& report) {
    if (report.Cancelled()) {
        return RunOutcome::Cancelled;
    }
    return report.FailureCount() == 0 ? RunOutcome::Complete : RunOutcome::Incomplete;
}

} // namespace

RunResult MakeListing(ListingSession& session, const ListingServices& services) {
    RunResult result;
    std::optional<std::string> chosen = services.chooser.ChooseFolder("Select Folder");
    if (!chosen || chosen->empty()) {
        result.outcome = RunOutcome::FolderNotChosen;
        return result;
    }
    result.folder = std::move(*chosen);
    result.listingPath = FullPath(services.fileSystem, services.listingFileName);

    std::unique_ptr<platform::OutputFile> file;
    try {
        file = services.fileSystem.CreateOrTruncate(services.listingFileName);
    } catch (const platform::FileError& error) {
        services.messageBox.Show("error", platform::MessageIcon::Exclamation);
        result.outcome = RunOutcome::Failed;
        result.failureReason = error.what();
        return result;
    }

    RunReport report(services.observer);
    PageWriter page(std::move(file));
    try {
        page.Write(kDocumentHead);
        // The listing file is open already, so it stays where the run started; the chosen
        // folder stays current after the run.
        services.fileSystem.SetCurrentDirectory(result.folder);
        page.Write(kHeadingStart);
        page.WriteEscaped(result.folder);
        page.Write(kHeadingEnd);
        page.Write(kTableStart);

        WalkContext context{services.fileSystem, page,   session.analyzer,
                            session.shading,     report, session.tagWorkers.get()};
        WalkFolder(result.folder, "*.*", true, context);
        if (session.tagWorkers && session.tagWorkers->StartFailure()) {
            report.RecordFailure(session.tagWorkers->Program(), platform::kErrorInternal,
                                 *session.tagWorkers->StartFailure());
        }

        WriteDocumentEnd(page);
        page.Close();
        result.outcome = OutcomeOf(report);
    } catch (const platform::FileError& error) {
        // The page's destructor closes the file; what was written stays, and the run says it
        // is not a whole page.
        result.outcome = RunOutcome::Failed;
        result.failureReason = error.what();
    }
    result.failures = report.Failures();
    result.failureCount = report.FailureCount();
    result.folderCount = report.FolderCount();
    result.fileCount = report.FileCount();
    return result;
}

} // namespace quaverly::listing
