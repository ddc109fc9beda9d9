#include "listing/record_formats.h"

#include "platform/file_system.h"
#include "platform/utf8.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>

namespace quaverly::listing {

void AssignHex(std::string& hex, std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    hex.clear();
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        hex.push_back(kDigits[byte >> 4]);
        hex.push_back(kDigits[byte & 15]);
    }
}

namespace {

// `value` in `text`, as printf writes it with "%g" (the shortest form) or, given `decimals`,
// "%.Nf": the same digits, without a format string to parse for every field.
std::string_view Number(std::array<char, 32>& text, double value, int decimals = -1) {
    const auto [end, error] = decimals < 0
                                  ? std::to_chars(text.data(), text.data() + text.size(), value)
                                  : std::to_chars(text.data(), text.data() + text.size(), value,
                                                  std::chars_format::fixed, decimals);
    return {text.data(), error == std::errc() ? end : text.data()};
}

std::string_view Number(std::array<char, 32>& text, std::int64_t value) {
    const auto [end, error] = std::to_chars(text.data(), text.data() + text.size(), value);
    return {text.data(), end};
}

constexpr std::array<std::string_view, 4> kChannelModes = {"stereo", "joint stereo",
                                                           "dual channel", "single channel"};

} // namespace

bool AssignUtf8(std::string& out, std::string_view text) {
    out.clear();
    platform::AppendValidUtf8(out, text);
    // Each U+FFFD is longer than the byte it stands for.
    return out.size() == text.size();
}

void RecordFormat::Begin(PageWriter& page, std::string_view folder) {
    // The walk joins every name to the folder with a separator, a root's too ("//music"), as
    // the page shows it.
    m_root = platform::ShownPath(folder);
    m_root.push_back(platform::kPathSeparator);
    WriteHeader(page);
}

void RecordFormat::Relative(std::string_view path, std::string& out) const {
    out = platform::ShownPath(path);
    if (out.starts_with(m_root)) {
        out.erase(0, m_root.size());
    } else if (out.size() + 1 == m_root.size() && m_root.starts_with(out)) {
        out.clear();
    }
}

RecordFormat::Field* RecordFormat::ClearedFields() {
    for (Field& field : m_fields) {
        field.kind = Field::Kind::Absent;
        field.value = {};
        field.items.clear();
    }
    return m_fields.data();
}

void RecordFormat::FolderRow(PageWriter& page, std::string_view folder) {
    Field* fields = ClearedFields();
    Relative(folder, m_relative);
    const bool valid = AssignUtf8(m_names[0], m_relative);
    fields[0] = {"folder", Field::Kind::Text, {}};
    fields[1] = {m_names[0], Field::Kind::Text, {}};
    fields[2] = fields[1];
    if (!valid) {
        AssignHex(m_names[3], m_relative);
        fields[kPathHex] = {m_names[3], Field::Kind::Text, {}};
    }
    WriteRecord(page, fields, kFieldCount);
}

