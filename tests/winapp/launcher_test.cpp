// The link launcher over the real shell, registry and WinExec, against a ".htm" class of the
// test's own registered in the build's Wine prefix.

#include "hyperlink/link_launcher.h"
#include "platform/desktop/desktop.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

namespace quaverly {
namespace {

// The system's desktop, but for a shell that refuses every target, so that the launcher falls
// back to the registered command.
class RefusingShell final : public platform::Desktop {
public:
    int OpenTarget(const std::string&, int) override {
        return platform::launch_code::NoAssociation;
    }
    platform::ClassValue ReadClassDefault(const std::string& key) override {
        return platform::SystemDesktop().ReadClassDefault(key);
    }
    int RunCommandLine(const std::string& commandLine, int show) override {
        return platform::SystemDesktop().RunCommandLine(commandLine, show);
    }
};

std::optional<std::string> DefaultValue(const char* key) {
    char value[1024] = {};
    LONG size = sizeof value;
    if (::RegQueryValueA(HKEY_CLASSES_ROOT, key, value, &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return std::string(value);
}

void SetDefault(const char* key, const std::string& value) {
    ::RegSetValueA(HKEY_CLASSES_ROOT, key, REG_SZ, value.c_str(), static_cast<DWORD>(value.size()));
}

// Registers ".htm" as a class whose open command is `command`, and puts back what was there.
class RegisteredHtmlClass {
public:
    explicit RegisteredHtmlClass(const std::string& command) : m_previous(DefaultValue(".htm")) {
        SetDefault(".htm", kClass);
        SetDefault("QuaverlyTest.Document\\shell\\open\\command", command);
    }
    ~RegisteredHtmlClass() {
        ::RegDeleteTreeA(HKEY_CLASSES_ROOT, kClass);
        if (m_previous) {
            SetDefault(".htm", *m_previous);
        } else {
            ::RegDeleteKeyA(HKEY_CLASSES_ROOT, ".htm");
        }
    }
    RegisteredHtmlClass(const RegisteredHtmlClass&) = delete;
    RegisteredHtmlClass& operator=(const RegisteredHtmlClass&) = delete;

private:
    static constexpr const char* kClass = "QuaverlyTest.Document";
    std::optional<std::string> m_previous;
};

// What the recorder wrote, once it has; it runs on its own after WinExec returns.
std::string RecordedCommandLine(const std::string& file) {
    for (int attempt = 0; attempt < 200; ++attempt) {
        std::ifstream in(file, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        if (!text.str().empty()) {
            return text.str();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return {};
}

TEST(Win32Launcher, FallsBackToTheRegisteredCommandCutAtItsPlaceholder) {
    const std::string recorder = QUAVERLY_COMMAND_RECORDER;
    const std::string record = recorder.substr(0, recorder.rfind('\\') + 1) + "command_line.txt";
    RefusingShell desktop;
    // Longer than the 520 bytes a command line once had room for.
    const std::string target = "https://quaverly.example/" + std::string(600, 'a');

    for (const auto& [registered, expected] :
         {std::pair{"\"" + recorder + "\" -nohome \"%1\" -second",
                    "\"" + recorder + "\" -nohome  " + target},
          std::pair{"\"" + recorder + "\" %1", "\"" + recorder + "\"  " + target},
          std::pair{"\"" + recorder + "\"", "\"" + recorder + "\" " + target}}) {
        SCOPED_TRACE(registered);
        ::DeleteFileA(record.c_str());
        RegisteredHtmlClass htm(registered);

        const int result = OpenLinkTarget(target, SW_SHOW, desktop);

        EXPECT_GT(result, 32);
        EXPECT_EQ(RecordedCommandLine(record), expected);
    }
    ::DeleteFileA(record.c_str());
}

TEST(Win32Launcher, KeepsTheShellsCodeWithoutAClassAndReportsWinExecsOwn) {
    RefusingShell desktop;
    {
        RegisteredHtmlClass htm("Z:\\no\\such\\program.exe %1");
        EXPECT_EQ(OpenLinkTarget("https://quaverly.example/", SW_SHOW, desktop),
                  platform::launch_code::FileNotFound);
    }
    // No open command for the class: the shell's refusal stands.
    const std::optional<std::string> previous = DefaultValue(".htm");
    SetDefault(".htm", "QuaverlyTest.Missing");
    EXPECT_EQ(OpenLinkTarget("https://quaverly.example/", SW_SHOW, desktop),
              platform::launch_code::NoAssociation);
    if (previous) {
        SetDefault(".htm", *previous);
    }
}

} // namespace
} // namespace quaverly
