#include "listing/xlsx_format.h"

#include "platform/file_error.h"

#include <xlsxwriter.h>
#include <xlsxwriter_parts.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <map>

namespace quaverly::listing {

namespace {

// The files' columns are the records' fields after "type": every row is a file's.
constexpr std::size_t kFirstField = 1;
constexpr std::size_t kMpegVersionField = 7;
constexpr std::size_t kDurationField = 13;
constexpr std::size_t kPathField = 1;
constexpr std::size_t kNameField = 3; // path, folder and name before it

constexpr std::array<std::string_view, 9> kFolderColumns = {
    "path",           "files",           "mp3_files", "size",    "duration_seconds",
    "lowest_bitrate", "average_bitrate", "findings",  "path_hex"};
constexpr std::array<std::string_view, 3> kRunColumns = {"path", "reason", "path_hex"};

// Columns are as wide as what they hold, within these bounds, in characters.
constexpr double kNarrowest = 6;
constexpr double kWidest = 60;
constexpr double kTimeWidth = 12;
// Cells cut with a note saying so; later ones are cut all the same, without one.
constexpr std::size_t kMostNotes = 10'000;
// The largest integer a cell's number (a double) holds exactly.
constexpr std::int64_t kExactInteger = std::int64_t{1} << 53;
constexpr double kSecondsADay = 86'400;

std::uint64_t Little(const unsigned char* bytes, int count) {
    std::uint64_t value = 0;
    for (int i = count - 1; i >= 0; --i) {
        value = value << 8U | bytes[i];
    }
    return value;
}

// The uncompressed sizes of an archive's entries by name, from its central directory (ZIP64
// too); empty where it has none that can be read.
std::map<std::string, std::uint64_t, std::less<>> EntrySizes(platform::InputFile& zip) {
    std::map<std::string, std::uint64_t, std::less<>> sizes;
    const std::uint64_t size = zip.Size();
    // The end record, and before it perhaps the ZIP64 locator; no comment follows.
    constexpr std::size_t kEnd = 22;
    constexpr std::size_t kLocator = 20;
    if (size < kEnd) {
        return sizes;
    }
    std::vector<unsigned char> end(std::min<std::uint64_t>(size, kEnd + kLocator));
    zip.ReadAt(size - end.size(), end.data(), end.size());
    const unsigned char* record = end.data() + end.size() - kEnd;
    if (Little(record, 4) != 0x06054b50) {
        return sizes;
    }
    std::uint64_t entries = Little(record + 10, 2);
    std::uint64_t length = Little(record + 12, 4);
    std::uint64_t at = Little(record + 16, 4);
    if (at == 0xFFFFFFFF && end.size() == kEnd + kLocator && Little(end.data(), 4) == 0x07064b50) {
        std::array<unsigned char, 56> zip64{};
        zip.ReadAt(Little(end.data() + 8, 8), zip64.data(), zip64.size());
        entries = Little(zip64.data() + 32, 8);
        length = Little(zip64.data() + 40, 8);
        at = Little(zip64.data() + 48, 8);
    }
    if (length > size || at > size - length) {
        return sizes;
    }
    std::vector<unsigned char> directory(static_cast<std::size_t>(length));
    zip.ReadAt(at, directory.data(), directory.size());
    for (std::size_t i = 0, next = 0; i < entries && next + 46 <= directory.size(); ++i) {
        const unsigned char* entry = directory.data() + next;
        const std::size_t name = Little(entry + 28, 2);
        const std::size_t extra = Little(entry + 30, 2);
        if (Little(entry, 4) != 0x02014b50 || next + 46 + name + extra > directory.size()) {
            break;
        }
        std::uint64_t uncompressed = Little(entry + 24, 4);
        // A size too large for its field is the first of the ZIP64 extra field's.
        for (std::size_t field = 0; uncompressed == 0xFFFFFFFF && field + 4 <= extra;) {
            const unsigned char* header = entry + 46 + name + field;
            const std::size_t fieldSize = Little(header + 2, 2);
            if (Little(header, 2) == 1 && fieldSize >= 8 && field + 4 + fieldSize <= extra) {
                uncompressed = Little(header + 4, 8);
            }
            field += 4 + fieldSize;
        }
        sizes[std::string(reinterpret_cast<const char*>(entry + 46), name)] = uncompressed;
        next += 46 + name + extra + Little(entry + 32, 2);
    }
    return sizes;
}

bool IsHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// How many UTF-16 units valid UTF-8 takes, which is what a spreadsheet counts.
std::size_t Utf16Units(std::string_view text) {
    std::size_t units = 0;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        units += (byte & 0xC0) != 0x80 ? 1 : 0;
        units += byte >= 0xF0 ? 1 : 0;
    }
    return units;
}

// What one character of a cell's text is written as.
struct Escaped {
    std::size_t bytes;   // of the text it takes
    std::string_view as; // what it is written as, when not as it is
    std::size_t units;   // the UTF-16 units it is written in
};

Escaped EscapedAt(std::string_view text, std::size_t at) {
    const char c = text[at];
    const auto byte = static_cast<unsigned char>(c);
    if (c == '_' && at + 6 < text.size() && text[at + 1] == 'x' && IsHex(text[at + 2]) &&
        IsHex(text[at + 3]) && IsHex(text[at + 4]) && IsHex(text[at + 5]) && text[at + 6] == '_') {
        return {1, "_x005F_", 7};
    }
    if (c == '\0') {
        return {1, "_x0000_", 7};
    }
    if (c == '\xEF' && text.substr(at + 1, 2) == "\xBF\xBE") {
        return {3, "_xFFFE_", 7};
    }
    if (c == '\xEF' && text.substr(at + 1, 2) == "\xBF\xBF") {
        return {3, "_xFFFF_", 7};
    }
    const std::size_t length = byte < 0x80 ? 1 : byte < 0xE0 ? 2 : byte < 0xF0 ? 3 : 4;
    return {std::min(length, text.size() - at), {}, length == 4 ? 2U : 1U};
}

// `text` (valid UTF-8) as a cell's string in `out`, as much of it as `units` UTF-16 units of
// the string hold; returns how many bytes of `text` it took. A spreadsheet reads "_xHHHH_" in
// a cell as the character U+HHHH, so a name that spells one has its '_' written so
// ("_x005F_"); the library writes control characters so; NUL and U+FFFE and U+FFFF, which XML
// cannot hold, are written so here.
std::size_t AppendCellText(std::string& out, std::string_view text, std::size_t units) {
    // Most texts hold nothing written as an escape, and are shorter in UTF-16 units than in
    // bytes: they are taken whole.
    static constexpr std::array<bool, 256> kMayEscape = [] {
        std::array<bool, 256> may{};
        may['_'] = may[0] = may[0xEF] = true;
        return may;
    }();
    if (text.size() <= units && std::none_of(text.begin(), text.end(), [](char c) {
            return kMayEscape[static_cast<unsigned char>(c)];
        })) {
        out.append(text);
        return text.size();
    }
    std::size_t at = 0;
    for (std::size_t taken = 0; at < text.size();) {
        const Escaped escaped = EscapedAt(text, at);
        if (taken + escaped.units > units) {
            break;
        }
        taken += escaped.units;
        if (escaped.as.empty()) {
            out.append(text.substr(at, escaped.bytes));
        } else {
            out.append(escaped.as);
        }
        at += escaped.bytes;
    }
    return at;
}

void Join(std::string& joined, const std::vector<std::string_view>& items,
          std::string_view separator) {
    joined.clear();
    for (const std::string_view item : items) {
        joined.append(joined.empty() ? "" : separator).append(item);
    }
}

std::string Thousands(std::size_t value) {
    const std::string digits = std::to_string(value);
    std::string grouped;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) {
            grouped.push_back(',');
        }
        grouped.push_back(digits[i]);
    }
    return grouped;
}

} // namespace

