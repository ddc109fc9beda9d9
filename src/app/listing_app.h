#pragma once

#include "frontend/given_folder.h"

#include <wx/app.h>

#include <optional>
#include <string>
#include <vector>

namespace quaverly {

// The application: the main dialog, run modally, is the whole program. Its name, which
// captions the application's message boxes, is the executable's base name.
class CListingApp : public wxApp {
public:
    CListingApp() = default;
    // `arguments`: the command line's, without the program's name, in their own bytes. The
    // folder among them is listed as the dialog opens; after --catalogue, its catalogue is made
    // and opened instead, and no dialog opens.
    explicit CListingApp(std::vector<std::string> arguments) : m_arguments(std::move(arguments)) {}

    // Loads the resources, and reads the command line that GTK has left.
    bool OnInit() override;
    // Runs InitInstance and ends the process with status 0 once the dialog has closed.
    int OnRun() override;
    // Builds the main dialog and runs it modally, or makes the catalogue asked for. Always
    // false: there is no message loop of the program's own to start afterwards.
    virtual bool InitInstance();

    // A failure that leaves a handler is told to the user, and the dialog goes on.
    bool OnExceptionInMainLoop() override;

private:
    void ShowFailure(const std::string& reason);

    std::optional<std::vector<std::string>> m_arguments;
    frontend::FolderRequest m_request;
    std::optional<frontend::FolderRequest> m_catalogue;
};

} // namespace quaverly
