#pragma once

#include <string>
#include <string_view>

namespace quaverly::listing {

// The fixed fragments of mp3_listing.html, byte for byte. Pages that people keep and compare
// depend on every one of these bytes.

inline constexpr std::string_view kListingFileName = "mp3_listing.html";
inline constexpr std::string_view kHomePageUrl = "https://quaverly.example/";

// Document frame.
inline constexpr std::string_view kDocumentHead = "<html><body>\r\n<center>\r\n";
inline constexpr std::string_view kHeadingStart = "<h3>Listing of ";
inline constexpr std::string_view kHeadingEnd = "</h3></center>\r\n<hr>\r\n\r\n";
inline constexpr std::string_view kTableStart = "<center><table border = 3>\r\n";
// Closes the last file row, which every file row leaves open for the next one to close.
inline constexpr std::string_view kTableEnd = "</td></tr>\r\n</table>";
inline constexpr std::string_view kFooterStart =
    "\r\n<br><br><font size = 2>Listing made with Quaverly from <a href=\"";
inline constexpr std::string_view kFooterLinkMiddle = "\">";
inline constexpr std::string_view kFooterEnd = "</a></center>\r\n\r\n</body></html>";

// Folder header row; complete in itself.
inline constexpr std::string_view kFolderRowStart = "<tr><td bgcolor=red>\r\n\r\n";
inline constexpr std::string_view kFolderRowEnd = "</td><td>Bitrate</td></tr><br>\r\n";

// File row starts. The later ones close the row before them.
inline constexpr std::string_view kFirstFileRowStart = "\r\n\r\n<tr><td>\r\n";
inline constexpr std::string_view kPlainFileRowStart = "\r\n</td></tr>\r\n\r\n<tr><td>\r\n";
inline constexpr std::string_view kShadedFileRowStart =
    "\r\n</td></tr>\r\n\r\n<tr><td bgcolor=\"#7AD3F8\">\r\n";

// Appends text from the file system with & < > " escaped; every other byte as it stands.
void AppendEscaped(std::string& out, std::string_view text);

} // namespace quaverly::listing
