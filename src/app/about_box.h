#pragma once

#include <wx/dialog.h>

namespace quaverly {

// The About box, from dialog template 100: an icon, the version, a notice and OK. Built for each
// About command; modal over the main dialog, which wx makes its owner as the application's top
// window.
class CAboutBox : public wxDialog {
public:
    CAboutBox();

protected:
    virtual void DoDataExchange() {}

    wxDECLARE_CLASS(CAboutBox);
};

} // namespace quaverly
