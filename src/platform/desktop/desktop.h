#pragma once

#include <string>

namespace quaverly::platform {

// Win32 show commands (the SW_ values). A launch carries them unchanged; the XDG desktop has no
// use for them, but a Windows build hands them to the shell.
namespace show_command {
inline constexpr int Hide = 0;
inline constexpr int ShowNormal = 1;
inline constexpr int ShowMinimized = 2;
inline constexpr int ShowMaximized = 3;
inline constexpr int ShowNoActivate = 4;
inline constexpr int Show = 5;
inline constexpr int ShowDefault = 10;
} // namespace show_command

// A launch result: above 32 the launch succeeded, 32 or less is one of these failure codes
// (the values the Win32 shell and WinExec return).
namespace launch_code {
inline constexpr int OutOfResources = 0;
inline constexpr int FileNotFound = 2;
inline constexpr int PathNotFound = 3;
inline constexpr int AccessDenied = 5;
inline constexpr int OutOfMemory = 8;
inline constexpr int BadFormat = 11;
inline constexpr int SharingViolation = 26;
inline constexpr int AssociationIncomplete = 27;
inline constexpr int DdeTimeout = 28;
inline constexpr int DdeFailed = 29;
inline constexpr int DdeBusy = 30;
inline constexpr int NoAssociation = 31;
inline constexpr int DllNotFound = 32;
// What a successful launch returns here; callers test for "above 32", never for this value.
inline constexpr int Succeeded = 42;
} // namespace launch_code

inline constexpr bool LaunchSucceeded(int result) noexcept {
    return static_cast<unsigned>(result) > 32U;
}

// The default value of a key under the class root, or why the key did not open (a Win32 error
// number; 0 is success).
struct ClassValue {
    long status = 0;
    std::string value;
};

// What the link launcher asks of the desktop. On Windows that is the shell and the registry's
// class root; on Linux the freedesktop.org conventions stand in for both.
class Desktop {
public:
    virtual ~Desktop() = default;

    // Opens a URL or a document name the way the user's desktop opens it. Returns without
    // waiting for the program that opens it.
    virtual int OpenTarget(const std::string& target, int showCommand) = 0;

    // Reads the default value of a key under the class root, read-only. On Linux two keys exist:
    // ".htm", the desktop-entry id of the default application for text/html, and
    // "<id>\shell\open\command", that entry's Exec line with its file and URL field codes
    // turned into "%1". Any other key fails with 2.
    virtual ClassValue ReadClassDefault(const std::string& key) = 0;

    // Starts a command line as a program and its arguments, without a shell and without
    // waiting for the program.
    virtual int RunCommandLine(const std::string& commandLine, int showCommand) = 0;
};

// This machine's desktop.
Desktop& SystemDesktop();

} // namespace quaverly::platform
