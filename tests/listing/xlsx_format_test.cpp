#include "listing/xlsx_format.h"

#include "support/fake_file_system.h"
#include "support/memory_file_system.h"
#include "support/zip_entries.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace quaverly::listing {
namespace {

using testing::Occurrences;

std::string Native(std::string path) {
    std::replace(path.begin(), path.end(), '/', platform::kPathSeparator);
    return path;
}

class Workbook : public ::testing::Test {
protected:
    // A workbook of sheets of `sheetRows` rows, header and all, written through `fileSystem`.
    void Start(std::uint32_t sheetRows = XlsxFormat::kSheetRows) {
        format = std::make_unique<XlsxFormat>(fileSystem, sheetRows);
        format->Begin(page, Native("/m"));
    }
    void Folder(const std::string& path) { format->FolderRow(page, Native("/m" + path)); }
    void File(const std::string& folder, const std::string& name, std::int64_t size,
              const mpeg::FileScan* scan = nullptr) {
        const std::string path = Native("/m" + folder + "/" + name);
        format->WriteFileRow(page, FileRow{path, name, RowShade::Plain, scan, size});
    }
    std::map<std::string, std::string> Entries() {
        format->End(page, report);
        page.Close();
        return testing::ZipEntries(bytes);
    }

    testing::FakeFileSystem fileSystem;
    std::string bytes;
    PageWriter page{std::make_unique<testing::MemoryOutputFile>(bytes)};
    std::unique_ptr<XlsxFormat> format;
    RunReport report;
};

// Past a sheet's rows, files and folders go on in sheets of their own kind, each with its
// header, its frozen row and its filter; a size no cell's number holds exactly stays digits.
TEST_F(Workbook, SheetsGoOnPastTheirRowsAndKeepTheirTypes) {
    Start(3);
    mpeg::FileScan scan;
    scan.bitrate = 128;
    Folder("/a");
    File("/a", "0042", 1, &scan);
    File("/a", "=1+2.mp3", std::int64_t{1} << 60, &scan);
    File("/a", "2026-01-02", 7);
    Folder("/b");
    File("/b", "TRUE", 8);
    Folder("");
    File("", "x", 9);
    const auto entries = Entries();
    const std::string& book = entries.at("xl/workbook.xml");
    EXPECT_LT(book.find("name=\"Files\""), book.find("name=\"Folders\""));
    EXPECT_LT(book.find("name=\"Folders\""), book.find("name=\"Files 2\""));
    EXPECT_NE(book.find("name=\"Files 3\""), std::string::npos);
    EXPECT_NE(book.find("name=\"Folders 2\""), std::string::npos);
    // Files, Folders, Files 2, Files 3 (the order they were needed in), Folders 2.
    const std::array<std::size_t, 5> rows = {3, 3, 3, 2, 2};
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const std::string& sheet =
            entries.at("xl/worksheets/sheet" + std::to_string(i + 1) + ".xml");
        EXPECT_EQ(Occurrences(sheet, "<row "), rows[i]) << i;
        EXPECT_EQ(Occurrences(sheet, ">path<"), 1U) << i;
        EXPECT_EQ(Occurrences(sheet, "state=\"frozen\""), 1U) << i;
        EXPECT_EQ(Occurrences(sheet, "<autoFilter ref=\"A1:"), 1U) << i;
        EXPECT_EQ(Occurrences(sheet, "<f"), 0U) << i;
    }
    const std::string& files = entries.at("xl/worksheets/sheet1.xml");
    EXPECT_NE(files.find("<t>" + Native("a/0042") + "</t>"), std::string::npos);
    EXPECT_NE(files.find("<t>=1+2.mp3</t>"), std::string::npos);
    EXPECT_NE(files.find("<t>1152921504606846976</t>"), std::string::npos);
    EXPECT_NE(files.find("<v>1</v>"), std::string::npos);
    // The folder's bytes add up past what a cell's number holds exactly: digits too.
    EXPECT_NE(entries.at("xl/worksheets/sheet2.xml").find("<t>1152921504606846984</t>"),
              std::string::npos);
}

