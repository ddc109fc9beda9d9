#include "listing/sheet_row.h"

#include "support/zip_entries.h"

#include <gtest/gtest.h>
#include <xlsxwriter.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <random>

namespace quaverly::listing {
namespace {

// A cell as both ways are told it: a text, a number (with the time style or none) or a
// truth value.
struct Cell {
    Cell(std::uint16_t at, std::string value) : column(at), text(std::move(value)) {}
    Cell(std::uint16_t at, double value, bool time = false)
        : column(at), kind(Kind::Number), number(value), timed(time) {}
    Cell(std::uint16_t at, bool value) : column(at), kind(Kind::Boolean), truth(value) {}

    enum class Kind { Text, Number, Boolean };
    std::uint16_t column;
    Kind kind = Kind::Text;
    std::string text;
    double number = 0;
    bool timed = false;
    bool truth = false;
};
struct Row {
    std::uint32_t number;
    std::vector<Cell> cells;
};

// The sheets, styles and the rest of a workbook of `rows` below a bold header, its cells
// written by the library's calls, or by SheetRow past them.
std::map<std::string, std::string> Workbook(const std::vector<Row>& rows, bool bySheetRow) {
    const std::filesystem::path folder = std::filesystem::temp_directory_path();
    const std::string path =
        (folder / (std::string("sheet_row_test_") + (bySheetRow ? "b" : "a") + ".xlsx")).string();
    std::string tmpdir = folder.string();
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = tmpdir.data();
    lxw_workbook* const workbook = workbook_new_opt(path.c_str(), &options);
    EXPECT_NE(workbook, nullptr);
    lxw_format* const bold = workbook_add_format(workbook);
    format_set_bold(bold);
    lxw_format* const time = workbook_add_format(workbook);
    format_set_num_format(time, "[h]:mm:ss");
    lxw_worksheet* const sheet = workbook_add_worksheet(workbook, "Files");
    worksheet_write_string(sheet, 0, 0, "path", bold);
    worksheet_write_string(sheet, 0, 1, "size", bold);
    if (bySheetRow) {
        lxw_worksheet_write_single_row(sheet);
    }
    SheetRow made;
    for (const Row& row : rows) {
        made.Start(row.number);
        for (const Cell& cell : row.cells) {
            lxw_format* const format = cell.timed ? time : nullptr;
            if (cell.kind == Cell::Kind::Text) {
                if (bySheetRow) {
                    made.Text(cell.column, cell.text);
                } else {
                    worksheet_write_string(sheet, row.number, cell.column, cell.text.c_str(),
                                           format);
                }
            } else if (cell.kind == Cell::Kind::Number) {
                if (bySheetRow) {
                    made.Number(cell.column, cell.number,
                                format != nullptr ? lxw_format_get_xf_index(format) : 0);
                } else {
                    worksheet_write_number(sheet, row.number, cell.column, cell.number, format);
                }
            } else if (bySheetRow) {
                made.Boolean(cell.column, cell.truth);
            } else {
                worksheet_write_boolean(sheet, row.number, cell.column, cell.truth, nullptr);
            }
        }
        if (bySheetRow) {
            EXPECT_TRUE(made.AddTo(*sheet));
        }
    }
    worksheet_freeze_panes(sheet, 1, 0);
    EXPECT_EQ(workbook_close(workbook), LXW_NO_ERROR);
    std::string bytes;
    {
        std::ifstream in(path, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    auto entries = testing::ZipEntries(bytes);
    std::filesystem::remove(path);
    entries.erase("docProps/core.xml"); // the time it was made
    return entries;
}

void ExpectTheSameWorkbook(const std::vector<Row>& rows) {
    const auto library = Workbook(rows, false);
    const auto ours = Workbook(rows, true);
    ASSERT_EQ(library.size(), ours.size());
    for (const auto& [name, content] : library) {
        ASSERT_EQ(ours.count(name), 1U) << name;
        const std::string& mine = ours.at(name);
        const auto [at, unused] =
            std::mismatch(content.begin(), content.end(), mine.begin(), mine.end());
        const auto from = static_cast<std::size_t>(at - content.begin());
        ASSERT_EQ(mine.size(), content.size()) << name << " first differs at " << from;
        ASSERT_EQ(from, content.size())
            << name << ": the library's\n"
            << content.substr(from > 80 ? from - 80 : 0, 160) << "\nagainst\n"
            << mine.substr(from > 80 ? from - 80 : 0, 160);
    }
}

// What the cells of a workbook are told is what sheets hold and the rows come after: the
// texts and numbers that are written unlike the others, cells out of order and twice.
TEST(SheetRow, WritesCellsAsTheLibraryDoes) {
    const std::vector<std::string> texts = {"plain",
                                            " lead",
                                            "trail ",
                                            "\tTab",
                                            "line\n",
                                            " ",
                                            "a&b<c>d\"e'f;&amp;",
                                            std::string("\x01\x02\x08\x0B\x0C\x0D\x1F\x7F", 8),
                                            "\v",
                                            "\r\n",
                                            "_x0041_ and _x005F_",
                                            "Bj\xC3\xB6rk \xF0\x9F\x8E\xB5",
                                            "\xFF\xFE\x80",
                                            "%s%n%d",
                                            std::string("ab\0cd", 5),
                                            std::string(1, '\0'),
                                            std::string(32'767, 'x'),
                                            "</t></is></c><c>"};
    const std::vector<double> numbers = {0.0,
                                         -0.0,
                                         1,
                                         7'427'662,
                                         0.5,
                                         1.0 / 3,
                                         0.004287731481481481,
                                         1e-7,
                                         123'456'789'012'345'678.0,
                                         9'007'199'254'740'992.0,
                                         9'007'199'254'740'994.0,
                                         -5,
                                         -1.5,
                                         1e17,
                                         1e21,
                                         1e300,
                                         5e-324,
                                         std::numeric_limits<double>::max()};
    std::vector<Row> rows;
    std::uint32_t next = 1;
    for (const std::string& text : texts) {
        rows.push_back({next++, {{0, text}, {3, text}}});
    }
    for (const double number : numbers) {
        rows.push_back({next++, {{1, number}, {2, number, true}}});
    }
    // Every integer a number cell is given by the listing, and more.
    for (double integer = 0; integer < 3'000; ++integer) {
        rows.push_back({next++, {{4, integer}}});
    }
    for (double power = 1; power <= 9'007'199'254'740'992.0; power *= 2) {
        rows.push_back({next++, {{4, power - 1}, {5, power}, {6, power + 1}}});
    }
    rows.push_back({next++, {{7, true}, {8, false}}});
    // Out of order, twice in a column, gaps, and the last column and row.
    rows.push_back({next++,
                    {{16, std::string("hex")},
                     {2, 5.0},
                     {9, std::string("b")},
                     {2, std::string("again")},
                     {16'383, std::string("XFD")}}});
    rows.push_back({next + 5, {{25, 1.0}, {26, 2.0}, {701, 3.0}, {702, 4.0}}});
    rows.push_back({1'048'575, {{0, std::string("last")}}});
    ExpectTheSameWorkbook(rows);
}

// Cells made at random: bytes of every kind in texts, numbers of every bit pattern that is
// one, columns in any order.
TEST(SheetRow, WritesRandomCellsAsTheLibraryDoes) {
    std::mt19937_64 random(20261209);
    const std::string alphabet = std::string("\0\x01\x09\x0A\x0B\x0D\x1F\x7F &<>\"'_x0F%", 19) +
                                 "abc\xC3\xA9\xE2\x82\xAC\xF0\x9F\x8E\xB5\xFF";
    std::vector<Row> rows;
    for (std::uint32_t number = 1; rows.size() < 4'000;
         number += static_cast<std::uint32_t>(1 + random() % 3)) {
        Row& row = rows.emplace_back(Row{number, {}});
        for (std::size_t cells = random() % 12; cells > 0; --cells) {
            const auto column = static_cast<std::uint16_t>(random() % 40);
            switch (random() % 4) {
            case 0: {
                std::string text(random() % 60, ' ');
                for (char& c : text) {
                    c = alphabet[random() % alphabet.size()];
                }
                row.cells.emplace_back(column, text);
                break;
            }
            case 1: {
                const std::uint64_t bits = random();
                double value = 0;
                std::memcpy(&value, &bits, sizeof value);
                row.cells.emplace_back(column, std::isfinite(value) ? value : 0.25);
                break;
            }
            case 2:
                row.cells.emplace_back(column, static_cast<double>(random() >> (random() % 64)),
                                       random() % 2 == 0);
                break;
            default:
                row.cells.emplace_back(column, random() % 2 == 0);
            }
        }
    }
    ExpectTheSameWorkbook(rows);
}

} // namespace
} // namespace quaverly::listing
