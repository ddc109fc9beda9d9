#include "listing/record_formats.h"

#include "platform/file_system.h"
#include "platform/utf8.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <optional>

namespace quaverly::listing {

namespace {

std::string Hex(std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        hex.push_back(kDigits[byte >> 4]);
        hex.push_back(kDigits[byte & 15]);
    }
    return hex;
}

// `value` as printf writes it with "%g" (the shortest form) or, given `decimals`, "%.Nf": the
// same digits, without a format string to parse for every field.
std::string Number(double value, int decimals = -1) {
    std::array<char, 64> text{};
    const auto [end, error] = decimals < 0
                                  ? std::to_chars(text.data(), text.data() + text.size(), value)
                                  : std::to_chars(text.data(), text.data() + text.size(), value,
                                                  std::chars_format::fixed, decimals);
    return error == std::errc() ? std::string(text.data(), end) : std::string();
}

constexpr std::array<std::string_view, 4> kChannelModes = {"stereo", "joint stereo",
                                                           "dual channel", "single channel"};

} // namespace

std::string AsUtf8(std::string_view text, bool& valid) {
    std::string out = platform::ValidUtf8(text);
    // Each U+FFFD is longer than the byte it stands for.
    valid = out.size() == text.size();
    return out;
}

void RecordFormat::Begin(PageWriter& page, std::string_view folder) {
    // The walk joins every name to the folder with a separator, a root's too ("//music"), as
    // the page shows it.
    m_root = platform::ShownPath(folder);
    m_root.push_back(platform::kPathSeparator);
    WriteHeader(page);
}

std::string RecordFormat::Relative(std::string_view path) const {
    std::string shown = platform::ShownPath(path);
    if (shown.starts_with(m_root)) {
        shown.erase(0, m_root.size());
    } else if (shown + platform::kPathSeparator == m_root) {
        shown.clear();
    }
    return shown;
}

void RecordFormat::FolderRow(PageWriter& page, std::string_view folder) {
    std::array<Field, kFieldCount> fields;
    bool valid = true;
    const std::string relative = Relative(folder);
    fields[0] = {"folder", Field::Kind::Text};
    fields[1] = {AsUtf8(relative, valid), Field::Kind::Text};
    fields[2] = fields[1];
    if (!valid) {
        fields[kPathHex] = {Hex(relative), Field::Kind::Text};
    }
    WriteRecord(page, fields.data(), fields.size());
}

void RecordFormat::WriteFileRow(PageWriter& page, const FileRow& row) {
    std::array<Field, kFieldCount> fields;
    const auto text = [&](std::size_t i, std::string value) {
        fields[i] = {std::move(value), Field::Kind::Text};
    };
    const auto number = [&](std::size_t i, std::string value) {
        fields[i] = {std::move(value), Field::Kind::Number};
    };
    bool valid = true;
    const std::string relative = Relative(row.path);
    const std::size_t separator = relative.rfind(platform::kPathSeparator);
    const std::string folder =
        separator == std::string::npos ? std::string() : relative.substr(0, separator);
    const std::string name = platform::ShownPath(row.name);
    text(0, "file");
    text(1, AsUtf8(relative, valid));
    bool alsoValid = true;
    text(2, AsUtf8(folder, alsoValid));
    text(3, AsUtf8(name, alsoValid));
    if (!valid) {
        text(kPathHex, Hex(relative));
    }
    if (row.size >= 0) {
        number(4, std::to_string(row.size));
    }
    fields[5] = {row.mp3 != nullptr ? "true" : "false", Field::Kind::Boolean};
    if (row.mp3 != nullptr) {
        number(6, std::to_string(row.mp3->bitrate));
        if (const auto& facts = row.mp3->facts) {
            text(7, Number(facts->mpegVersion));
            number(8, std::to_string(facts->layer));
            number(9, std::to_string(facts->sampleRate));
            text(10, std::string(kChannelModes[facts->channelMode & 3]));
            text(11, facts->vbrHeader);
            number(12, std::to_string(facts->frames));
            number(13, Number(facts->seconds, 3));
            number(14, std::to_string(facts->averageBitrate));
            number(15, std::to_string(facts->tagBytes));
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
                    number(22, std::to_string(tag->lowpassHz));
                    number(23, std::to_string(tag->delay));
                    number(24, std::to_string(tag->padding));
                    fields[25] = {tag->tagCrcHolds ? "true" : "false", Field::Kind::Boolean};
                }
            }
            fields[26].kind = Field::Kind::Words;
            for (const std::string_view word : mpeg::HealthWords(facts->health)) {
                fields[26].items.emplace_back(word);
            }
            if (facts->junkInsideAt) {
                number(27, std::to_string(*facts->junkInsideAt));
            }
            if (facts->verifiedFrames) {
                number(28, std::to_string(*facts->verifiedFrames));
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
            fields[35].items = {cover->typeName, cover->mime};
            if (cover->bytes >= 0) {
                fields[35].items.push_back(std::to_string(cover->bytes));
            }
        }
    }
    if (const std::string failure = row.mp3 != nullptr ? row.mp3->Failure() : std::string();
        !failure.empty()) {
        bool ignored = true;
        text(16, AsUtf8(failure, ignored));
    }
    WriteRecord(page, fields.data(), fields.size());
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

