#pragma once

#include "listing/listing_format.h"

#include <cstdint>
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

// The bitrate cell: it closes the name cell, and holds the bitrate in kbit/s.
inline constexpr std::string_view kBitrateCellStart = "</td><td> ";
inline constexpr std::string_view kBitrateCellEnd = " Kbs";

// Appends text from the file system with & < > " escaped; every other byte as it stands.
void AppendEscaped(std::string& out, std::string_view text);

// The page of mp3_listing.html: a heading, a table with a red header row for each folder and a
// row for each file, an MP3 file's with its name and its bitrate cell, and a footer. A file row
// is left open: the next row's start, or the table's end, closes it.
class HtmlFormat final : public ListingFormat {
public:
    void Begin(PageWriter& page, std::string_view folder) override;
    void FolderRow(PageWriter& page, std::string_view folder) override;
    void WriteFileRow(PageWriter& page, const FileRow& row) override;
    void End(PageWriter& page, const RunReport& report) override;

    // Writes the bitrate cell of `bitrate` and returns it.
    static std::int32_t WriteBitrateCell(PageWriter& page, std::int32_t bitrate);
};

} // namespace quaverly::listing
