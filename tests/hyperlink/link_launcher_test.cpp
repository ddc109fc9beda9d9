#include "hyperlink/link_launcher.h"

#include <gtest/gtest.h>

#include <map>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace quaverly {
namespace {

using platform::ClassValue;
namespace show = platform::show_command;

// A desktop whose answers the test sets, and which records what it was asked.
class FakeDesktop final : public platform::Desktop {
public:
    int openResult = platform::launch_code::NoAssociation;
    int runResult = 42;
    std::map<std::string, std::string> classValues;

    std::vector<std::pair<std::string, int>> opened;
    std::vector<std::string> keysRead;
    std::vector<std::pair<std::string, int>> ran;

    int OpenTarget(const std::string& target, int showCommand) override {
        opened.emplace_back(target, showCommand);
        return openResult;
    }
    ClassValue ReadClassDefault(const std::string& key) override {
        keysRead.push_back(key);
        const auto found = classValues.find(key);
        if (found == classValues.end()) {
            return {2, "must not be used"};
        }
        return {0, found->second};
    }
    int RunCommandLine(const std::string& commandLine, int showCommand) override {
        ran.emplace_back(commandLine, showCommand);
        return runResult;
    }

    void RegisterHtmlCommand(const std::string& command) {
        classValues[".htm"] = "browser.desktop";
        classValues["browser.desktop\\shell\\open\\command"] = command;
    }
};

class RecordingBoxes final : public frontend::MessageBoxService {
public:
    std::vector<std::pair<std::string, frontend::MessageIcon>> shown;

