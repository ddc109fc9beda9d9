#pragma once

#include "frontend/given_folder.h"

namespace quaverly {

// The application: its start runs the main dialog modally, and the program ends with it.
class CListingApp {
public:
    // `request`: the folder the command line gave, listed as the dialog opens.
    explicit CListingApp(frontend::FolderRequest request = {}) : m_request(std::move(request)) {}

    // Runs the main dialog; always false, so that no message loop of the program's own follows.
    bool InitInstance();

private:
    frontend::FolderRequest m_request;
};

// Makes the catalogue of the request's folder and opens it (frontend::MakeCatalogueFromDesktop),
// with the progress window and boxes of no dialog.
void MakeCatalogue(const frontend::FolderRequest& request);

} // namespace quaverly