std::string Joined(const std::vector<std::string>& items, std::string_view separator) {
    std::string joined;
    for (const std::string& item : items) {
        joined.append(joined.empty() ? "" : separator).append(item);
    }
    return joined;
}

} // namespace

void CsvFormat::WriteRecord(PageWriter& page, const Field* fields, std::size_t count) {
    std::string line;
    // The path, folder and name fields: one the guard changes no longer says the name, so the
    // record carries the raw path, as it does for a path that is not text.
    constexpr std::size_t kNameFields[] = {1, 2, 3};
    std::optional<std::string> pathHex;
    for (const std::size_t i : kNameFields) {
        if (i < count && fields[i].kind == Field::Kind::Text &&
            LooksLikeAFormula(fields[i].value) && fields[kPathHex].kind == Field::Kind::Absent) {
            pathHex = Hex(fields[1].value);
        }
    }
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0) {
            line.push_back(',');
        }
        const Field& field = fields[i];
        if (i == kPathHex && pathHex) {
            line.append(*pathHex);
            continue;
        }
        if (field.kind == Field::Kind::Absent) {
            continue;
        }
        std::string value = field.kind == Field::Kind::Words     ? Joined(field.items, ";")
                            : field.kind == Field::Kind::Picture ? Joined(field.items, ", ")
                                                                 : field.value;
        if (field.kind != Field::Kind::Number && field.kind != Field::Kind::Boolean &&
            LooksLikeAFormula(value)) {
            value.insert(0, 1, '\'');
        }
        const bool quoted = value.find_first_of(",\"\r\n") != std::string::npos ||
                            (!value.empty() && (value.front() == ' ' || value.back() == ' '));
        if (!quoted) {
            line.append(value);
            continue;
        }
        line.push_back('"');
        for (const char c : value) {
            line.append(c == '"' ? "\"\"" : std::string(1, c));
        }
        line.push_back('"');
    }
    line.append("\r\n");
    page.Write(line);
}

namespace {

bool NeedsEscape(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return c == '"' || c == '\\' || byte < 0x20 || byte == 0x7F;
}

void AppendJsonString(std::string& line, std::string_view text) {
    line.push_back('"');
    // Up to the first character to escape, the text goes in whole.
    const auto plain = std::find_if(text.begin(), text.end(), NeedsEscape);
    line.append(text.begin(), plain);
    text.remove_prefix(static_cast<std::size_t>(plain - text.begin()));
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            line.push_back('\\');
            line.push_back(c);
        } else if (byte < 0x20 || byte == 0x7F) {
            std::array<char, 8> escape{};
            std::snprintf(escape.data(), escape.size(), "\\u%04x", byte);
            line.append(escape.data());
        } else {
            line.push_back(c);
        }
    }
    line.push_back('"');
}

} // namespace

void JsonLinesFormat::WriteRecord(PageWriter& page, const Field* fields, std::size_t count) {
    std::string line = "{";
    for (std::size_t i = 0; i < count; ++i) {
        const Field& field = fields[i];
        if (field.kind == Field::Kind::Absent) {
            continue;
        }
        if (line.size() > 1) {
            line.push_back(',');
        }
        line.append("\"").append(kFieldNames[i]).append("\":");
        if (field.kind == Field::Kind::Words) {
            line.push_back('[');
            for (std::size_t k = 0; k < field.items.size(); ++k) {
                line.append(k == 0 ? "" : ",");
                AppendJsonString(line, field.items[k]);
            }
            line.push_back(']');
        } else if (field.kind == Field::Kind::Picture && field.items.size() >= 2) {
            line.append("{\"type\":");
            AppendJsonString(line, field.items[0]);
            line.append(",\"mime\":");
            AppendJsonString(line, field.items[1]);
            if (field.items.size() > 2) { // its size, when the frame says it
                line.append(",\"bytes\":").append(field.items[2]);
            }
            line.push_back('}');
        } else if (field.kind == Field::Kind::Text) {
            AppendJsonString(line, field.value);
        } else {
            line.append(field.value);
        }
    }
    line.append("}\n");
    page.Write(line);
}

} // namespace quaverly::listing
