// Quaverly.exe: the dialog program.

#include "frontend/given_folder.h"
#include "winapp/listing_app.h"
#include "winapp/win32_services.h"

#include <windows.h>

#include <string>
#include <vector>

int WINAPI WinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, LPSTR /*commandLine*/,
                   int /*show*/) {
    const std::vector<std::string> arguments =
        quaverly::win32::CommandLineArguments(::GetCommandLineW());
    if (const auto catalogue = quaverly::frontend::CatalogueFromCommandLine(arguments)) {
        // Explorer's "Make MP3 catalogue": the catalogue and its browser window, without the
        // dialog.
        quaverly::MakeCatalogue(*catalogue);
        return 0;
    }
    quaverly::CListingApp application(quaverly::frontend::FolderFromCommandLine(arguments));
    application.InitInstance();
    return 0;
}
