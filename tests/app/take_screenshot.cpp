// Saves a picture of the main dialog, as README shows it. Run under Xvfb:
//   xvfb-run -a -s "-screen 0 1280x1024x24" quaverly_screenshot docs/screenshot.png

#include "app/listing_dlg.h"
#include "app/resources.h"

#include <wx/app.h>
#include <wx/dcmemory.h>
#include <wx/dcscreen.h>
#include <wx/image.h>
#include <wx/timer.h>

#include <cstdio>

namespace {

class ScreenshotApp final : public wxApp {
public:
    bool OnInit() override {
        if (argc != 2) {
            std::fputs("usage: quaverly_screenshot FILE.png\n", stderr);
            return false;
        }
        m_output = argv[1];
        quaverly::app::LoadResources();
        m_dialog = new quaverly::CListingDlg;
        m_dialog->SetPosition(wxPoint(40, 40));
        m_dialog->Show();
        m_dialog->Raise();
        // Give the dialog time to be drawn before taking its picture.
        m_timer.Bind(wxEVT_TIMER, [this](wxTimerEvent&) { Take(); });
        m_timer.StartOnce(1500);
        return true;
    }

private:
    void Take() {
        const wxRect area(m_dialog->GetScreenPosition(), m_dialog->GetSize());
        wxBitmap picture(area.GetSize());
        {
            wxScreenDC screen;
            wxMemoryDC memory(picture);
            memory.Blit(0, 0, area.width, area.height, &screen, area.x, area.y);
        }
        const bool saved = picture.ConvertToImage().SaveFile(m_output, wxBITMAP_TYPE_PNG);
        std::fprintf(stderr, "%s %s\n", saved ? "saved" : "could not save",
                     m_output.utf8_str().data());
        m_status = saved ? 0 : 1;
        m_dialog->Destroy();
    }

public:
    int OnExit() override { return m_status; }

private:
    wxString m_output;
    quaverly::CListingDlg* m_dialog = nullptr;
    wxTimer m_timer;
    int m_status = 1;
};

} // namespace

wxIMPLEMENT_APP(ScreenshotApp);