XlsxFormat::XlsxFormat(platform::FileSystem& fileSystem, std::uint32_t sheetRows)
    : m_fileSystem(fileSystem), m_sheetRows(std::clamp<std::uint32_t>(sheetRows, 2, kSheetRows)) {
    m_files.name = "Files";
    m_files.columns.assign(std::begin(kFieldNames) + kFirstField, std::end(kFieldNames));
    m_folders.name = "Folders";
    m_folders.columns.assign(kFolderColumns.begin(), kFolderColumns.end());
}

XlsxFormat::~XlsxFormat() {
    if (m_workbook != nullptr) {
        // A run that failed: nothing more is written, and the library's files are let go.
        for (lxw_worksheet* const sheet : m_made) {
            if (sheet->optimize_tmpfile != nullptr) {
                quaverly_buffered_fclose(sheet->optimize_tmpfile);
                sheet->optimize_tmpfile = nullptr;
            }
        }
        lxw_workbook_free(m_workbook);
    }
}

void XlsxFormat::Check(int error, std::string_view what) const {
    if (error != LXW_NO_ERROR) {
        const int system = errno != 0 ? errno : EIO;
        throw platform::FileError::FromErrno(
            system, std::string(what) + " (" + lxw_strerror(static_cast<lxw_error>(error)) + ") in",
            m_scratch ? m_scratch->Path() : std::string("the workbook"));
    }
}

