#include "frontend/catalogue_run.h"

#include "frontend/catalogue_place.h"
#include "frontend/run_messages.h"
#include "hyperlink/link_launcher.h"
#include "listing/catalogue_format.h"
#include "platform/desktop/documents_folder.h"

namespace quaverly::frontend {

listing::RunResult MakeCatalogueFromDesktop(const DialogServices& services,
                                            const FolderRequest& request,
                                            MessageBoxService& dialogBoxes,
                                            const ProgressFactory& progress) {
    platform::FileSystem& fileSystem =
        services.fileSystem != nullptr ? *services.fileSystem : platform::SystemFileSystem();
    listing::ListingSession& session =
        services.session != nullptr ? *services.session : ProcessListingSession();
    platform::Desktop& desktop =
        services.desktop != nullptr ? *services.desktop : platform::SystemDesktop();
    MessageBoxService& boxes = services.boxes != nullptr ? *services.boxes : dialogBoxes;
    const auto show = [&boxes](const RunMessage& message) {
        boxes.ShowCaptioned(message.caption, message.text, message.icon);
    };

    if (request.problem || !request.folder) {
        if (request.problem) {
            show(*request.problem);
        }
        return {};
    }
    const std::string& folder = *request.folder;
    if (const auto why = WhyNotAFolder(fileSystem, folder)) {
        show({"Cannot make the catalogue of\n" + ShownInBox(folder) + "\n" + *why,
              MessageIcon::Exclamation,
              {}});
        return {};
    }
    const std::string documents = services.documentsFolder.empty()
                                      ? platform::DocumentsFolder(fileSystem)
                                      : services.documentsFolder;
    if (documents.empty()) {
        show({"Cannot make the catalogue of\n" + ShownInBox(folder) +
                  "\nThere is no documents folder to put it in: no home folder is set.",
              MessageIcon::Exclamation,
              {}});
        return {};
    }
    const CataloguePlace place = PlaceCatalogue(fileSystem, documents, folder);
    if (place.problem) {
        show(*place.problem);
        return {};
    }

    listing::CatalogueFormat format(listing::LinkBase(place.path, folder));
    listing::RunResult result;
    {
        const std::unique_ptr<listing::RunObserver> observer = progress();
        listing::ListingServices run{fileSystem, observer.get()};
        run.listingFileName = place.path;
        run.format = &format;
        result = listing::MakeListing(session, folder, run);
    }
    std::optional<std::string> openFailure;
    if (result.outcome == listing::RunOutcome::Complete ||
        result.outcome == listing::RunOutcome::Incomplete) {
        const int launched = OpenLinkTarget(listing::FileUrl(place.path),
                                            platform::show_command::ShowNormal, desktop);
        if (!platform::LaunchSucceeded(launched)) {
            openFailure = DescribeLaunchError(launched);
        }
    }
    if (const auto message = MessageForCatalogue(result, openFailure)) {
        show(*message);
    }
    return result;
}

} // namespace quaverly::frontend
