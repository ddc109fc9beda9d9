#include "app/app_message_box.h"

#include <wx/app.h>
#include <wx/msgdlg.h>

#include <cstdint>

namespace quaverly {

std::string ValidUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        std::size_t length = lead < 0x80           ? 1
                             : (lead >> 5) == 0x6  ? 2
                             : (lead >> 4) == 0xE  ? 3
                             : (lead >> 3) == 0x1E ? 4
                                                   : 0;
        bool valid = length != 0 && i + length <= bytes.size();
        for (std::size_t k = 1; valid && k < length; ++k) {
            valid = (static_cast<unsigned char>(bytes[i + k]) & 0xC0) == 0x80;
        }
        if (valid && length > 1) {
            // No overlong forms, no surrogates, nothing above U+10FFFF.
            std::uint32_t code = lead & (0xFF >> (length + 1));
            for (std::size_t k = 1; k < length; ++k) {
                code = (code << 6) | (static_cast<unsigned char>(bytes[i + k]) & 0x3F);
            }
            constexpr std::uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
            valid =
                code >= kSmallest[length] && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
        }
        if (valid) {
            out.append(bytes.substr(i, length));
            i += length;
        } else {
            out.append("\xEF\xBF\xBD");
            ++i;
        }
    }
    return out;
}

wxString DisplayString(std::string_view bytes) {
    return wxString::FromUTF8(ValidUtf8(bytes));
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
