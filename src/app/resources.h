#pragma once

#include <wx/dialog.h>
#include <wx/iconbndl.h>

#include <string>

namespace quaverly::app {

// Makes the dialog templates and the icon images available: the built-in files go into wx's
// memory file system and the templates into the XRC loader. Safe to call more than once.
void LoadResources();

// Icon group 128: the 16 and 32 pixel images.
wxIconBundle LoadIconGroup();

// A string of the string table, or "" when there is none with that id.
std::string LoadResourceString(int id);

// Creates `dialog` from the dialog template with that id; false when there is none.
bool LoadDialogTemplate(wxDialog& dialog, wxWindow* parent, int id);

} // namespace quaverly::app
