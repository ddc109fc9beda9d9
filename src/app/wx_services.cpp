#include "app/wx_services.h"

#include "platform/new_folder_watch.h"

#include <wx/app.h>
#include <wx/dirdlg.h>
#include <wx/filefn.h>
#include <wx/utils.h>

namespace quaverly::app {

namespace {

wxString FileNameString(const std::string& path) {
    return wxString(path.c_str(), *wxConvFileName);
}

std::string ParentFolder(const std::string& path) {
    const std::string::size_type slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return {};
    }
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

// How long before the chooser closed a folder can have been made by the closing itself.
constexpr std::time_t kMadeAsItClosed = 1;

} // namespace

std::optional<std::string> DirDialogChooser::ChooseFolder(const std::string& title) {
    // Without a folder to start in, GTK opens on its "Recent" page, where Open does nothing.
    std::string start = m_lastChosen;
    for (;;) {
        if (start.empty() || !wxDirExists(FileNameString(start))) {
            start = m_homeFolder;
        }
        // For a typed name of no folder, GTK makes that folder and gives it as chosen: neither
        // this style nor any other keeps it from doing so.
        const platform::NewFolderWatch watch;
        wxDirDialog browser(m_owner, wxString::FromUTF8(title), FileNameString(start),
                            wxDD_DEFAULT_STYLE | wxDD_DIR_MUST_EXIST);
        if (browser.ShowModal() != wxID_OK) {
            return std::nullopt;
        }
        // The path's own bytes, in the file system's encoding, whatever it is.
        const std::string path(browser.GetPath().fn_str());
        if (path.empty()) {
            return std::nullopt;
        }
        // GTK makes a typed name's folder as the chooser closes; one made a while before, with
        // the chooser's "Create Folder" button, is the user's own, and is never removed.
        if (!watch.IsNewEmptyFolder(path) ||
            !platform::NewFolderWatch::SecondsAgo(kMadeAsItClosed).IsNewEmptyFolder(path)) {
            m_lastChosen = path;
            return path;
        }
        platform::RemoveEmptyFolder(path);
        m_boxes.Show("There is no folder\n" + path + "\nChoose a folder that exists.",
                     frontend::MessageIcon::Exclamation);
        start = ParentFolder(path);
    }
}

std::string HomeFolder() {
    return std::string(wxGetHomeDir().fn_str());
}

bool FolderDropTarget::OnDropFiles(wxCoord, wxCoord, const wxArrayString& names) {
    std::vector<std::string> paths;
    paths.reserve(names.size());
    for (const wxString& name : names) {
        paths.emplace_back(name.fn_str());
    }
    return m_dropped(paths);
}

} // namespace quaverly::app