void RecordFormat::WriteFileRow(PageWriter& page, const FileRow& row) {
    Field* fields = ClearedFields();
    const auto text = [&](std::size_t i, std::string_view value) {
        fields[i].value = value;
        fields[i].kind = Field::Kind::Text;
    };
    const auto number = [&](std::size_t i, std::int64_t value) {
        fields[i].value = Number(m_numbers[i], value);
        fields[i].kind = Field::Kind::Number;
    };
    const auto boolean = [&](std::size_t i, bool value) {
        fields[i].value = value ? "true" : "false";
        fields[i].kind = Field::Kind::Boolean;
    };
    Relative(row.path, m_relative);
    const std::string_view relative = m_relative;
    const std::size_t separator = relative.rfind(platform::kPathSeparator);
    const std::string_view folder =
        separator == std::string::npos ? std::string_view() : relative.substr(0, separator);
    text(0, "file");
    const bool valid = AssignUtf8(m_names[0], relative);
    AssignUtf8(m_names[1], folder);
    AssignUtf8(m_names[2], platform::ShownPath(row.name));
    for (std::size_t i = 0; i < 3; ++i) {
        text(i + 1, m_names[i]);
    }
    if (!valid) {
        AssignHex(m_names[3], relative);
        text(kPathHex, m_names[3]);
    }
    if (row.size >= 0) {
        number(4, row.size);
    }
    boolean(5, row.mp3 != nullptr);
    if (row.mp3 != nullptr) {
        number(6, row.mp3->bitrate);
        if (const auto& facts = row.mp3->facts) {
            text(7, Number(m_numbers[7], facts->mpegVersion));
            number(8, facts->layer);
            number(9, facts->sampleRate);
            text(10, kChannelModes[facts->channelMode & 3]);
            text(11, facts->vbrHeader);
            number(12, facts->frames);
            fields[13] = {Number(m_numbers[13], facts->seconds, 3), Field::Kind::Number, {}};
            number(14, facts->averageBitrate);
            number(15, facts->tagBytes);
            text(18, facts->durationSource);
            if (!facts->bitrateMode.empty()) {
                text(19, facts->bitrateMode);
            }
            if (const auto& tag = facts->encoderTag) {
                text(20, tag->encoder); // printable ASCII, as the decoder takes it
                if (tag->fieldsKnown) {
                    if (!facts->encoderSettings.empty()) {
                        text(21, facts->encoderSettings);
                    }
                    number(22, tag->lowpassHz);
                    number(23, tag->delay);
                    number(24, tag->padding);
                    boolean(25, tag->tagCrcHolds);
                }
            }
            fields[26].kind = Field::Kind::Words;
            if (facts->health != 0) {
                const std::vector<std::string_view> words = mpeg::HealthWords(facts->health);
                fields[26].items.assign(words.begin(), words.end());
            }
            if (facts->junkInsideAt) {
                number(27, *facts->junkInsideAt);
            }
            if (facts->verifiedFrames) {
                number(28, *facts->verifiedFrames);
            }
        }
    }
    if (const auto* tags = row.mp3 != nullptr && row.mp3->tags ? &*row.mp3->tags : nullptr) {
        // The reader gives valid UTF-8 only.
        const std::pair<std::size_t, const std::string*> texts[] = {
            {29, &tags->artist}, {30, &tags->album}, {31, &tags->title},
            {32, &tags->track},  {33, &tags->year},  {34, &tags->genre}};
        for (const auto& [i, value] : texts) {
            if (!value->empty()) {
                text(i, *value);
            }
        }
        if (const auto& cover = tags->cover) {
            fields[35].kind = Field::Kind::Picture;
            fields[35].items.emplace_back(cover->typeName);
            fields[35].items.emplace_back(cover->mime);
            if (cover->bytes >= 0) {
                fields[35].items.push_back(Number(m_numbers[kFieldCount], cover->bytes));
            }
        }
    }
    if (row.mp3 != nullptr) {
        if (const std::string failure = row.mp3->Failure(); !failure.empty()) {
            AssignUtf8(m_failure, failure);
            text(16, m_failure);
        }
    }
    WriteRecord(page, fields, kFieldCount);
}

void CsvFormat::WriteHeader(PageWriter& page) {
    std::string header = "\xEF\xBB\xBF"; // the byte order mark
    for (std::size_t i = 0; i < kFieldCount; ++i) {
        header.append(i == 0 ? "" : ",");
        header.append(kFieldNames[i]);
    }
    header.append("\r\n");
    page.Write(header);
}

namespace {

// Whether a spreadsheet could take `value` for a formula: its first character, or its first
// after spaces, which spreadsheets pass over, starts one.
bool LooksLikeAFormula(std::string_view value) {
    const std::size_t first = value.find_first_not_of(' ');
    return first != std::string_view::npos &&
           std::string_view("=+-@\t\r").find(value[first]) != std::string_view::npos;
}

void Join(std::string& joined, const std::vector<std::string_view>& items,
          std::string_view separator) {
    // An empty item (a picture type beyond the list has no name) leaves no separator before
    // the next.
    joined.clear();
    for (const std::string_view item : items) {
        joined.append(joined.empty() ? "" : separator).append(item);
    }
}

} // namespace

