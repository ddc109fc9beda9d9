#include "app/app_message_box.h"

#include "platform/utf8.h"

#include <wx/app.h>
#include <wx/msgdlg.h>

namespace quaverly {

wxString DisplayString(std::string_view bytes) {
    return wxString::FromUTF8(platform::ValidUtf8(bytes));
}

wxString ApplicationName() {
    return wxTheApp != nullptr ? wxTheApp->GetAppName() : wxString();
}

long MessageIconStyle(frontend::MessageIcon icon) {
    switch (icon) {
    case frontend::MessageIcon::Information:
        return wxICON_INFORMATION;
    case frontend::MessageIcon::Exclamation:
        return wxICON_EXCLAMATION;
    case frontend::MessageIcon::Error:
        return wxICON_ERROR;
    case frontend::MessageIcon::None:
        break;
    }
    return wxICON_NONE;
}

void AppMessageBox::Show(const std::string& text, frontend::MessageIcon icon) {
    ShowCaptioned({}, text, icon);
}

void AppMessageBox::ShowCaptioned(const std::string& caption, const std::string& text,
                                  frontend::MessageIcon icon) {
    wxMessageDialog box(m_owner, DisplayString(text),
                        caption.empty() ? ApplicationName() : DisplayString(caption),
                        wxOK | MessageIconStyle(icon));
    box.ShowModal();
}

} // namespace quaverly
