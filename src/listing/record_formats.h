#pragma once

#include "listing/listing_format.h"

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace quaverly::listing {

// The listing as records for scripts and spreadsheets: one per folder and one per file, in the
// page's order, with what each file is. Names are written as UTF-8; a path that is not valid
// UTF-8 has each byte that is not UTF-8 replaced by U+FFFD in the text fields, and is carried
// whole, as hexadecimal, in "path_hex".
//
// Fields: type ("folder" or "file"), path (relative to the folder listed), folder, name, size,
// mp3 (an MP3 file by name), bitrate (the page's), mpeg_version, layer, sample_rate,
// channel_mode, vbr_header ("Xing", "Info", "VBRI" or empty), frames, duration_seconds (the
// playing time), average_bitrate, id3v2_size, failure, path_hex, then what the encoder's tag,
// the walk of the frames and the tags say: duration_source, bitrate_mode, encoder,
// encoder_settings, lowpass_hz, encoder_delay, encoder_padding, encoder_tag_crc, health (words;
// in CSV joined by ';'), junk_inside_at, verified_frames, artist, album, title, track, year,
// genre, cover (in CSV "front cover, image/jpeg, 200002"). Fields that do not apply are empty
// (CSV) or absent (JSON Lines).
class RecordFormat : public ListingFormat {
public:
    void Begin(PageWriter& page, std::string_view folder) override;
    void FolderRow(PageWriter& page, std::string_view folder) override;
    void WriteFileRow(PageWriter& page, const FileRow& row) override;
    void End(PageWriter& /*page*/, const RunReport& /*report*/) override {}
    FormatNeeds Needs() const override {
        return {{.streamFacts = true, .playingTime = true, .tags = true, .verify = m_verify}, true};
    }
    // Every frame of every file walked and checked.
    void Verify(bool verify) { m_verify = verify; }

protected:
    // A field's value as text, as a number (written as it stands), as words (a list), as a
    // picture (its type name, MIME type and bytes) or absent; its name is kFieldNames at its
    // place. The values lie in the row written, or in the format's own memory for the record.
    struct Field {
        enum class Kind { Text, Number, Boolean, Words, Picture, Absent };
        std::string_view value;
        Kind kind = Kind::Absent;
        std::vector<std::string_view> items; // the words, or the picture's three parts
    };
    virtual void WriteHeader(PageWriter& page) = 0;
    virtual void WriteRecord(PageWriter& page, const Field* fields, std::size_t count) = 0;

    // The names of the fields, in order: those a record has always had first, so that a
    // script that counts columns still finds them.
    // clang-format off: a table, four to a line
    static constexpr std::string_view kFieldNames[] = {"type",
                                                       "path",
                                                       "folder",
                                                       "name",
                                                       "size",
                                                       "mp3",
                                                       "bitrate",
                                                       "mpeg_version",
                                                       "layer",
                                                       "sample_rate",
                                                       "channel_mode",
                                                       "vbr_header",
                                                       "frames",
                                                       "duration_seconds",
                                                       "average_bitrate",
                                                       "id3v2_size",
                                                       "failure",
                                                       "path_hex",
                                                       "duration_source",
                                                       "bitrate_mode",
                                                       "encoder",
                                                       "encoder_settings",
                                                       "lowpass_hz",
                                                       "encoder_delay",
                                                       "encoder_padding",
                                                       "encoder_tag_crc",
                                                       "health",
                                                       "junk_inside_at",
                                                       "verified_frames",
                                                       "artist",
                                                       "album",
                                                       "title",
                                                       "track",
                                                       "year",
                                                       "genre",
                                                       "cover"};
    // clang-format on
    static constexpr std::size_t kFieldCount = std::size(kFieldNames);
    static constexpr std::size_t kPathHex = 17;

    // `path` relative to the folder listed, in `out`.
    void Relative(std::string_view path, std::string& out) const;

private:
    // The fields, all absent.
    Field* ClearedFields();
    std::string m_root; // the folder listed, with its separator
    bool m_verify = false;
    // The values of the record being written that are made for it: kept from record to record,
    // so that their memory is too.
    std::array<Field, kFieldCount> m_fields;
    std::string m_relative;
    std::array<std::string, 4> m_names; // path, folder and name as valid UTF-8; the raw path
    std::string m_failure;
    std::array<std::array<char, 32>, kFieldCount + 1> m_numbers; // the last for the cover's bytes
};

// RFC 4180: a header row, then one row per record, CRLF, fields quoted where they hold a comma,
// a quote, a line break or a space at an end, and a UTF-8 byte order mark first, by which
// spreadsheets know the encoding. A text field that starts with = + - @, a tab or a carriage
// return, or with spaces and one of them, starts with an apostrophe, so that no spreadsheet
// takes it for a formula; a record whose path, folder or name was so changed carries its raw
// path in "path_hex", so that the name is never lost.
class CsvFormat final : public RecordFormat {
protected:
    void WriteHeader(PageWriter& page) override;
    void WriteRecord(PageWriter& page, const Field* fields, std::size_t count) override;

private:
    std::string m_line;
    std::string m_value;
    std::string m_pathHex;
};

// One JSON object per line, per record, with its fields that apply.
class JsonLinesFormat final : public RecordFormat {
protected:
    void WriteHeader(PageWriter&) override {}
    void WriteRecord(PageWriter& page, const Field* fields, std::size_t count) override;

private:
    std::string m_line;
};

// The most bytes JSON takes for a byte of text ("\u001f").
inline constexpr std::size_t kJsonMostPerByte = 6;

// Writes `text` at `out` as a JSON string and returns its end: at most kJsonMostPerByte bytes
// for each byte, and two quotes. Made to stand in a script element: < > & U+2028 and U+2029 are
// escaped too, so that no text can end the element, open a comment in it or end a line.
char* PutJsonTextInScript(char* out, std::string_view text);

// `text` as valid UTF-8 in `out`: every byte that is not part of a valid sequence becomes
// U+FFFD. Returns whether it was valid already.
bool AssignUtf8(std::string& out, std::string_view text);

// The bytes of `bytes` in lower-case hexadecimal, in `hex`.
void AssignHex(std::string& hex, std::string_view bytes);

} // namespace quaverly::listing
