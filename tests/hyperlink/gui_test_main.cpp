// main() for the GUI tests: a wx application without windows of its own, wx asserts turned into
// test failures, and wx logging kept away from dialogs, which nobody would close under Xvfb.

#include "gui_test.h"

#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/evtloop.h>
#include <wx/init.h>
#include <wx/log.h>

#include <chrono>
#include <cstdio>
#include <thread>

namespace {

class GuiTestApp final : public wxApp {
public:
    bool OnInit() override { return true; }
};

void FailOnAssert(const wxString& file, int line, const wxString& func, const wxString& cond,
                  const wxString& message) {
    ADD_FAILURE_AT(file.utf8_str().data(), line)
        << "wx assertion in " << func.utf8_string() << ": " << cond.utf8_string() << " "
        << message.utf8_string();
}

} // namespace

namespace quaverly::testing {

void FlushEvents() {
    for (int i = 0; i < 5; ++i) {
        wxTheApp->Yield(true);
        wxTheApp->ProcessPendingEvents();
        wxTheApp->ProcessIdle();
    }
}

bool RunUntil(const std::function<bool()>& done) {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!done()) {
        if (std::chrono::steady_clock::now() > giveUp) {
            return false;
        }
        wxTheApp->Yield(true);
        wxTheApp->ProcessPendingEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

wxPoint ScreenCentre(const wxWindow& window) {
    const wxSize size = window.GetClientSize();
    return window.ClientToScreen(wxPoint(size.x / 2, size.y / 2));
}

} // namespace quaverly::testing

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    wxSetAssertHandler(FailOnAssert);
    wxApp::SetInstance(new GuiTestApp);
    if (!wxEntryStart(argc, argv)) {
        std::fputs("GUI tests need a display: run them under xvfb-run\n", stderr);
        return 2;
    }
    delete wxLog::SetActiveTarget(new wxLogStderr);
    wxTheApp->CallOnInit();
    const int result = RUN_ALL_TESTS();
    wxTheApp->OnExit();
    wxEntryCleanup();
    return result;
}
