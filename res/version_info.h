#pragma once

// Quaverly's version data: the fields a version resource carries.

#include <array>
#include <string_view>

namespace quaverly::version_info {

inline constexpr std::array<int, 4> kFileVersionNumber{1, 0, 0, 1};
inline constexpr std::array<int, 4> kProductVersionNumber{1, 0, 0, 1};

// The string block, US English.
inline constexpr std::string_view kComments = "";
inline constexpr std::string_view kCompanyName = "";
inline constexpr std::string_view kFileDescription = "Quaverly MFC Application";
inline constexpr std::string_view kFileVersion = "1, 0, 0, 1";
inline constexpr std::string_view kInternalName = "Quaverly";
inline constexpr std::string_view kLegalCopyright = "Copyright (C) 2026 The Quaverly developers";
inline constexpr std::string_view kLegalTrademarks = "";
inline constexpr std::string_view kOriginalFilename = "quaverly";
inline constexpr std::string_view kPrivateBuild = "";
inline constexpr std::string_view kProductName = "Quaverly Application";
inline constexpr std::string_view kProductVersion = "1, 0, 0, 1";
inline constexpr std::string_view kSpecialBuild = "";

} // namespace quaverly::version_info
