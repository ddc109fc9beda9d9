// Quaverly.exe: the dialog program.

#include "winapp/listing_app.h"

#include <windows.h>

int WINAPI WinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, LPSTR /*commandLine*/,
                   int /*show*/) {
    quaverly::CListingApp application;
    application.InitInstance();
    return 0;
}
