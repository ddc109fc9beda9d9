#pragma once

#include "listing/folder_rollups.h"
#include "listing/record_formats.h"
#include "listing/sheet_row.h"
#include "platform/file_system.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct lxw_workbook;
struct lxw_worksheet;
struct lxw_format;

namespace quaverly::listing {

// The listing as a workbook (Office Open XML), whose cells carry their types, which a CSV's
// cannot: a spreadsheet takes "0042" or "2026-01-02" in a CSV for a number or a date. A sheet
// "Files" holds one row per file, in the page's order, with the records' fields: every text as
// a text cell (never a formula), counts as numbers, the playing time as a time, and "path_hex"
// where the path is not valid UTF-8 or a text was cut. A sheet "Folders" holds one row per
// folder with what it and those below it hold. Past a sheet's rows, they go on in "Files 2",
// "Folders 2" and so on. A run cut short, or one that could not read everything, adds "Run",
// which says so and names what was not read.
//
// It is written as the walk goes, a row at a time (its memory does not grow with the tree),
// into a scratch file the file system makes, and handed to the page at the end.
class XlsxFormat final : public RecordFormat {
public:
    // The most rows a sheet holds, its header's among them.
    static constexpr std::uint32_t kSheetRows = 1'048'576;
    // The most characters a cell holds.
    static constexpr std::size_t kCellCharacters = 32'767;

    explicit XlsxFormat(platform::FileSystem& fileSystem, std::uint32_t sheetRows = kSheetRows);
    ~XlsxFormat() override;
    XlsxFormat(const XlsxFormat&) = delete;
    XlsxFormat& operator=(const XlsxFormat&) = delete;

    void Begin(PageWriter& page, std::string_view folder) override;
    void FolderRow(PageWriter& page, std::string_view folder) override;
    void WriteFileRow(PageWriter& page, const FileRow& row) override;
    void End(PageWriter& page, const RunReport& report) override;

private:
    static constexpr std::string_view kWholeInTheTag =
        "The rest is in the file's tag; path_hex names the file.";
    static constexpr std::string_view kWholeInHex = "The whole path is in path_hex.";

    // One sheet of a kind, its rows written so far and the widths its columns want.
    struct Sheet {
        lxw_worksheet* sheet = nullptr;
        std::uint32_t rows = 0;
        std::vector<double> widths;
    };
    // The sheets of one kind: files or folders.
    struct Kind {
        std::string name;
        std::vector<std::string_view> columns;
        std::vector<Sheet> sheets;
    };

    void WriteHeader(PageWriter& /*page*/) override {}
    void WriteRecord(PageWriter& page, const Field* fields, std::size_t count) override;
    void WriteFolder(const FolderDone& done);

    // A sheet of `kind`, after those it has, with the header row.
    void AddSheet(Kind& kind);
    // The row to write next in a sheet of `kind`: on a new sheet when the last is full.
    std::uint32_t NextRow(Kind& kind);
    // The row made so far after its sheet's.
    void AddRow();
    // Writes `text` as a text cell, cut to what a cell holds; returns whether it was cut. A cut
    // cell's note says so, and then `whole`: where the whole text is.
    bool Text(Sheet& sheet, std::uint32_t row, std::uint16_t column, std::string_view text,
              std::string_view whole = kWholeInTheTag);
    // The raw path in hexadecimal at `column`, going on at `next` and the columns after it
    // where a cell cannot hold it all.
    void Hex(Sheet& sheet, std::uint32_t row, std::uint16_t column, std::uint16_t next,
             std::string_view hex);
    void Number(Sheet& sheet, std::uint16_t column, double value, lxw_format* format = nullptr);
    // A number of a field as its text says it: a number where a cell holds it exactly.
    void NumberText(Sheet& sheet, std::uint32_t row, std::uint16_t column, std::string_view text);
    void Check(int error, std::string_view what) const;
    // The sheet of what the run could not read, and whether it was cut short; none when it
    // read everything.
    void WriteRun(const RunReport& report);
    void Finish(Kind& kind);
    // Throws unless every sheet's rows reached the library's temporary files whole, and the
    // sheets in the workbook hold at least as many bytes (the library does not check its
    // copies).
    void ExpectRowsWritten(std::vector<std::int64_t>& bytes) const;
    void ExpectSheetsWhole(platform::InputFile& workbook,
                           const std::vector<std::int64_t>& bytes) const;

    platform::FileSystem& m_fileSystem;
    std::uint32_t m_sheetRows;
    std::unique_ptr<platform::ScratchFile> m_scratch;
    std::string m_scratchFolder; // where the library keeps its temporary files
    lxw_workbook* m_workbook = nullptr;
    lxw_format* m_header = nullptr;
    lxw_format* m_time = nullptr;
    Kind m_files;
    Kind m_folders;
    std::vector<lxw_worksheet*> m_made; // every sheet, in the order made
    SheetRow m_row; // the row being made, and the sheet it goes to
    lxw_worksheet* m_rowSheet = nullptr;
    FolderRollups m_rollups;
    // The cells' texts and notes, kept from cell to cell, so that their memory is too.
    std::string m_text;
    std::string m_joined;
    std::string m_relative;
    std::string m_name;
    std::string m_hex;
    std::size_t m_notes = 0;
};

} // namespace quaverly::listing
