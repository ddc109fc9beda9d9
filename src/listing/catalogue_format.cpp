#include "listing/catalogue_format.h"

#include "listing/catalogue_page.h"
#include "mpeg/stream_facts.h"
#include "platform/file_system.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>

namespace quaverly::listing {

namespace {

// Stream profiles kept to be named again: an encoding run's files share one, so a collection
// has few; a tree of files that each differ costs no more memory than this.
constexpr std::size_t kMostProfiles = 4096;
// The failures the page names; it counts them all.
constexpr std::size_t kMostFailuresShown = 100;

void AppendJson(std::string& out, std::string_view text) {
    const std::size_t at = out.size();
    out.resize(at + text.size() * kJsonMostPerByte + 2);
    char* const end = PutJsonTextInScript(out.data() + at, text);
    out.resize(static_cast<std::size_t>(end - out.data()));
}

template <typename Number> void AppendNumber(std::string& out, Number value) {
    std::array<char, 32> text{};
    const auto [end, error] = std::to_chars(text.data(), text.data() + text.size(), value);
    out.append(text.data(), end);
}

void AppendSeconds(std::string& out, double seconds) {
    std::array<char, 32> text{};
    const auto [end, error] =
        std::to_chars(text.data(), text.data() + text.size(), seconds, std::chars_format::fixed, 3);
    out.append(text.data(), error == std::errc() ? end : text.data());
}

void AppendCounts(std::string& out,
                  const std::map<std::string, std::int64_t, std::less<>>& counts) {
    out.push_back('{');
    for (const auto& [name, count] : counts) {
        if (out.back() != '{') {
            out.push_back(',');
        }
        AppendJson(out, name);
        out.push_back(':');
        AppendNumber(out, count);
    }
    out.push_back('}');
}

// The records' fields of each element of the data, at their places after its kind.
constexpr std::size_t kProfileFields[] = {7, 8, 9, 10, 11, 18, 19, 20, 21, 22, 25, 23};
constexpr std::size_t kAlbumFields[] = {29, 30, 33, 34}; // then the cover's parts
constexpr std::size_t kFileFieldsBeforeProfile[] = {3, 4, 6};
// Those most files have first, so that the absent ones at the end are left out.
constexpr std::size_t kFileFieldsAfterProfile[] = {12, 13, 14, 15, 31, 32, 24, 26, 16, 27, 28, 17};
constexpr std::size_t kNameField = 3;
constexpr std::size_t kTitleField = 31;
constexpr std::size_t kMpegVersionField = 7;
constexpr std::size_t kVbrHeaderField = 11;

// `name` in an address: every byte but the unreserved ones (RFC 3986) as %XX.
void AppendPercentEncoded(std::string& out, std::string_view name) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x80 && std::isalnum(byte) != 0) ||
            std::string_view("-._~").find(c) != std::string_view::npos) {
            out.push_back(c);
        } else {
            out.push_back('%');
            out.push_back(kDigits[byte >> 4]);
            out.push_back(kDigits[byte & 15]);
        }
    }
}

} // namespace

void CatalogueFormat::Begin(PageWriter& page, std::string_view folder) {
    m_folder = platform::ShownPath(folder);
    RecordFormat::Begin(page, folder);
}

void CatalogueFormat::WriteHeader(PageWriter& page) {
    std::string head(CataloguePageHead());
    if (m_linkBase) {
        head.append(CatalogueHead(m_folder));
    } else {
        // A shared page says nothing of where the collection lies.
        std::string_view folder = m_folder;
        const std::size_t separator = folder.find_last_of(
            platform::kPathSeparator, folder.size() > 1 ? folder.size() - 2 : 0);
        if (separator != std::string::npos && separator + 1 < folder.size()) {
            folder.remove_prefix(separator + 1);
        }
        head.append(CatalogueHead(folder));
    }
    head.append(",\"separator\":");
    AppendJson(head, std::string_view(&platform::kPathSeparator, 1));
    if (m_linkBase) {
        head.append(",\"base\":");
        AppendJson(head, *m_linkBase);
    }
    head.append(",\"health\":[");
    const std::vector<std::string_view> words = mpeg::HealthWords(~std::uint32_t{0});
    for (std::size_t i = 0; i < words.size(); ++i) {
        head.append(i == 0 ? "\"" : ",\"").append(words[i]).append("\"");
    }
    head.append("]}");
    page.Write(head);
}

void CatalogueFormat::WriteRollup(PageWriter& page, const std::optional<FolderDone>& done) {
    if (!done) {
        return;
    }
    const Rollup& r = done->rollup;
    std::string& out = m_record;
    // Each number after a comma, null where there is none.
    const auto number = [&](auto value, bool known = true) {
        out.push_back(',');
        if (known) {
            AppendNumber(out, value);
        } else {
            out.append("null");
        }
    };
    out.assign(",\n[4");
    number(r.files);
    number(r.mp3Files);
    number(r.bytes);
    out.push_back(',');
    AppendSeconds(out, r.seconds);
    number(r.lowestBitrate, r.lowestBitrate > 0);
    number(r.AverageBitrate().value_or(0), r.AverageBitrate().has_value());
    number(r.findings);
    out.push_back(',');
    AppendCounts(out, r.encoders);
    out.push_back(',');
    AppendCounts(out, r.modes);
    out.push_back(']');
    page.Write(out);
}

