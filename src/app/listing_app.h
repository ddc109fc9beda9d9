#pragma once

#include "frontend/given_folder.h"

#include <wx/app.h>

#include <string>

namespace quaverly {

// The application: the main dialog, run modally, is the whole program. Its name, which
// captions the application's message boxes, is the executable's base name.
class CListingApp : public wxApp {
public:
    // `request`: the folder the command line gave, listed as the dialog opens.
    explicit CListingApp(frontend::FolderRequest request = {}) : m_request(std::move(request)) {}

    // Loads the resources.
    bool OnInit() override;
    // Runs InitInstance and ends the process with status 0 once the dialog has closed.
    int OnRun() override;
    // Builds the main dialog and runs it modally. Always false: there is no message loop of
    // the program's own to start afterwards.
    virtual bool InitInstance();

    // A failure that leaves a handler is told to the user, and the dialog goes on.
    bool OnExceptionInMainLoop() override;

private:
    void ShowFailure(const std::string& reason);

    frontend::FolderRequest m_request;
};

} // namespace quaverly
