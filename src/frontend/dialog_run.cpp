#include "frontend/dialog_run.h"

#include "mpeg/tag_worker_pool.h"

namespace quaverly::frontend {

listing::ListingSession& ProcessListingSession() {
    static listing::ListingSession session(platform::SystemFileSystem(),
                                           std::make_unique<mpeg::TagWorkerPool>());
    return session;
}

listing::RunResult RunFromDialog(const DialogServices& services, const FolderRequest& request,
                                 platform::FolderChooser& browser,
                                 platform::MessageBoxService& dialogBoxes,
                                 const ProgressFactory& progress) {
    platform::FileSystem& fileSystem =
        services.fileSystem != nullptr ? *services.fileSystem : platform::SystemFileSystem();
    listing::ListingSession& session =
        services.session != nullptr ? *services.session : ProcessListingSession();
    platform::MessageBoxService& boxes = services.boxes != nullptr ? *services.boxes : dialogBoxes;
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
                  platform::MessageIcon::Exclamation,
                  {}});
            return {};
        }
    }
    platform::GivenFolder given(request.folder);
    platform::FolderChooser& chooser = request.folder   ? given
                                       : services.chooser != nullptr ? *services.chooser
                                                                     : browser;
    listing::RunResult result;
    {
        const std::unique_ptr<listing::RunObserver> observer = progress();
        listing::ListingServices run{fileSystem, chooser, boxes, observer.get()};
        result = listing::MakeListing(session, run);
    }
    if (const auto message =
            MessageForRun(result, request.folder ? SayWhere::Yes : SayWhere::No)) {
        show(*message);
    }
    return result;
}

IconPlace CentreIconInClient(int clientWidth, int clientHeight, int iconWidth,
                             int iconHeight) noexcept {
    return {(clientWidth - iconWidth + 1) / 2, (clientHeight - iconHeight + 1) / 2};
}

} // namespace quaverly::frontend
