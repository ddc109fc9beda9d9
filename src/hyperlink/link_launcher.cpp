#include "hyperlink/link_launcher.h"

#include <array>
#include <string_view>
#include <utility>

namespace quaverly {

namespace {

constexpr std::string_view kQuotedPlaceholder = "\"%1\"";
constexpr std::string_view kPlaceholder = "%1";
constexpr std::string_view kOpenCommandKey = "\\shell\\open\\command";
constexpr std::string_view kMessagePrefix = "Can't open link:\n\n";

struct LaunchErrorText {
    int code;
    std::string_view text;
};

// The texts the Win32 shell's failure codes have always had in this box.
constexpr std::array<LaunchErrorText, 13> kLaunchErrorTexts{{
    {0, "The operating system is out\nof memory or resources."},
    {2, "The specified file was not found."},
    {3, "The specified path was not found."},
    {5, "The operating system denied\naccess to the specified file."},
    {8, "There was not enough memory to complete the operation."},
    {11, "The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image)."},
    {26, "A sharing violation occurred. "},
    {27, "The filename association is\nincomplete or invalid."},
    {28, "The DDE transaction could not\nbe completed because the request timed out."},
    {29, "The DDE transaction failed."},
    {30, "The DDE transaction could not\nbe completed because other DDE "
         "transactions\nwere being processed."},
    {31, "There is no application associated\nwith the given filename extension."},
    {32, "The specified dynamic-link library was not found."},
}};

} // namespace

std::string DescribeLaunchError(int code) {
    for (const LaunchErrorText& entry : kLaunchErrorTexts) {
        if (entry.code == code) {
            return std::string(entry.text);
        }
    }
    return "Unknown Error (" + std::to_string(code) + ") occurred.";
}

std::string CommandBeforePlaceholder(const std::string& command) {
    // The quoted form is looked for first, or a cut at its bare %1 would leave a quote behind.
    // Byte searches are safe in UTF-8: no byte of a multibyte character is an ASCII one.
    auto cut = command.find(kQuotedPlaceholder);
    if (cut == std::string::npos) {
        cut = command.find(kPlaceholder);
    }
    return cut == std::string::npos ? command : command.substr(0, cut);
}

int OpenLinkTarget(const std::string& target, int showCommand, platform::Desktop& desktop) {
    const int shellResult = desktop.OpenTarget(target, showCommand);
    if (platform::LaunchSucceeded(shellResult)) {
        return shellResult;
    }

    // The command line grows with the target; there is no fixed buffer to overrun or cut at.
    std::string command;
    if (ReadRegistryDefault(".htm", command, desktop) != 0) {
        return shellResult;
    }
    command += kOpenCommandKey;
    if (ReadRegistryDefault(command, command, desktop) != 0) {
        return shellResult;
    }
    command = CommandBeforePlaceholder(command);
    // The target goes in unquoted, as it always has.
    command += ' ';
    command += target;
    return desktop.RunCommandLine(command, showCommand);
}

int OpenLinkTarget(const std::string& target, int showCommand) {
    return OpenLinkTarget(target, showCommand, platform::SystemDesktop());
}

long ReadRegistryDefault(const std::string& subKey, std::string& value,
                         platform::Desktop& desktop) {
    platform::ClassValue read = desktop.ReadClassDefault(subKey);
    if (read.status == 0) {
        value = std::move(read.value);
    }
    return read.status;
}

void ReportLaunchError(int code, frontend::MessageBoxService& boxes) {
    boxes.Show(std::string(kMessagePrefix) + DescribeLaunchError(code),
               frontend::MessageIcon::Exclamation);
}

} // namespace quaverly
