#include "frontend/run_messages.h"

#include "listing/visible_text.h"

namespace quaverly::frontend {

namespace {

std::string ListMade(const listing::RunResult& result, SayWhere where) {
    std::string text = kListMadeText;
    if (where == SayWhere::Yes) {
        text += "\n\nWritten to\n" + listing::VisibleText(result.listingPath);
    }
    return text;
}

void AppendFailures(std::string& text, const listing::RunResult& result) {
    text += "\n\nSome folders or files could not be read:";
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
}

} // namespace

std::optional<RunMessage> MessageForRun(const listing::RunResult& result, SayWhere where) {
    switch (result.outcome) {
    case listing::RunOutcome::Complete:
        return RunMessage{ListMade(result, where), MessageIcon::None, kRunCaption};
    case listing::RunOutcome::Incomplete: {
        std::string text = ListMade(result, where);
        AppendFailures(text, result);
        return RunMessage{text, MessageIcon::Exclamation, kRunCaption};
    }
    case listing::RunOutcome::Cancelled:
        return RunMessage{"The listing was cancelled. The MP3 file list in\n" +
                              listing::VisibleText(result.listingPath) + "\nis incomplete.",
                          MessageIcon::Exclamation, kRunCaption};
    case listing::RunOutcome::Failed:
        return MessageForFailure(result.failureReason);
    case listing::RunOutcome::FolderNotChosen:
        break;
    }
    return std::nullopt;
}

std::optional<RunMessage> MessageForCatalogue(const listing::RunResult& result,
                                              const std::optional<std::string>& openFailure) {
    switch (result.outcome) {
    case listing::RunOutcome::Complete:
    case listing::RunOutcome::Incomplete: {
        if (result.outcome == listing::RunOutcome::Complete && !openFailure) {
            return std::nullopt;
        }
        std::string text = std::string(kCatalogueMadeText) + "\n\nWritten to\n" +
                           listing::VisibleText(result.listingPath);
        if (openFailure) {
            text += "\n\nIt could not be opened in the browser:\n" + *openFailure;
        }
        if (result.outcome == listing::RunOutcome::Incomplete) {
            AppendFailures(text, result);
        }
        return RunMessage{text, MessageIcon::Exclamation, kRunCaption};
    }
    case listing::RunOutcome::Cancelled:
        return RunMessage{"The catalogue was cancelled. The MP3 catalogue in\n" +
                              listing::VisibleText(result.listingPath) +
                              "\nis incomplete, and was not opened.",
                          MessageIcon::Exclamation, kRunCaption};
    case listing::RunOutcome::Failed:
        return MessageForFailure(result.failureReason);
    case listing::RunOutcome::FolderNotChosen:
        break;
    }
    return std::nullopt;
}

RunMessage MessageForFailure(const std::string& reason) {
    return {std::string(kCommandFailureText) + "\n\n" + listing::VisibleText(reason),
            MessageIcon::Exclamation,
            {}};
}

std::string ProgressText(const std::string& folder, std::size_t files) {
    return "Reading " + listing::VisibleText(folder) + "\n" + std::to_string(files) +
           (files == 1 ? " file so far" : " files so far");
}

} // namespace quaverly::frontend
