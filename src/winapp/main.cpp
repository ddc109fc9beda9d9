// Quaverly.exe: the dialog program.

#include "frontend/given_folder.h"
#include "winapp/listing_app.h"
#include "winapp/win32_services.h"

#include <windows.h>

int WINAPI WinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, LPSTR /*commandLine*/,
                   int /*show*/) {
    quaverly::CListingApp application(
        quaverly::frontend::FolderFromCommandLine(quaverly::win32::CommandLineArguments(::GetCommandLineW())));
    application.InitInstance();
    return 0;
}
