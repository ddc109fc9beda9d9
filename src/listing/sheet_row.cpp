#include "listing/sheet_row.h"

#include <xlsxwriter.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace quaverly::listing {

namespace {

// The largest integer a double holds exactly; below it the library's conversion writes an
// integral number's digits as they are.
constexpr double kExactInteger = 9007199254740992.0;

// What the library writes a byte of a text as, where not as it is: control characters other
// than tab and line feed as "_xHHHH_", and XML's own three.
constexpr std::array<std::string_view, 256> kEscapes = [] {
    std::array<std::string_view, 256> escapes{};
    constexpr std::array<std::string_view, 32> kControls = {
        "",        "_x0001_", "_x0002_", "_x0003_", "_x0004_", "_x0005_", "_x0006_", "_x0007_",
        "_x0008_", "",        "",        "_x000B_", "_x000C_", "_x000D_", "_x000E_", "_x000F_",
        "_x0010_", "_x0011_", "_x0012_", "_x0013_", "_x0014_", "_x0015_", "_x0016_", "_x0017_",
        "_x0018_", "_x0019_", "_x001A_", "_x001B_", "_x001C_", "_x001D_", "_x001E_", "_x001F_"};
    for (std::size_t i = 0; i < kControls.size(); ++i) {
        escapes[i] = kControls[i];
    }
    escapes['&'] = "&amp;";
    escapes['<'] = "&lt;";
    escapes['>'] = "&gt;";
    return escapes;
}();

// The C locale's white space, of what is left after the escapes: the library keeps a text's
// leading or trailing spaces by marking it so.
bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n';
}

void AppendColumnName(std::string& out, std::uint16_t column) {
    std::array<char, 4> letters{};
    std::size_t count = 0;
    for (unsigned left = column + 1U; left > 0; left = (left - 1) / 26) {
        letters[count++] = static_cast<char>('A' + (left - 1) % 26);
    }
    while (count > 0) {
        out.push_back(letters[--count]);
    }
}

void AppendInteger(std::string& out, std::uint64_t value) {
    std::array<char, 24> digits{};
    const auto [end, error] = std::to_chars(digits.data(), digits.data() + digits.size(), value);
    out.append(digits.data(), end);
}

} // namespace

void SheetRow::Start(std::uint32_t row) {
    m_xml.assign("<row r=\"");
    AppendInteger(m_xml, std::uint64_t{row} + 1);
    m_xml.append("\">");
    m_start = m_xml.size();
    m_spans.clear();
    m_row = row;
    m_inOrder = true;
}

void SheetRow::Cell(std::uint16_t column) {
    if (!m_spans.empty()) {
        m_spans.back().end = m_xml.size();
        m_inOrder = m_inOrder && m_spans.back().column < column;
    }
    m_spans.push_back({column, m_xml.size(), 0});
    m_xml.append("<c r=\"");
    AppendColumnName(m_xml, column);
    AppendInteger(m_xml, std::uint64_t{m_row} + 1);
    m_xml.push_back('"');
}

void SheetRow::Text(std::uint16_t column, std::string_view text) {
    // The library reads a text to its first NUL.
    text = text.substr(0, text.find('\0'));
    if (text.empty()) {
        return;
    }
    Cell(column);
    // Its white space is looked for after the escapes, which leave none at either end that was
    // not there.
    const bool keepSpace = IsSpace(text.front()) || IsSpace(text.back());
    m_xml.append(keepSpace ? " t=\"inlineStr\"><is><t xml:space=\"preserve\">"
                           : " t=\"inlineStr\"><is><t>");
    const char* run = text.data();
    const char* const end = text.data() + text.size();
    for (const char* at = run; at != end; ++at) {
        const std::string_view escape = kEscapes[static_cast<unsigned char>(*at)];
        if (!escape.empty()) {
            m_xml.append(run, at).append(escape);
            run = at + 1;
        }
    }
    m_xml.append(run, end).append("</t></is></c>");
}

void SheetRow::Number(std::uint16_t column, double value, int style) {
    Cell(column);
    if (style != 0) {
        m_xml.append(" s=\"");
        AppendInteger(m_xml, static_cast<std::uint64_t>(style));
        m_xml.push_back('"');
    }
    m_xml.append("><v>");
    if (value >= 0 && value <= kExactInteger && std::floor(value) == value) {
        AppendInteger(m_xml, static_cast<std::uint64_t>(value));
    } else {
        std::array<char, LXW_ATTR_32> digits{};
        lxw_sprintf_dbl(digits.data(), value);
        m_xml.append(digits.data());
    }
    m_xml.append("</v></c>");
}

void SheetRow::Boolean(std::uint16_t column, bool value) {
    Cell(column);
    m_xml.append(value ? " t=\"b\"><v>1</v></c>" : " t=\"b\"><v>0</v></c>");
}

bool SheetRow::AddTo(lxw_worksheet& sheet) {
    if (m_spans.empty()) {
        return true;
    }
    m_spans.back().end = m_xml.size();
    const std::string* row = &m_xml;
    if (!m_inOrder) {
        // The library writes a row's cells by column, the last written of each.
        std::stable_sort(m_spans.begin(), m_spans.end(),
                         [](const Span& a, const Span& b) { return a.column < b.column; });
        m_ordered.assign(m_xml, 0, m_start);
        for (std::size_t i = 0; i < m_spans.size(); ++i) {
            if (i + 1 == m_spans.size() || m_spans[i + 1].column != m_spans[i].column) {
                m_ordered.append(m_xml, m_spans[i].begin, m_spans[i].end - m_spans[i].begin);
            }
        }
        row = &m_ordered;
    }
    sheet.dim_rowmin = std::min(sheet.dim_rowmin, m_row);
    sheet.dim_rowmax = std::max(sheet.dim_rowmax, m_row);
    sheet.dim_colmin = std::min(sheet.dim_colmin, m_spans.front().column);
    sheet.dim_colmax = std::max(sheet.dim_colmax, m_spans.back().column);
    const bool written =
        std::fwrite(row->data(), 1, row->size(), sheet.optimize_tmpfile) == row->size() &&
        std::fwrite("</row>", 1, 6, sheet.optimize_tmpfile) == 6;
    m_spans.clear();
    return written;
}

} // namespace quaverly::listing
