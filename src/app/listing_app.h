#pragma once

#include <wx/app.h>

namespace quaverly {

// The application: the main dialog, run modally, is the whole program. Its name, which
// captions the application's message boxes, is the executable's base name.
class CListingApp : public wxApp {
public:
    // Loads the resources; takes no command line.
    bool OnInit() override;
    // Runs InitInstance and ends the process with status 0 once the dialog has closed.
    int OnRun() override;
    // Builds the main dialog and runs it modally. Always false: there is no message loop of
    // the program's own to start afterwards.
    virtual bool InitInstance();

    // A failure that leaves a handler is told to the user, and the dialog goes on.
    bool OnExceptionInMainLoop() override;
};

} // namespace quaverly
