#include "app/run_messages.h"

#include "listing/visible_text.h"

namespace quaverly::app {

std::optional<RunMessage> MessageForRun(const listing::RunResult& result) {
    switch (result.outcome) {
    case listing::RunOutcome::Complete:
        return RunMessage{kListMadeText, platform::MessageIcon::None};
    case listing::RunOutcome::Incomplete: {
        std::string text =
            std::string(kListMadeText) + "\n\nSome folders or files could not be read:";
        std::size_t shown = 0;
        for (const listing::Failure& failure : result.failures) {
            if (shown == kFailuresShown) {
                break;
            }
            text += '\n';
            text += listing::VisibleText(failure.path);
            text += ": ";
            text += listing::VisibleText(failure.reason);
            ++shown;
        }
        if (result.failureCount > shown) {
            text += "\n...and " + std::to_string(result.failureCount - shown) + " more.";
        }
        return RunMessage{text, platform::MessageIcon::Exclamation};
    }
    case listing::RunOutcome::Cancelled:
        return RunMessage{"The listing was cancelled. The MP3 file list in\n" +
                              listing::VisibleText(result.listingPath) + "\nis incomplete.",
                          platform::MessageIcon::Exclamation};
    case listing::RunOutcome::FolderNotChosen:
    case listing::RunOutcome::Failed:
        break;
    }
    return std::nullopt;
}

std::string ProgressText(const std::string& folder, std::size_t files) {
    return "Reading " + listing::VisibleText(folder) + "\n" + std::to_string(files) +
           (files == 1 ? " file so far" : " files so far");
}

} // namespace quaverly::app
