#include "app/resources.h"

#include "app/embedded_files.h"
#include "resource.h"

#include <wx/filesys.h>
#include <wx/fs_mem.h>
#include <wx/image.h>
#include <wx/mstream.h>
#include <wx/xrc/xmlres.h>

namespace quaverly::app {

namespace {

constexpr const char* kTemplates = "memory:quaverly.xrc";
constexpr const char* kIconImages[] = {"quaverly-16.png", "quaverly-32.png"};

const EmbeddedFile* FindEmbedded(const char* name) {
    for (const EmbeddedFile& file : EmbeddedFiles()) {
        if (std::string_view(file.name) == name) {
            return &file;
        }
    }
    return nullptr;
}

} // namespace

void LoadResources() {
    static bool loaded = false;
    if (loaded) {
        return;
    }
    loaded = true;
    if (wxImage::FindHandler(wxBITMAP_TYPE_PNG) == nullptr) {
        wxImage::AddHandler(new wxPNGHandler);
    }
    wxFileSystem::AddHandler(new wxMemoryFSHandler);
    for (const EmbeddedFile& file : EmbeddedFiles()) {
        wxMemoryFSHandler::AddFile(file.name, file.data, file.size);
    }
    wxXmlResource::Get()->InitAllHandlers();
    wxXmlResource::Get()->Load(kTemplates);
}

wxIconBundle LoadIconGroup() {
    wxIconBundle group;
    for (const char* name : kIconImages) {
        const EmbeddedFile* file = FindEmbedded(name);
        if (file == nullptr) {
            continue;
        }
        wxMemoryInputStream stream(file->data, file->size);
        const wxImage image(stream, wxBITMAP_TYPE_PNG);
        if (image.IsOk()) {
            wxIcon icon;
            icon.CopyFromBitmap(wxBitmap(image));
            group.AddIcon(icon);
        }
    }
    return group;
}

std::string LoadResourceString(int id) {
    if (id == resource::kAboutBoxString) {
        return std::string(resource::kAboutBoxText);
    }
    return {};
}

bool LoadDialogTemplate(wxDialog& dialog, wxWindow* parent, int id) {
    LoadResources();
    return wxXmlResource::Get()->LoadDialog(&dialog, parent, wxString::Format("%d", id));
}

} // namespace quaverly::app
