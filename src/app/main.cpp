// quaverly: the dialog application.

#include "app/listing_app.h"
#include "platform/file_system.h"
#include "platform/terminal.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

wxIMPLEMENT_APP_NO_MAIN(quaverly::CListingApp);

int main(int argc, char** argv) {
    quaverly::platform::OpenStandardDescriptors();
    quaverly::platform::RaiseOpenFileLimit();
    // GTK would only say that it cannot start; tell the user what works without a display.
    if (std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr) {
        std::fputs("quaverly: no display to show the dialog on.\n"
                   "To make a listing without one, use quaverly-list:\n"
                   "  quaverly-list [-o FILE] FOLDER\n",
                   stderr);
        return 1;
    }
    // The arguments' own bytes, as the file system spells names.
    wxApp::SetInstance(new quaverly::CListingApp(std::vector<std::string>(argv + 1, argv + argc)));
    return wxEntry(argc, argv);
}
