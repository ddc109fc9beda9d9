#include "app/wx_services.h"

#include <wx/app.h>
#include <wx/dirdlg.h>
#include <wx/msgdlg.h>

namespace quaverly::app {

std::optional<std::string> DirDialogChooser::ChooseFolder(const std::string& title) {
    wxDirDialog browser(m_owner, wxString::FromUTF8(title), wxEmptyString,
                        wxDD_DEFAULT_STYLE | wxDD_DIR_MUST_EXIST);
    if (browser.ShowModal() != wxID_OK) {
        return std::nullopt;
    }
    // The path's own bytes, in the file system's encoding, whatever it is.
    const std::string path(browser.GetPath().fn_str());
    if (path.empty()) {
        return std::nullopt;
    }
    return path;
}

void ShowCommandFailure(wxWindow* owner, const std::string& reason) {
    wxMessageDialog box(owner, DisplayString(std::string(kCommandFailureText) + "\n\n" + reason),
                        ApplicationName(), wxOK | wxICON_ERROR);
    box.ShowModal();
}

} // namespace quaverly::app
