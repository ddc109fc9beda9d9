#pragma once

#include "frontend/dialog_run.h"
#include "frontend/given_folder.h"
#include "frontend/message_box.h"
#include "listing/listing_run.h"

namespace quaverly::frontend {

// `quaverly --catalogue FOLDER`, as a file manager starts it on a folder: the catalogue of the
// request's folder, written to its place in the documents folder (PlaceCatalogue) with the run's
// progress display, then opened in the browser through the link launcher. A box shows only what
// went wrong (MessageForCatalogue): a cancelled catalogue is whole but not opened, as the user
// asked to stop, not to be shown part of it. `services` as for RunFromDialog; the chooser is
// never asked.
listing::RunResult MakeCatalogueFromDesktop(const DialogServices& services,
                                            const FolderRequest& request, MessageBoxService& boxes,
                                            const ProgressFactory& progress);

} // namespace quaverly::frontend