void XlsxFormat::Begin(PageWriter& page, std::string_view folder) {
    RecordFormat::Begin(page, folder);
    m_scratch = m_fileSystem.CreateScratchFile();
    // Each sheet's rows go to a temporary file of the library's as they come.
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    // The library's own temporary files beside the scratch file, in a folder named in full:
    // the run works in the folder listed, where a relative one would put them.
    const std::string& scratch = m_scratch->Path();
    m_scratchFolder = scratch.substr(0, scratch.find_last_of("/\\"));
    options.tmpdir = m_scratchFolder.data();
    errno = 0;
    m_workbook = workbook_new_opt(m_scratch->Path().c_str(), &options);
    if (m_workbook == nullptr) {
        Check(LXW_ERROR_CREATING_XLSX_FILE, "start the workbook");
    }
    m_header = workbook_add_format(m_workbook);
    format_set_bold(m_header);
    m_time = workbook_add_format(m_workbook);
    format_set_num_format(m_time, "[h]:mm:ss");
    // The files' sheet first, then the folders'.
    AddSheet(m_files);
    AddSheet(m_folders);
}

void XlsxFormat::AddSheet(Kind& kind) {
    const std::string name =
        kind.sheets.empty() ? kind.name : kind.name + " " + std::to_string(kind.sheets.size() + 1);
    errno = 0;
    lxw_worksheet* sheet = workbook_add_worksheet(m_workbook, name.c_str());
    if (sheet == nullptr) {
        Check(LXW_ERROR_MEMORY_MALLOC_FAILED, "add the sheet " + name);
    }
    m_made.push_back(sheet);
    Sheet& added = kind.sheets.emplace_back();
    added.sheet = sheet;
    added.widths.assign(kind.columns.size(), kNarrowest);
    for (std::size_t i = 0; i < kind.columns.size(); ++i) {
        const std::string column(kind.columns[i]);
        Check(worksheet_write_string(sheet, 0, static_cast<lxw_col_t>(i), column.c_str(), m_header),
              "write a header");
        added.widths[i] = std::max(added.widths[i], static_cast<double>(column.size()) + 2);
    }
    // Out with the header, before the rows written past the library.
    lxw_worksheet_write_single_row(sheet);
    worksheet_freeze_panes(sheet, 1, 0);
    added.rows = 1;
}

std::uint32_t XlsxFormat::NextRow(Kind& kind) {
    AddRow();
    if (kind.sheets.back().rows == m_sheetRows) {
        Finish(kind);
        AddSheet(kind);
    }
    Sheet& sheet = kind.sheets.back();
    m_rowSheet = sheet.sheet;
    m_row.Start(sheet.rows);
    return sheet.rows++;
}

void XlsxFormat::AddRow() {
    lxw_worksheet* const sheet = m_rowSheet;
    m_rowSheet = nullptr;
    errno = 0;
    if (sheet != nullptr && !m_row.AddTo(*sheet)) {
        throw platform::FileError::FromErrno(errno != 0 ? errno : EIO,
                                             "write the rows of the workbook to", m_scratchFolder);
    }
}

