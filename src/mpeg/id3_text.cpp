#include "mpeg/id3_text.h"

#include "platform/utf8.h"

#include <algorithm>

namespace quaverly::mpeg {

namespace {

constexpr std::uint32_t kReplacement = 0xFFFD;
constexpr std::uint32_t kByteOrderMark = 0xFEFF;
constexpr std::uint32_t kSwappedMark = 0xFFFE; // the mark read in the other order

void AppendUtf8(std::string& out, std::uint32_t code) {
    const auto put = [&](std::uint32_t bits) { out.push_back(static_cast<char>(bits)); };
    if (code < 0x80) {
        put(code);
    } else if (code < 0x800) {
        put(0xC0 | (code >> 6));
        put(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        put(0xE0 | (code >> 12));
        put(0x80 | ((code >> 6) & 0x3F));
        put(0x80 | (code & 0x3F));
    } else {
        put(0xF0 | (code >> 18));
        put(0x80 | ((code >> 12) & 0x3F));
        put(0x80 | ((code >> 6) & 0x3F));
        put(0x80 | (code & 0x3F));
    }
}

bool HighSurrogate(std::uint32_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool LowSurrogate(std::uint32_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// The UTF-16 string from `at` to its terminator or the end, appended to `out`; returns where
// the next string starts. `bigEndian` is the order in force, which a byte order mark changes.
std::size_t DecodeUtf16(std::span<const unsigned char> bytes, std::size_t at, bool& bigEndian,
                        std::string& out) {
    std::uint32_t high = 0; // a high surrogate waiting for its low one
    for (bool first = true; at + 1 < bytes.size(); at += 2, first = false) {
        const std::uint32_t unit = bigEndian ? (std::uint32_t{bytes[at]} << 8) | bytes[at + 1]
                                             : (std::uint32_t{bytes[at + 1]} << 8) | bytes[at];
        if (unit == 0) {
            break;
        }
        if (first && (unit == kByteOrderMark || unit == kSwappedMark)) {
            bigEndian = bigEndian != (unit == kSwappedMark);
            continue;
        }
        if (high != 0 && LowSurrogate(unit)) {
            AppendUtf8(out, 0x10000 + ((high - 0xD800) << 10) + (unit - 0xDC00));
            high = 0;
            continue;
        }
        if (high != 0) {
            AppendUtf8(out, kReplacement);
            high = 0;
        }
        if (HighSurrogate(unit)) {
            high = unit;
        } else {
            AppendUtf8(out, LowSurrogate(unit) ? kReplacement : unit);
        }
    }
    if (high != 0) {
        AppendUtf8(out, kReplacement);
    }
    return at + 2;
}

} // namespace

std::optional<Id3TextEncoding> Id3TextEncodingOf(unsigned char byte) {
    if (byte > static_cast<unsigned char>(Id3TextEncoding::Utf8)) {
        return std::nullopt;
    }
    return static_cast<Id3TextEncoding>(byte);
}

std::string Latin1ToUtf8(std::string_view bytes) {
    // Most text is ASCII, which stands as it is, up to the first byte that is not.
    const auto ascii = std::find_if(bytes.begin(), bytes.end(),
                                    [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
    std::string out(bytes.begin(), ascii);
    if (ascii != bytes.end()) {
        out.reserve(bytes.size() * 2);
        for (auto at = ascii; at != bytes.end(); ++at) {
            AppendUtf8(out, static_cast<unsigned char>(*at));
        }
    }
    return out;
}

std::optional<std::size_t> TerminatedLength(Id3TextEncoding encoding,
                                            std::span<const unsigned char> bytes) {
    if (encoding == Id3TextEncoding::Latin1 || encoding == Id3TextEncoding::Utf8) {
        const auto zero = std::find(bytes.begin(), bytes.end(), 0);
        if (zero == bytes.end()) {
            return std::nullopt;
        }
        return static_cast<std::size_t>(zero - bytes.begin()) + 1;
    }
    for (std::size_t at = 0; at + 1 < bytes.size(); at += 2) {
        if (bytes[at] == 0 && bytes[at + 1] == 0) {
            return at + 2;
        }
    }
    return std::nullopt;
}

std::vector<std::string> DecodeId3Strings(Id3TextEncoding encoding,
                                          std::span<const unsigned char> bytes, std::size_t most) {
    std::vector<std::string> strings;
    DecodeId3Strings(encoding, bytes, most, strings);
    return strings;
}

void DecodeId3Strings(Id3TextEncoding encoding, std::span<const unsigned char> bytes,
                      std::size_t most, std::vector<std::string>& strings) {
    bool bigEndian = encoding == Id3TextEncoding::Utf16BigEndian;
    for (std::size_t at = 0, read = 0; at < bytes.size() && read < most; ++read) {
        std::string text;
        if (encoding == Id3TextEncoding::Utf16 || encoding == Id3TextEncoding::Utf16BigEndian) {
            at = DecodeUtf16(bytes, at, bigEndian, text);
        } else {
            const auto zero =
                std::find(bytes.begin() + static_cast<std::ptrdiff_t>(at), bytes.end(), 0);
            const std::string_view raw(reinterpret_cast<const char*>(bytes.data()) + at,
                                       static_cast<std::size_t>(zero - bytes.begin()) - at);
            if (encoding == Id3TextEncoding::Latin1) {
                text = Latin1ToUtf8(raw);
            } else {
                text = platform::ValidUtf8(raw.substr(raw.starts_with("\xEF\xBB\xBF") ? 3 : 0));
            }
            at += raw.size() + 1;
        }
        while (!text.empty() && text.back() == ' ') {
            text.pop_back();
        }
        if (!text.empty()) {
            strings.push_back(std::move(text));
        }
    }
}

} // namespace quaverly::mpeg