void CatalogueFormat::FolderRow(PageWriter& page, std::string_view folder) {
    WriteRollup(page, m_rollups.StartFolder(folder));
    RecordFormat::FolderRow(page, folder);
}

void CatalogueFormat::WriteFileRow(PageWriter& page, const FileRow& row) {
    m_rollups.AddFile(row);
    RecordFormat::WriteFileRow(page, row);
}

void CatalogueFormat::End(PageWriter& page, const RunReport& report) {
    WriteRollup(page, m_rollups.End());
    if (report.Cancelled() || report.FailureCount() > 0) {
        // The run's end: cut short or not, how many folders and files it could not read, and
        // the first of them, below the folder listed where they lie there.
        std::string& out = m_record;
        out.assign(",\n[5,");
        out.append(report.Cancelled() ? "true," : "false,");
        AppendNumber(out, static_cast<std::int64_t>(report.FailureCount()));
        out.append(",[");
        const std::vector<Failure>& failures = report.Failures();
        for (std::size_t i = 0; i < failures.size() && i < kMostFailuresShown; ++i) {
            std::string path = platform::ShownPath(failures[i].path);
            if (path.starts_with(m_folder) && path.size() > m_folder.size()) {
                path.erase(0,
                           m_folder.size() + (path[m_folder.size()] == platform::kPathSeparator));
            }
            std::string text;
            AssignUtf8(text, path);
            out.append(i == 0 ? "[" : ",[");
            AppendJson(out, text);
            out.push_back(',');
            AssignUtf8(text, failures[i].reason);
            AppendJson(out, text);
            out.push_back(']');
        }
        out.append("]]");
        page.Write(out);
    }
    std::string tail = "\n]";
    tail.append(CataloguePageTail());
    page.Write(tail);
}