void CsvFormat::WriteRecord(PageWriter& page, const Field* fields, std::size_t count) {
    std::string& line = m_line;
    line.clear();
    // The path, folder and name fields: one the guard changes no longer says the name, so the
    // record carries the raw path, as it does for a path that is not text.
    constexpr std::size_t kNameFields[] = {1, 2, 3};
    bool pathHex = false;
    for (const std::size_t i : kNameFields) {
        if (i < count && fields[i].kind == Field::Kind::Text &&
            LooksLikeAFormula(fields[i].value) && fields[kPathHex].kind == Field::Kind::Absent) {
            AssignHex(m_pathHex, fields[1].value);
            pathHex = true;
        }
    }
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0) {
            line.push_back(',');
        }
        const Field& field = fields[i];
        if (i == kPathHex && pathHex) {
            line.append(m_pathHex);
            continue;
        }
        if (field.kind == Field::Kind::Absent) {
            continue;
        }
        std::string_view value = field.value;
        if (field.kind == Field::Kind::Words || field.kind == Field::Kind::Picture) {
            Join(m_value, field.items, field.kind == Field::Kind::Words ? ";" : ", ");
            value = m_value;
        }
        const bool guarded = field.kind != Field::Kind::Number &&
                             field.kind != Field::Kind::Boolean && LooksLikeAFormula(value);
        const bool quoted = value.find_first_of(",\"\r\n") != std::string::npos ||
                            (!guarded && !value.empty() && value.front() == ' ') ||
                            (!value.empty() && value.back() == ' ');
        if (quoted) {
            line.push_back('"');
        }
        if (guarded) {
            line.push_back('\'');
        }
        if (!quoted) {
            line.append(value);
            continue;
        }
        for (const char c : value) {
            line.append(c == '"' ? 2 : 1, c);
        }
        line.push_back('"');
    }
    line.append("\r\n");
    page.Write(line);
}

namespace {

// The bytes JSON escapes, and for a script element also < > & and the first byte of U+2028
// and U+2029.
constexpr std::array<bool, 256> kNeedsEscape = [] {
    std::array<bool, 256> needs{};
    for (std::size_t byte = 0; byte < needs.size(); ++byte) {
        needs[byte] = byte == '"' || byte == '\\' || byte < 0x20 || byte == 0x7F;
    }
    return needs;
}();
constexpr std::array<bool, 256> kNeedsEscapeInScript = [] {
    std::array<bool, 256> needs = kNeedsEscape;
    for (const std::size_t byte : {0x3CU, 0x3EU, 0x26U, 0xE2U}) { // < > & and U+2028's lead
        needs[byte] = true;
    }
    return needs;
}();

// Each byte of a text takes at most six in JSON ("\u001f"), and a field's name and quotes
// fewer than that many more.
constexpr std::size_t kMostPerByte = kJsonMostPerByte;
constexpr std::size_t kMostAround = 32;

char* Put(char* out, std::string_view text) {
    std::memcpy(out, text.data(), text.size());
    return out + text.size();
}

// Whether any of the eight bytes of `word` is one JSON escapes: below 0x20, a quote, a
// backslash or DEL; in a script element also < > & and 0xE2. Exact for the question, if not
// for which byte.
template <bool kInScript> bool AnyToEscape(std::uint64_t word) {
    constexpr std::uint64_t kOnes = 0x0101010101010101;
    constexpr std::uint64_t kHighs = 0x8080808080808080;
    const auto zeroIn = [](std::uint64_t v) { return (v - kOnes) & ~v & kHighs; };
    std::uint64_t any = ((word - kOnes * 0x20) & ~word & kHighs) | zeroIn(word ^ (kOnes * '"')) |
                        zeroIn(word ^ (kOnes * '\\')) | zeroIn(word ^ (kOnes * 0x7F));
    if constexpr (kInScript) {
        any |= zeroIn(word ^ (kOnes * '<')) | zeroIn(word ^ (kOnes * '>')) |
               zeroIn(word ^ (kOnes * '&')) | zeroIn(word ^ (kOnes * 0xE2));
    }
    return any != 0;
}

template <bool kInScript> char* PutJsonStringAs(char* out, std::string_view text) {
    static constexpr char kDigits[] = "0123456789abcdef";
    const std::array<bool, 256>& needsEscape = kInScript ? kNeedsEscapeInScript : kNeedsEscape;
    *out++ = '"';
    std::size_t at = 0;
    while (at < text.size()) {
        // Eight bytes at a time while none needs escaping; each byte alone where one may.
        if (text.size() - at >= 8) {
            std::uint64_t word = 0;
            std::memcpy(&word, text.data() + at, 8);
            if (!AnyToEscape<kInScript>(word)) {
                std::memcpy(out, &word, 8);
                out += 8;
                at += 8;
                continue;
            }
        }
        const std::size_t end = std::min(text.size(), at + 8);
        for (; at < end; ++at) {
            const char c = text[at];
            const auto byte = static_cast<unsigned char>(c);
            if (!needsEscape[byte]) {
                *out++ = c;
            } else if (c == '"' || c == '\\') {
                *out++ = '\\';
                *out++ = c;
            } else if (byte == 0xE2) {
                // U+2028 and U+2029 end a line in a script; any other character led by 0xE2
                // is written as it is.
                const std::string_view next = text.substr(at + 1, 2);
                if (next == "\x80\xA8" || next == "\x80\xA9") {
                    out = Put(out, next[1] == '\xA8' ? "\\u2028" : "\\u2029");
                    at += 2;
                } else {
                    *out++ = c;
                }
            } else {
                out = Put(out, "\\u00");
                *out++ = kDigits[byte >> 4];
                *out++ = kDigits[byte & 15];
            }
        }
    }
    *out++ = '"';
    return out;
}

char* PutJsonString(char* out, std::string_view text) {
    return PutJsonStringAs<false>(out, text);
}

} // namespace

