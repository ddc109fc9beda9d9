// main() for the GUI tests: a wx application without windows of its own, wx asserts turned into
// test failures, and wx logging kept away from dialogs, which nobody would close under Xvfb.

#include "gui_test.h"

#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/dialog.h>
#include <wx/evtloop.h>
#include <wx/init.h>
#include <wx/log.h>
#include <wx/modalhook.h>

#include <chrono>
#include <cstdio>
#include <thread>

namespace {

int g_realModalDialogs = 0;

// Stands behind wxTEST_DIALOG: a modal dialog that no test expected fails the test and is
// closed at once, instead of waiting under Xvfb for a click that never comes.
class UnexpectedDialogs final : public wxModalDialogHook {
protected:
    int Enter(wxDialog* dialog) override {
        if (g_realModalDialogs > 0) {
            return wxID_NONE;
        }
        ADD_FAILURE() << "unexpected modal dialog: " << dialog->GetTitle().utf8_string() << " ("
                      << wxString(dialog->GetClassInfo()->GetClassName()).utf8_string() << ")";
        return wxID_CANCEL;
    }
    void Exit(wxDialog*) override {}
};

void FailOnAssert(const wxString& file, int line, const wxString& func, const wxString& cond,
                  const wxString& message) {
    ADD_FAILURE_AT(file.utf8_str().data(), line)
        << "wx assertion in " << func.utf8_string() << ": " << cond.utf8_string() << " "
        << message.utf8_string();
}

} // namespace

// The font configuration library that GTK uses keeps its caches until exit, unreachable by then;
// LeakSanitizer would count them against every GUI test program.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

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

RealModalDialogs::RealModalDialogs() {
    ++g_realModalDialogs;
}

RealModalDialogs::~RealModalDialogs() {
    --g_realModalDialogs;
}

} // namespace quaverly::testing

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    wxSetAssertHandler(FailOnAssert);
    wxApp::SetInstance(quaverly::testing::CreateGuiTestApp());
    if (!wxEntryStart(argc, argv)) {
        std::fputs("GUI tests need a display: run them under xvfb-run\n", stderr);
        return 2;
    }
    delete wxLog::SetActiveTarget(new wxLogStderr);
    wxTheApp->CallOnInit();
    UnexpectedDialogs unexpected;
    unexpected.Register();
    const int result = RUN_ALL_TESTS();
    unexpected.Unregister();
    wxTheApp->OnExit();
    wxEntryCleanup();
    return result;
}