bool XlsxFormat::Text(Sheet& sheet, std::uint32_t row, std::uint16_t column, std::string_view text,
                      std::string_view whole) {
    if (text.empty()) {
        return false;
    }
    m_text.clear();
    const std::string_view kept = text.substr(0, AppendCellText(m_text, text, kCellCharacters));
    const bool cut = kept.size() < text.size();
    m_row.Text(column, m_text);
    if (column < sheet.widths.size()) {
        // Most cells are short: their width is measured only while it may grow the column's.
        const double widest = std::min(kWidest, static_cast<double>(m_text.size()) + 1);
        if (widest > sheet.widths[column]) {
            sheet.widths[column] = std::min(kWidest, static_cast<double>(Utf16Units(m_text)) + 1);
        }
    }
    if (cut && m_notes < kMostNotes) {
        ++m_notes;
        const std::string note = "Cut to " + Thousands(Utf16Units(kept)) + " of " +
                                 Thousands(Utf16Units(text)) +
                                 " characters: a cell holds no more. " + std::string(whole);
        Check(worksheet_write_comment(sheet.sheet, row, column, note.c_str()), "write a note");
    }
    return cut;
}

void XlsxFormat::Number(Sheet& sheet, std::uint16_t column, double value, lxw_format* format) {
    m_row.Number(column, value, format != nullptr ? lxw_format_get_xf_index(format) : 0);
    if (column < sheet.widths.size()) {
        std::array<char, 32> digits{};
        const auto [end, error] = std::to_chars(digits.data(), digits.data() + digits.size(),
                                                format == m_time ? 0.0 : value);
        const double width =
            format == m_time ? kTimeWidth : static_cast<double>(end - digits.data()) + 1;
        sheet.widths[column] = std::min(kWidest, std::max(sheet.widths[column], width));
    }
}

void XlsxFormat::NumberText(Sheet& sheet, std::uint32_t row, std::uint16_t column,
                            std::string_view text) {
    const char* const end = text.data() + text.size();
    std::int64_t integer = 0;
    if (const auto [at, error] = std::from_chars(text.data(), end, integer);
        error == std::errc() && at == end) {
        if (integer > kExactInteger || integer < -kExactInteger) {
            // A sparse file's stated size, say: its digits as they are, rather than another
            // number.
            Text(sheet, row, column, text);
        } else {
            Number(sheet, column, static_cast<double>(integer));
        }
        return;
    }
    double value = 0;
    // No number is "inf" or "nan" in a cell.
    if (const auto [at, error] = std::from_chars(text.data(), end, value);
        error == std::errc() && at == end && std::isfinite(value)) {
        Number(sheet, column, value);
    } else {
        Text(sheet, row, column, text);
    }
}

void XlsxFormat::WriteRecord(PageWriter& /*page*/, const Field* fields, std::size_t count) {
    const std::uint32_t row = NextRow(m_files);
    Sheet& sheet = m_files.sheets.back();
    bool cut = false;
    for (std::size_t i = kFirstField; i < count; ++i) {
        const Field& field = fields[i];
        const auto column = static_cast<std::uint16_t>(i - kFirstField);
        switch (field.kind) {
        case Field::Kind::Absent:
            break;
        case Field::Kind::Text:
            if (i == kPathHex) {
                break; // written below
            }
            if (i == kMpegVersionField) {
                NumberText(sheet, row, column, field.value);
            } else {
                cut = Text(sheet, row, column, field.value,
                           i <= kNameField ? kWholeInHex : kWholeInTheTag) ||
                      cut;
            }
            break;
        case Field::Kind::Number:
            if (i == kDurationField) {
                double seconds = 0;
                const auto [at, error] = std::from_chars(
                    field.value.data(), field.value.data() + field.value.size(), seconds);
                if (error == std::errc() && std::isfinite(seconds)) {
                    Number(sheet, column, seconds / kSecondsADay, m_time);
                } else {
                    Text(sheet, row, column, field.value);
                }
            } else {
                NumberText(sheet, row, column, field.value);
            }
            break;
        case Field::Kind::Boolean:
            m_row.Boolean(column, field.value == "true");
            break;
        case Field::Kind::Words:
        case Field::Kind::Picture:
            Join(m_joined, field.items, field.kind == Field::Kind::Words ? ";" : ", ");
            cut = Text(sheet, row, column, m_joined) || cut;
            break;
        }
    }
    // The raw path: where it is not text, or where a cut text leaves the file to be known by it
    // (the path is then valid UTF-8, and the text field holds its bytes).
    std::string_view hex;
    if (fields[kPathHex].kind == Field::Kind::Text) {
        hex = fields[kPathHex].value;
    } else if (cut) {
        AssignHex(m_hex, fields[kPathField].value);
        hex = m_hex;
    }
    // A path longer than a cell holds in hexadecimal goes on in the cells to the right of the
    // last column.
    Hex(sheet, row, static_cast<std::uint16_t>(kPathHex - kFirstField),
        static_cast<std::uint16_t>(m_files.columns.size()), hex);
}

