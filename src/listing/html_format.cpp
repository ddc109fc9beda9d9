#include "listing/html_format.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>

namespace quaverly::listing {

void AppendEscaped(std::string& out, std::string_view text) {
    std::size_t plain = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::string_view entity;
        switch (text[i]) {
        case '&':
            entity = "&amp;";
            break;
        case '<':
            entity = "&lt;";
            break;
        case '>':
            entity = "&gt;";
            break;
        case '"':
            entity = "&quot;";
            break;
        default:
            continue;
        }
        out.append(text.substr(plain, i - plain));
        out.append(entity);
        plain = i + 1;
    }
    out.append(text.substr(plain));
}

void HtmlFormat::Begin(PageWriter& page, std::string_view folder) {
    page.Write(kDocumentHead);
    page.Write(kHeadingStart);
    page.WriteEscaped(folder);
    page.Write(kHeadingEnd);
    page.Write(kTableStart);
}

void HtmlFormat::FolderRow(PageWriter& page, std::string_view folder) {
    page.Write(kFolderRowStart);
    page.WriteEscaped(folder);
    page.Write(kFolderRowEnd);
}

void HtmlFormat::WriteFileRow(PageWriter& page, const FileRow& row) {
    switch (row.shade) {
    case RowShade::First:
        page.Write(kFirstFileRowStart);
        break;
    case RowShade::Plain:
        page.Write(kPlainFileRowStart);
        break;
    case RowShade::Shaded:
        page.Write(kShadedFileRowStart);
        break;
    }
    if (row.mp3 != nullptr) {
        page.WriteEscaped(row.name);
        WriteBitrateCell(page, row.mp3->bitrate);
    }
}

void HtmlFormat::End(PageWriter& page, const RunReport& /*report*/) {
    page.Write(kTableEnd);
    page.Write(kFooterStart);
    page.Write(kHomePageUrl);
    page.Write(kFooterLinkMiddle);
    page.Write(kHomePageUrl);
    page.Write(kFooterEnd);
}

std::int32_t HtmlFormat::WriteBitrateCell(PageWriter& page, std::int32_t bitrate) {
    std::array<char, 32> cell{};
    char* out = std::copy(kBitrateCellStart.begin(), kBitrateCellStart.end(), cell.data());
    out = std::to_chars(out, cell.data() + cell.size(), bitrate).ptr;
    out = std::copy(kBitrateCellEnd.begin(), kBitrateCellEnd.end(), out);
    page.Write(std::string_view(cell.data(), static_cast<std::size_t>(out - cell.data())));
    return bitrate;
}

} // namespace quaverly::listing
