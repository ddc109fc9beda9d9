#pragma once

// Resource ids of Quaverly's dialogs, controls, string and icon group, and its one string.

#include <string_view>

namespace quaverly::resource {

inline constexpr int kAboutBoxDialog = 100;
inline constexpr int kAboutBoxString = 101;
inline constexpr int kMainDialog = 102;
inline constexpr int kMainIcon = 128;

inline constexpr int kBrowseButton = 1000;
inline constexpr int kHomePageLink = 1001;

// The command of the About item.
inline constexpr unsigned kAboutCommand = 0x0010;

// The string table.
inline constexpr std::string_view kAboutBoxText = "&About Brindlewick...";

} // namespace quaverly::resource
