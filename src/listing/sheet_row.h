#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct lxw_worksheet;

namespace quaverly::listing {

// One row of a sheet that the library writes in its constant-memory mode, made as the library
// makes it, byte for byte, and added to the sheet's temporary file in one write. The library's
// own way takes, for every cell, copies of its text, four allocations and a formatted print:
// the workbook cost twice what the rest of a run costs. The sheet's header row is the
// library's, written before any of these.
class SheetRow {
public:
    // A new row, the sheet's `row`th from 0. Its cells may come in any order of columns; a
    // column's last is the one written, as the library keeps it.
    void Start(std::uint32_t row);
    // A text cell, its text as the cell's string ("_xHHHH_" escapes of its own already written
    // so); none where it is empty.
    void Text(std::uint16_t column, std::string_view text);
    // A number cell with the style of that index (0, none).
    void Number(std::uint16_t column, double value, int style = 0);
    void Boolean(std::uint16_t column, bool value);
    // The row, if it has cells, after the sheet's rows, and the sheet's extent grown to hold
    // it; false where the write failed.
    bool AddTo(lxw_worksheet& sheet);

private:
    void Cell(std::uint16_t column);

    // Where a cell lies in m_xml.
    struct Span {
        std::uint16_t column;
        std::size_t begin;
        std::size_t end;
    };

    std::string m_xml; // the row's start, then its cells as they came
    std::string m_ordered;
    std::vector<Span> m_spans;
    std::size_t m_start = 0; // where the cells begin in m_xml
    std::uint32_t m_row = 0;
    bool m_inOrder = true;
};

} // namespace quaverly::listing
