#include "hyperlink/app_message_box.h"

#include <wx/app.h>
#include <wx/msgdlg.h>

namespace quaverly {

wxString ApplicationName() {
    return wxTheApp != nullptr ? wxTheApp->GetAppName() : wxString();
}

long MessageIconStyle(platform::MessageIcon icon) {
    switch (icon) {
    case platform::MessageIcon::Information:
        return wxICON_INFORMATION;
    case platform::MessageIcon::Exclamation:
        return wxICON_EXCLAMATION;
    case platform::MessageIcon::Error:
        return wxICON_ERROR;
    case platform::MessageIcon::None:
        break;
    }
    return wxICON_NONE;
}

void AppMessageBox::Show(const std::string& text, platform::MessageIcon icon) {
    wxMessageDialog box(m_owner, wxString::FromUTF8(text), ApplicationName(),
                        wxOK | MessageIconStyle(icon));
    box.ShowModal();
}

} // namespace quaverly