void XlsxFormat::Hex(Sheet& sheet, std::uint32_t row, std::uint16_t column, std::uint16_t next,
                     std::string_view hex) {
    for (std::size_t at = 0; at < hex.size(); at += kCellCharacters) {
        if (at > 0 && next >= LXW_COL_MAX) {
            // A path of some 270 MB.
            errno = 0;
            Check(LXW_ERROR_WORKSHEET_INDEX_OUT_OF_RANGE, "write the path in hexadecimal");
        }
        Text(sheet, row, at == 0 ? column : next++, hex.substr(at, kCellCharacters));
    }
}

void XlsxFormat::WriteFolder(const FolderDone& done) {
    const std::uint32_t row = NextRow(m_folders);
    Sheet& sheet = m_folders.sheets.back();
    Relative(done.path, m_relative);
    const bool valid = AssignUtf8(m_name, m_relative);
    const bool cut = Text(sheet, row, 0, m_name, kWholeInHex);
    const Rollup& r = done.rollup;
    Number(sheet, 1, static_cast<double>(r.files));
    Number(sheet, 2, static_cast<double>(r.mp3Files));
    NumberText(sheet, row, 3, std::to_string(r.bytes));
    if (r.bytes == std::numeric_limits<std::int64_t>::max() && m_notes < kMostNotes) {
        ++m_notes;
        Check(worksheet_write_comment(sheet.sheet, row, 3,
                                      "The sizes below add up to more than this, the most the "
                                      "sum holds (sparse files may state sizes so large)."),
              "write a note");
    }
    Number(sheet, 4, r.seconds / kSecondsADay, m_time);
    if (r.lowestBitrate > 0) {
        Number(sheet, 5, r.lowestBitrate);
    }
    if (const auto average = r.AverageBitrate()) {
        Number(sheet, 6, static_cast<double>(*average));
    }
    Number(sheet, 7, static_cast<double>(r.findings));
    if (!valid || cut) {
        AssignHex(m_hex, m_relative);
        Hex(sheet, row, 8, 9, m_hex);
    }
}

void XlsxFormat::FolderRow(PageWriter& /*page*/, std::string_view folder) {
    if (const auto done = m_rollups.StartFolder(folder)) {
        WriteFolder(*done);
    }
}

void XlsxFormat::WriteFileRow(PageWriter& page, const FileRow& row) {
    m_rollups.AddFile(row);
    RecordFormat::WriteFileRow(page, row);
}

void XlsxFormat::Finish(Kind& kind) {
    AddRow();
    Sheet& sheet = kind.sheets.back();
    for (std::size_t i = 0; i < sheet.widths.size(); ++i) {
        const auto column = static_cast<lxw_col_t>(i);
        Check(worksheet_set_column(sheet.sheet, column, column, sheet.widths[i],
                                   i == 4 && &kind == &m_folders ? m_time : nullptr),
              "size a column");
    }
    Check(worksheet_autofilter(sheet.sheet, 0, 0, sheet.rows > 1 ? sheet.rows - 1 : 1,
                               static_cast<lxw_col_t>(kind.columns.size() - 1)),
          "set the filter");
}