// A text longer than a cell holds is cut where the cell is full, the characters that are
// written as escapes counted as the escapes they are, and its note says so.
TEST_F(Workbook, ATextIsCutWhereTheCellIsFull) {
    Start();
    Folder("");
    std::vector<mpeg::FileScan> scans(3);
    const std::string titles[] = {std::string(40'000, 'a'), std::string(9'000 * 7, ' '),
                                  std::string()};
    scans[0].tags.emplace().title = titles[0];
    scans[1].tags.emplace().title.clear();
    for (int i = 0; i < 9'000; ++i) {
        scans[1].tags->title += "_x0041_"; // each '_' written as "_x005F_"
    }
    scans[2].tags.emplace();
    for (int i = 0; i < 21'845; ++i) {
        scans[2].tags->title += "\xEF\xBF\xBF"; // U+FFFF, written as "_xFFFF_"
    }
    for (std::size_t i = 0; i < scans.size(); ++i) {
        File("", "t" + std::to_string(i) + ".mp3", 1, &scans[i]);
    }
    const auto entries = Entries();
    const std::string& sheet = entries.at("xl/worksheets/sheet1.xml");
    std::vector<std::size_t> cells;
    for (std::size_t at = sheet.find("<c r=\"AE"); at != std::string::npos;
         at = sheet.find("<c r=\"AE", at + 1)) {
        const std::size_t start = sheet.find("<t>", at) + 3;
        cells.push_back(sheet.find("</t>", start) - start);
    }
    ASSERT_EQ(cells.size(), 4U); // the header's, then the titles'
    for (std::size_t i = 1; i < cells.size(); ++i) {
        EXPECT_GE(cells[i], 32'760U) << i;
        EXPECT_LE(cells[i], 32'767U) << i;
    }
    const std::string& notes = entries.at("xl/comments1.xml");
    EXPECT_NE(notes.find("Cut to 32,767 of 40,000 characters"), std::string::npos);
    EXPECT_EQ(Occurrences(notes, "The rest is in the file's tag"), 3U);
}

// A run cut short, or one that could not read everything, says so in a sheet of its own.
TEST_F(Workbook, ARunCutShortSaysWhatItCouldNotRead) {
    Start();
    Folder("");
    File("", "x.mp3", 1);
    report.RecordFailure(Native("/m/locked"), 13, "could not be listed: Permission denied");
    const auto entries = Entries();
    EXPECT_NE(entries.at("xl/workbook.xml").find("name=\"Run\""), std::string::npos);
    const std::string& run = entries.at("xl/worksheets/sheet3.xml");
    EXPECT_NE(run.find("<t>locked</t>"), std::string::npos);
    EXPECT_NE(run.find("<t>could not be listed: Permission denied</t>"), std::string::npos);
}

// The scratch file that cannot be made, or read back, fails the listing, and none is left.
TEST_F(Workbook, AScratchFileThatFailsFailsTheListing) {
    fileSystem.onCreateScratch = [] {
        throw platform::FileError(platform::FileErrorCause::DiskFull, 0, "create", "scratch");
    };
    EXPECT_THROW(Start(), platform::FileError);

    fileSystem.onCreateScratch = nullptr;
    std::string scratch;
    fileSystem.onRead = [&](const std::string& path, std::uint64_t, std::size_t&) {
        scratch = path;
        throw platform::FileError(platform::FileErrorCause::InputOutput, 0, "read", path);
    };
    Start();
    File("", "x.mp3", 1);
    EXPECT_THROW(format->End(page, report), platform::FileError);
    format.reset();
    ASSERT_FALSE(scratch.empty());
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::u8path(scratch)));
}

} // namespace
} // namespace quaverly::listing
