#include "listing/sheet_row.h"

#include "support/zip_entries.h"

#include <gtest/gtest.h>
#include <xlsxwriter.h>
#include <xlsxwriter_parts.h>

#include <algorithm>
#include <cerrno>
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

// The rows of one sheet, below a bold header, written by the library's calls or by SheetRow
// past them; every 97th row has a note on its first cell, written while the row is made, and
// the columns are sized and filtered after the rows, as the listing does.
void WriteSheet(lxw_worksheet* sheet, lxw_format* bold, lxw_format* time,
                const std::vector<Row>& rows, bool bySheetRow) {
    EXPECT_EQ(worksheet_write_string(sheet, 0, 0, "path", bold), LXW_NO_ERROR);
    EXPECT_EQ(worksheet_write_string(sheet, 0, 1, "size", bold), LXW_NO_ERROR);
    if (bySheetRow) {
        lxw_worksheet_write_single_row(sheet);
    }
    worksheet_freeze_panes(sheet, 1, 0);
    SheetRow made;
    for (const Row& row : rows) {
        made.Start(row.number);
        for (const Cell& cell : row.cells) {
            lxw_format* const format = cell.timed ? time : nullptr;
            lxw_error error = LXW_NO_ERROR;
            if (cell.kind == Cell::Kind::Text) {
                if (bySheetRow) {
                    made.Text(cell.column, cell.text);
                } else {
                    error = worksheet_write_string(sheet, row.number, cell.column,
                                                   cell.text.c_str(), format);
                }
            } else if (cell.kind == Cell::Kind::Number) {
                if (bySheetRow) {
                    made.Number(cell.column, cell.number,
                                format != nullptr ? lxw_format_get_xf_index(format) : 0);
                } else {
                    error =
                        worksheet_write_number(sheet, row.number, cell.column, cell.number, format);
                }
            } else if (bySheetRow) {
                made.Boolean(cell.column, cell.truth);
            } else {
                error =
                    worksheet_write_boolean(sheet, row.number, cell.column, cell.truth, nullptr);
            }
            ASSERT_EQ(error, LXW_NO_ERROR) << "row " << row.number;
        }
        if (row.number % 97 == 0 && !row.cells.empty()) {
            EXPECT_EQ(worksheet_write_comment(sheet, row.number, row.cells.front().column,
                                              "A note & <one> more"),
                      LXW_NO_ERROR);
        }
        if (bySheetRow) {
            EXPECT_TRUE(made.AddTo(*sheet));
        }
    }
    EXPECT_EQ(worksheet_set_column(sheet, 0, 4, 20, nullptr), LXW_NO_ERROR);
    EXPECT_EQ(worksheet_set_column(sheet, 5, 5, 12, time), LXW_NO_ERROR);
    EXPECT_EQ(worksheet_autofilter(sheet, 0, 0, rows.empty() ? 1 : rows.back().number, 5),
              LXW_NO_ERROR);
}

// The parts of a workbook of two sheets of `rows` (all but docProps/core.xml, which holds the
// time it was made).
std::map<std::string, std::string> Workbook(const std::vector<Row>& rows, bool bySheetRow) {
    const std::filesystem::path folder = std::filesystem::temp_directory_path();
    // The test's cases may run at once.
    const std::string path =
        (folder / (std::string("sheet_row_test_") +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name() +
                   (bySheetRow ? "_b" : "_a") + ".xlsx"))
            .string();
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
    WriteSheet(workbook_add_worksheet(workbook, "Files"), bold, time, rows, bySheetRow);
    WriteSheet(workbook_add_worksheet(workbook, "Files 2"), bold, time, rows, bySheetRow);
    EXPECT_EQ(workbook_close(workbook), LXW_NO_ERROR);
    std::string bytes;
    {
        std::ifstream in(path, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    auto entries = testing::ZipEntries(bytes);
    std::filesystem::remove(path);
    entries.erase("docProps/core.xml");
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
    // A row larger than the buffer of its sheet's file.
    Row large{next + 6, {}};
    for (std::uint16_t column = 0; column < 40; ++column) {
        large.cells.emplace_back(column, std::string(32'767, 'y'));
    }
    rows.push_back(large);
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
                std::string text(random() % 200 == 0 ? 32'767 : random() % 60, ' ');
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

#ifndef _WIN32
// A part the library could not write whole is remembered until it is asked for, since the
// library rewinds the part (forgetting the stream's error) without looking.
TEST(LibraryParts, AFailedFlushIsKeptUntilTaken) {
    quaverly_take_part_error();
    FILE* const full = std::fopen("/dev/full", "w");
    ASSERT_NE(full, nullptr);
    std::fputs("a part", full);
    EXPECT_NE(quaverly_checked_fflush(full), 0);
    std::fclose(full);
    EXPECT_EQ(quaverly_take_part_error(), ENOSPC);
    EXPECT_EQ(quaverly_take_part_error(), 0);

    // A part's file, buffered, reads back what was written past its buffer.
    std::string tmpdir = std::filesystem::temp_directory_path().string();
    FILE* const part = quaverly_buffered_tmpfile(tmpdir.data());
    ASSERT_NE(part, nullptr);
    const std::string bytes(3U << 20U, 'p');
    EXPECT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), part), bytes.size());
    EXPECT_EQ(quaverly_checked_fflush(part), 0);
    std::rewind(part);
    std::string back(bytes.size() + 1, '\0');
    EXPECT_EQ(std::fread(back.data(), 1, back.size(), part), bytes.size());
    EXPECT_EQ(quaverly_buffered_fclose(part), 0);
    EXPECT_EQ(quaverly_take_part_error(), 0);
}
#endif

} // namespace
} // namespace quaverly::listing
