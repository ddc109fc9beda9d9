#include "frontend/dialog_run.h"

#include "mpeg/tag_worker_pool.h"

#include <utility>

namespace quaverly::frontend {

listing::ListingSession& ProcessListingSession() {
    static listing::ListingSession session(platform::SystemFileSystem(),
                                           std::make_unique<mpeg::TagWorkerPool>());
    return session;
}

listing::RunResult RunFromDialog(const DialogServices& services, const FolderRequest& request,
                                 FolderChooser& browser, MessageBoxService& dialogBoxes,
                                 const ProgressFactory& progress) {
    platform::FileSystem& fileSystem =
        services.fileSystem != nullptr ? *services.fileSystem : platform::SystemFileSystem();
    listing::ListingSession& session =
        services.session != nullptr ? *services.session : ProcessListingSession();
    MessageBoxService& boxes = services.boxes != nullptr ? *services.boxes : dialogBoxes;
    const auto show = [&boxes](const RunMessage& message) {
        boxes.ShowCaptioned(message.caption, message.text, message.icon);
    };

    if (request.problem) {
        show(*request.problem);
        return {};
    }
    if (request.folder) {
        if (const auto why = WhyNotAFolder(fileSystem, *request.folder)) {
            show({"Cannot list\n" + ShownInBox(*request.folder) + "\n" + *why,
                  MessageIcon::Exclamation,
                  {}});
            return {};
        }
    }
    FolderChooser& chooser = services.chooser != nullptr ? *services.chooser : browser;
    listing::RunResult result;
    {
        const std::unique_ptr<listing::RunObserver> observer = progress();
        const std::optional<std::string> folder =
            request.folder ? request.folder : chooser.ChooseFolder(kChooserTitle);
        if (folder) {
            result = listing::MakeListing(session, *folder, {fileSystem, observer.get()});
        }
        if (result.listingNotCreated) {
            boxes.Show(kListingNotCreatedText, MessageIcon::Exclamation);
        }
    }
    if (const auto message =
            MessageForRun(result, request.folder ? SayWhere::Yes : SayWhere::No)) {
        show(*message);
    }
    return result;
}

void DialogRuns::List(FolderRequest request, const Run& run) {
    if (m_running) {
        m_waiting = std::move(request);
        return;
    }
    // A failure that leaves a run must not leave the dialog refusing every run after it.
    struct Ending {
        DialogRuns& runs;
        ~Ending() {
            runs.m_running = false;
            runs.m_waiting.reset();
        }
    } ending{*this};
    m_running = true;
    std::optional<FolderRequest> next = std::move(request);
    while (next) {
        run(*next);
        next = std::exchange(m_waiting, std::nullopt);
    }
}

IconPlace CentreIconInClient(int clientWidth, int clientHeight, int iconWidth,
                             int iconHeight) noexcept {
    return {(clientWidth - iconWidth + 1) / 2, (clientHeight - iconHeight + 1) / 2};
}

} // namespace quaverly::frontend