char* PutJsonTextInScript(char* out, std::string_view text) {
    return PutJsonStringAs<true>(out, text);
}

void JsonLinesFormat::WriteRecord(PageWriter& page, const Field* fields, std::size_t count) {
    // Room for the most the record can take, so that it is written without a check at each
    // byte.
    std::size_t most = kMostAround;
    for (std::size_t i = 0; i < count; ++i) {
        most += kFieldNames[i].size() + kMostAround + fields[i].value.size() * kMostPerByte;
        for (const std::string_view item : fields[i].items) {
            most += kMostAround + item.size() * kMostPerByte;
        }
    }
    if (m_line.size() < most) {
        m_line.resize(most);
    }
    char* const start = m_line.data();
    char* out = start;
    *out++ = '{';
    for (std::size_t i = 0; i < count; ++i) {
        const Field& field = fields[i];
        if (field.kind == Field::Kind::Absent) {
            continue;
        }
        if (out - start > 1) {
            *out++ = ',';
        }
        *out++ = '"';
        out = Put(Put(out, kFieldNames[i]), "\":");
        if (field.kind == Field::Kind::Words) {
            *out++ = '[';
            for (std::size_t k = 0; k < field.items.size(); ++k) {
                if (k > 0) {
                    *out++ = ',';
                }
                out = PutJsonString(out, field.items[k]);
            }
            *out++ = ']';
        } else if (field.kind == Field::Kind::Picture && field.items.size() >= 2) {
            out = PutJsonString(Put(out, "{\"type\":"), field.items[0]);
            out = PutJsonString(Put(out, ",\"mime\":"), field.items[1]);
            if (field.items.size() > 2) { // its size, when the frame says it
                out = Put(Put(out, ",\"bytes\":"), field.items[2]);
            }
            *out++ = '}';
        } else if (field.kind == Field::Kind::Text) {
            out = PutJsonString(out, field.value);
        } else {
            out = Put(out, field.value);
        }
    }
    out = Put(out, "}\n");
    page.Write(std::string_view(start, static_cast<std::size_t>(out - start)));
}

} // namespace quaverly::listing