void XlsxFormat::WriteRun(const RunReport& report) {
    if (!report.Cancelled() && report.Failures().empty()) {
        return;
    }
    Kind run;
    run.name = "Run";
    run.columns.assign(kRunColumns.begin(), kRunColumns.end());
    AddSheet(run);
    if (report.Cancelled()) {
        const std::uint32_t row = NextRow(run);
        Text(run.sheets.back(), row, 1,
             "The run was cut short: these sheets hold what it listed before it stopped.");
    }
    for (const Failure& failure : report.Failures()) {
        const std::uint32_t row = NextRow(run);
        Sheet& sheet = run.sheets.back();
        Relative(failure.path, m_relative);
        const bool valid = AssignUtf8(m_name, m_relative);
        const bool cut = Text(sheet, row, 0, m_name, kWholeInHex);
        AssignUtf8(m_joined, failure.reason);
        Text(sheet, row, 1, m_joined);
        if (!valid || cut) {
            AssignHex(m_hex, m_relative);
            Hex(sheet, row, 2, 3, m_hex);
        }
    }
    if (const std::size_t more = report.FailureCount() - report.Failures().size(); more > 0) {
        const std::uint32_t row = NextRow(run);
        Text(run.sheets.back(), row, 1,
             Thousands(more) +
                 " more folders or files could not be read; the run kept the "
                 "names of the first " +
                 Thousands(report.Failures().size()) + ".");
    }
    Finish(run);
}

void XlsxFormat::ExpectRowsWritten(std::vector<std::int64_t>& bytes) const {
    for (lxw_worksheet* const sheet : m_made) {
        // The last row is held until the next, or the close: out with it first.
        lxw_worksheet_write_single_row(sheet);
        FILE* const rows = sheet->optimize_tmpfile;
        errno = 0;
        if (rows == nullptr || std::fflush(rows) != 0 || std::ferror(rows) != 0) {
            throw platform::FileError::FromErrno(errno != 0 ? errno : EIO,
                                                 "write the rows of the workbook to",
                                                 "the temporary folder");
        }
        bytes.push_back(static_cast<std::int64_t>(std::ftell(rows)));
    }
}

void XlsxFormat::ExpectSheetsWhole(platform::InputFile& workbook,
                                   const std::vector<std::int64_t>& bytes) const {
    const auto sizes = EntrySizes(workbook);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const std::string name = "xl/worksheets/sheet" + std::to_string(i + 1) + ".xml";
        const auto found = sizes.find(name);
        if (found == sizes.end() || found->second < static_cast<std::uint64_t>(bytes[i])) {
            // The library's copy of the rows into the sheet failed without a word: the
            // temporary folder is full, most likely.
            throw platform::FileError(platform::FileErrorCause::DiskFull, 0,
                                      "write a whole sheet (" + name + ") of the workbook to",
                                      "the temporary folder");
        }
    }
}

void XlsxFormat::End(PageWriter& page, const RunReport& report) {
    if (const auto done = m_rollups.End()) {
        WriteFolder(*done);
    }
    Finish(m_files);
    Finish(m_folders);
    WriteRun(report);
    std::vector<std::int64_t> bytes;
    ExpectRowsWritten(bytes);
    lxw_workbook* const workbook = m_workbook;
    m_workbook = nullptr;
    errno = 0;
    quaverly_take_part_error();
    const int closed = workbook_close(workbook);
    const int partError = quaverly_take_part_error();
    Check(closed, "write the workbook");
    if (partError != 0) {
        throw platform::FileError::FromErrno(partError, "write a part of the workbook to",
                                             m_scratchFolder);
    }
    // The workbook into the listing, as it is.
    const std::unique_ptr<platform::InputFile> file = m_scratch->OpenForReading();
    // Its name goes now: a run that ends while it is copied (a reader of standard output that
    // went away) leaves nothing behind.
    m_scratch.reset();
    ExpectSheetsWhole(*file, bytes);
    std::vector<unsigned char> buffer(1U << 20U);
    const std::uint64_t size = file->Size();
    for (std::uint64_t at = 0; at < size;) {
        const std::size_t wanted =
            static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), size - at));
        const std::size_t got = file->ReadAt(at, buffer.data(), wanted);
        if (got != wanted) {
            throw platform::FileError(platform::FileErrorCause::EndOfFile, 0,
                                      "read the workbook back from", m_scratchFolder);
        }
        page.Write(std::string_view(reinterpret_cast<const char*>(buffer.data()), got));
        at += got;
    }
}

} // namespace quaverly::listing