    void Show(const std::string& text, frontend::MessageIcon icon) override {
        shown.emplace_back(text, icon);
    }
};

TEST(OpenLinkTarget, TargetTheDesktopOpensSkipsTheClassLookup) {
    FakeDesktop desktop;
    desktop.openResult = 33;
    desktop.RegisterHtmlCommand("browser %1");

    EXPECT_EQ(OpenLinkTarget("http://example.org/", show::Show, desktop), 33);
    ASSERT_EQ(desktop.opened.size(), 1U);
    EXPECT_EQ(desktop.opened[0], std::make_pair(std::string("http://example.org/"), show::Show));
    EXPECT_TRUE(desktop.keysRead.empty());
    EXPECT_TRUE(desktop.ran.empty());
}

TEST(OpenLinkTarget, FallbackReadsTheHtmlClassAndItsOpenCommand) {
    FakeDesktop desktop;
    desktop.RegisterHtmlCommand("browser %1");

    EXPECT_EQ(OpenLinkTarget("http://example.org/", show::ShowMaximized, desktop), 42);
    EXPECT_EQ(desktop.keysRead,
              (std::vector<std::string>{".htm", "browser.desktop\\shell\\open\\command"}));
    ASSERT_EQ(desktop.ran.size(), 1U);
    EXPECT_EQ(desktop.ran[0].second, show::ShowMaximized);
}

struct CommandShape {
    const char* name;
    const char* registered;
    const char* commandLine;
};

void PrintTo(const CommandShape& shape, std::ostream* out) {
    *out << shape.registered;
}

class FallbackCommandLine : public testing::TestWithParam<CommandShape> {};

TEST_P(FallbackCommandLine, IsTheCommandCutAtItsPlaceholderThenBlankAndTarget) {
    FakeDesktop desktop;
    desktop.RegisterHtmlCommand(GetParam().registered);

    OpenLinkTarget("http://example.org/a b", show::Show, desktop);
    ASSERT_EQ(desktop.ran.size(), 1U);
    EXPECT_EQ(desktop.ran[0].first, GetParam().commandLine);
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, FallbackCommandLine,
    testing::Values(
        // option, quoted placeholder, trailing option: the quotes and the tail go
        CommandShape{"OptionQuotedPlaceholderOption", "browser -nohome \"%1\" -new",
                     "browser -nohome  http://example.org/a b"},
        // unquoted placeholder
        CommandShape{"UnquotedPlaceholder", "browser %1", "browser  http://example.org/a b"},
        // no placeholder
        CommandShape{"NoPlaceholder", "browser", "browser http://example.org/a b"},
        // the quoted placeholder wins even when a bare one comes first
        CommandShape{"QuotedPlaceholderFirst", "browser %1 -x \"%1\"",
                     "browser %1 -x  http://example.org/a b"},
        // a quote that does not close the placeholder is the bare case
        CommandShape{"UnclosedQuote", "\"/opt/my browser/run\" \"%1",
                     "\"/opt/my browser/run\" \" http://example.org/a b"}),
    [](const testing::TestParamInfo<CommandShape>& shape) {
        return std::string(shape.param.name);
    });

TEST(OpenLinkTarget, LongTargetIsAppendedWhole) {
    FakeDesktop desktop;
    desktop.RegisterHtmlCommand(std::string(250, 'b') + " \"%1\"");
    const std::string target = "http://example.org/?q=" + std::string(600, 'x');

    OpenLinkTarget(target, show::Show, desktop);
    ASSERT_EQ(desktop.ran.size(), 1U);
    EXPECT_EQ(desktop.ran[0].first, std::string(250, 'b') + "  " + target);
}

TEST(OpenLinkTarget, MissingHtmlClassReturnsTheDesktopFailure) {
    FakeDesktop desktop;
    desktop.openResult = 2;

    EXPECT_EQ(OpenLinkTarget("notes.txt", show::Show, desktop), 2);
    EXPECT_EQ(desktop.keysRead, std::vector<std::string>{".htm"});
    EXPECT_TRUE(desktop.ran.empty());
}

TEST(OpenLinkTarget, MissingOpenCommandReturnsTheDesktopFailure) {
    FakeDesktop desktop;
    desktop.openResult = 31;
    desktop.classValues[".htm"] = "ghost.desktop";

    EXPECT_EQ(OpenLinkTarget("http://example.org/", show::Show, desktop), 31);
    EXPECT_EQ(desktop.keysRead.size(), 2U);
    EXPECT_TRUE(desktop.ran.empty());
}

TEST(OpenLinkTarget, FailedFallbackReplacesTheDesktopFailure) {
    FakeDesktop desktop;
    desktop.openResult = 31;
    desktop.runResult = 11;
    desktop.RegisterHtmlCommand("browser %1");

    EXPECT_EQ(OpenLinkTarget("http://example.org/", show::Show, desktop), 11);
}

TEST(ReadRegistryDefault, FailureLeavesTheValueAlone) {
    FakeDesktop desktop;
    std::string value = "before";

    EXPECT_EQ(ReadRegistryDefault("nothing\\here", value, desktop), 2);
    EXPECT_EQ(value, "before");
}

TEST(ReadRegistryDefault, KeyNameMayBeTheValueBuffer) {
    FakeDesktop desktop;
    desktop.classValues["a\\shell\\open\\command"] = "browser %1";
    std::string buffer = "a\\shell\\open\\command";

    EXPECT_EQ(ReadRegistryDefault(buffer, buffer, desktop), 0);
    EXPECT_EQ(buffer, "browser %1");
}

struct ErrorText {
    int code;
    const char* text;
};

void PrintTo(const ErrorText& error, std::ostream* out) {
    *out << error.code;
}

class ReportLaunchErrorText : public testing::TestWithParam<ErrorText> {};

TEST_P(ReportLaunchErrorText, IsShownAfterThePrefixWithAnExclamation) {
    RecordingBoxes boxes;
    ReportLaunchError(GetParam().code, boxes);

    ASSERT_EQ(boxes.shown.size(), 1U);
    EXPECT_EQ(boxes.shown[0].first, std::string("Can't open link:\n\n") + GetParam().text);
    EXPECT_EQ(boxes.shown[0].second, frontend::MessageIcon::Exclamation);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, ReportLaunchErrorText,
    testing::Values(
        ErrorText{0, "The operating system is out\nof memory or resources."},
        ErrorText{2, "The specified file was not found."},
        ErrorText{3, "The specified path was not found."},
        ErrorText{5, "The operating system denied\naccess to the specified file."},
        ErrorText{8, "There was not enough memory to complete the operation."},
        ErrorText{11, "The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image)."},
        ErrorText{26, "A sharing violation occurred. "},
        ErrorText{27, "The filename association is\nincomplete or invalid."},
        ErrorText{28, "The DDE transaction could not\nbe completed because the request timed out."},
        ErrorText{29, "The DDE transaction failed."},
        ErrorText{30, "The DDE transaction could not\nbe completed because other DDE "
                      "transactions\nwere being processed."},
        ErrorText{31, "There is no application associated\nwith the given filename extension."},
        ErrorText{32, "The specified dynamic-link library was not found."},
        ErrorText{1, "Unknown Error (1) occurred."}, ErrorText{25, "Unknown Error (25) occurred."},
        ErrorText{-3, "Unknown Error (-3) occurred."}),
    [](const testing::TestParamInfo<ErrorText>& error) {
        const int code = error.param.code;
        return (code < 0 ? "Minus" : "") + std::to_string(code < 0 ? -code : code);
    });

} // namespace
} // namespace quaverly