void CatalogueFormat::WriteRecord(PageWriter& page, const Field* fields, std::size_t count) {
    // Each value after a comma; those absent at the end are left out.
    std::string& out = m_record;
    std::size_t kept = 0;
    const auto value = [&](const Field& field) {
        if (out.back() != '[') {
            out.push_back(',');
        }
        switch (field.kind) {
        case Field::Kind::Absent:
            out.append("null");
            return;
        case Field::Kind::Text:
            AppendJson(out, field.value);
            break;
        case Field::Kind::Words:
            if (field.items.empty()) {
                out.append("null");
                return;
            }
            out.push_back('[');
            for (std::size_t i = 0; i < field.items.size(); ++i) {
                out.append(i == 0 ? "" : ",");
                AppendJson(out, field.items[i]);
            }
            out.push_back(']');
            break;
        default: // a number or a boolean, as it is written
            out.append(field.value);
            break;
        }
        kept = out.size();
    };
    const auto start = [&](std::string_view kind) {
        out.assign(",\n[");
        out.append(kind);
        kept = out.size();
    };
    const auto end = [&] {
        out.resize(kept);
        out.push_back(']');
        page.Write(out);
    };
    if (count <= kPathHex) {
        return;
    }
    if (fields[0].value == "folder") {
        start("1");
        value(fields[1]);
        value(fields[kPathHex]);
        end();
        return;
    }
    const bool mp3 = fields[5].value == "true";
    if (!mp3) {
        // Its name and size; its raw path, where it has one, at its place.
        start("");
        value(fields[kNameField]);
        value(fields[4]);
        // Bitrate, profile and the rest before the raw path, all absent.
        for (std::size_t i = 0; i < 1 + std::size(kFileFieldsAfterProfile); ++i) {
            value(Field{});
        }
        value(fields[kPathHex]);
        end();
        return;
    }
    // The stream profile: what the files of one encoding run share.
    Field profileNumber;
    if (fields[7].kind != Field::Kind::Absent) {
        start("2");
        for (const std::size_t i : kProfileFields) {
            if (i == kVbrHeaderField && fields[i].value.empty()) {
                value(Field{}); // no header
            } else if (i == kMpegVersionField) {
                value(Field{fields[i].value, Field::Kind::Number, {}}); // "2.5" is a number
            } else {
                value(fields[i]);
            }
        }
        out.resize(kept);
        m_profile.assign(out, 4); // after ",\n[2"
        auto found = m_profiles.find(m_profile);
        std::int64_t number = found != m_profiles.end() ? found->second : -1;
        if (number < 0) {
            number = m_profileCount++;
            end();
            if (m_profiles.size() < kMostProfiles) {
                m_profiles.emplace(m_profile, number);
            }
        }
        AppendNumber(m_profile.assign(""), number);
        profileNumber = {m_profile, Field::Kind::Number, {}};
    }
    // The album's tags, written when they differ from the last file's.
    start("3");
    for (const std::size_t i : kAlbumFields) {
        value(fields[i]);
    }
    if (const Field& cover = fields[35]; cover.kind == Field::Kind::Picture) {
        // Its type name, its MIME type, and its bytes when the frame says them.
        for (std::size_t i = 0; i < cover.items.size(); ++i) {
            value(Field{cover.items[i], i == 2 ? Field::Kind::Number : Field::Kind::Text, {}});
        }
    }
    out.resize(kept);
    if (out.compare(3, std::string::npos, m_albumTags) != 0) {
        m_albumTags.assign(out, 3);
        end();
    }
    // A title that the name holds ("03 - Title.mp3") is said by where it starts in the name.
    const std::string_view name = fields[kNameField].value;
    const std::string_view title = fields[kTitleField].value;
    std::array<char, 32> titleAt{};
    Field titleField = fields[kTitleField];
    if (const std::size_t at = name.size() - std::min(name.size(), title.size() + 4);
        !title.empty() && name.size() >= title.size() + 4 &&
        name.substr(at, title.size()) == title &&
        std::all_of(name.begin(), name.begin() + static_cast<std::ptrdiff_t>(at),
                    [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        // Counted in bytes of ASCII, so in characters too, as the page counts them.
        const char* const digitsEnd =
            std::to_chars(titleAt.data(), titleAt.data() + titleAt.size(), at).ptr;
        titleField = {std::string_view(titleAt.data(), digitsEnd), Field::Kind::Number, {}};
    }
    start("");
    for (const std::size_t i : kFileFieldsBeforeProfile) {
        value(fields[i]);
    }
    value(profileNumber);
    for (const std::size_t i : kFileFieldsAfterProfile) {
        value(i == kTitleField ? titleField : fields[i]);
    }
    end();
}

std::string CatalogueHead(std::string_view folder) {
    std::string text;
    AssignUtf8(text, platform::ShownPath(folder));
    std::string head = "[{\"catalogue\":1,\"folder\":";
    AppendJson(head, text);
    return head;
}

std::string FileUrl(std::string_view path) {
    const std::string utf8 = platform::Utf8Path(path);
    const std::string_view text = utf8;
    std::string url = "file://";
    std::size_t at = 0;
    const bool windows = platform::kPathSeparator == '\\';
    const auto isSeparator = [](char c) { return c == '/' || c == platform::kPathSeparator; };
    if (windows && text.size() >= 2 && isSeparator(text[0]) && isSeparator(text[1])) {
        at = 2; // a share: its server is the address's host
    } else if (windows && text.size() >= 2 && text[1] == ':') {
        url.push_back('/');
        url.append(text.substr(0, 2)); // the drive, with its colon
        at = 2;
    }
    while (at < text.size()) {
        std::size_t next = at;
        while (next < text.size() && !isSeparator(text[next])) {
            ++next;
        }
        AppendPercentEncoded(url, text.substr(at, next - at));
        if (next < text.size()) {
            url.push_back('/');
        }
        at = next + 1;
    }
    return url;
}

std::string LinkBase(std::string_view pageFile, std::string_view folder) {
    const auto names = [](std::string_view path) {
        std::vector<std::string_view> parts;
        std::size_t at = 0;
        while (at <= path.size()) {
            std::size_t next =
                path.find_first_of(platform::kPathSeparator == '/' ? "/" : "\\/", at);
            if (next == std::string_view::npos) {
                next = path.size();
            }
            const std::string_view part = path.substr(at, next - at);
            if (part == "..") {
                if (parts.size() > 1) {
                    parts.pop_back();
                }
            } else if (part != "." && (!part.empty() || parts.empty())) {
                parts.push_back(part); // the first, empty on POSIX, is the root
            }
            at = next + 1;
        }
        return parts;
    };
    const auto encode = [](std::string& out, std::string_view name) {
        AppendPercentEncoded(out, name);
        out.push_back('/');
    };
    std::vector<std::string_view> page = names(pageFile);
    if (!page.empty()) {
        page.pop_back(); // the page's own name
    }
    const std::vector<std::string_view> target = names(folder);
    if (page.empty() || target.empty() || page.front() != target.front()) {
        // No common root (another drive, a share): the folder's own address.
        std::string address = FileUrl(folder);
        if (address.back() != '/') {
            address.push_back('/');
        }
        return address;
    }
    std::string address;
    std::size_t common = 0;
    while (common < page.size() && common < target.size() && page[common] == target[common]) {
        ++common;
    }
    for (std::size_t i = common; i < page.size(); ++i) {
        address.append("../");
    }
    for (std::size_t i = common; i < target.size(); ++i) {
        encode(address, target[i]);
    }
    return address;
}

} // namespace quaverly::listing
