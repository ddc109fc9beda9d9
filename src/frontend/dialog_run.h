#pragma once

#include "frontend/folder_chooser.h"
#include "frontend/given_folder.h"
#include "frontend/message_box.h"
#include "frontend/progress_pacing.h"
#include "hyperlink/link_state.h"
#include "listing/listing_run.h"
#include "platform/desktop/desktop.h"
#include "platform/file_system.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace quaverly::frontend {

// What the main dialog works with, on either toolkit. Every member left empty means the real
// one: the system's file system and desktop, the process's listing session, the dialog's own
// folder browser and message box, and the steady clock. Tests put fakes in their place.
struct DialogServices {
    platform::FileSystem* fileSystem = nullptr;
    listing::ListingSession* session = nullptr;
    FolderChooser* chooser = nullptr;
    platform::Desktop* desktop = nullptr;
    // The boxes of a run: its completion message and its failures.
    MessageBoxService* boxes = nullptr;
    Clock clock;
    // The folder whose Quaverly folder catalogues go in; empty: the desktop's documents folder.
    std::string documentsFolder;
};

// The session a dialog keeps from run to run, for as long as the process lives: the analyser and
// the row shading carry over, and the tag helpers stay up between runs. Made by the first run,
// on the thread that runs the dialog, which lives as long as the helpers may.
listing::ListingSession& ProcessListingSession();

// Makes the progress display of one run; it is gone before the run's box shows.
using ProgressFactory = std::function<std::unique_ptr<listing::RunObserver>()>;

// One run started from the main dialog, and the box that ends it. With an empty request the
// folder comes from the browser; a request's folder is listed as if the browser had given it,
// after a check that it is a folder, and its box says where the page went; a request's problem
// is only shown. `browser` and `boxes` are the dialog's; `services` may stand in for them.
listing::RunResult RunFromDialog(const DialogServices& services, const FolderRequest& request,
                                 FolderChooser& browser, MessageBoxService& boxes,
                                 const ProgressFactory& progress);

// One dialog's runs, one at a time. A folder given while a run is on (a drop that a progress
// window's message loop delivers) is listed once that run's box has closed; of several such,
// the last one.
class DialogRuns {
public:
    using Run = std::function<void(const FolderRequest& request)>;
    void List(FolderRequest request, const Run& run);
    bool Running() const noexcept { return m_running; }

private:
    bool m_running = false;
    std::optional<FolderRequest> m_waiting;
};

// Where the icon of a minimised window goes: centred in the client area, the odd pixel to the
// right and down, truncating toward zero when the icon is the larger.
struct IconPlace {
    int x = 0;
    int y = 0;
};
IconPlace CentreIconInClient(int clientWidth, int clientHeight, int iconWidth,
                             int iconHeight) noexcept;

// The home-page link as the main dialog sets it up once it is bound: red under the pointer,
// blue otherwise, not visited.
template <typename Link> void SetUpHomePageLink(Link& link) {
    link.ChangeStyleFlags(0, Link::LinkHoverColour, true);
    Link::SetLinkColours(Rgb(0, 0, 255), Rgb(0, 0, 255), Rgb(0, 0, 255), Rgb(255, 0, 0));
    link.MarkVisited(false);
}

} // namespace quaverly::frontend
