#include "listing/visible_text.h"

#include "platform/utf8.h"

#include <array>
#include <cstdint>
#include <utility>

namespace quaverly::listing {

namespace {

#ifdef _WIN32
constexpr bool kTextIsUtf8 = false;
#else
constexpr bool kTextIsUtf8 = true;
#endif

void AppendEscape(std::string& out, unsigned char byte) {
    constexpr std::string_view kDigits = "0123456789ABCDEF";
    out += "\\x";
    out += kDigits[byte >> 4];
    out += kDigits[byte & 0xF];
}

// Code points a terminal draws two columns wide: the East Asian wide and full-width blocks
// and the pictographs.
constexpr std::array<std::pair<std::uint32_t, std::uint32_t>, 10> kWide{{
    {0x1100, 0x115F},   // Hangul Jamo initials
    {0x2E80, 0x303E},   // CJK radicals, punctuation
    {0x3041, 0x33FF},   // kana, CJK compatibility
    {0x3400, 0x4DBF},   // CJK extension A
    {0x4E00, 0xA4CF},   // CJK ideographs, Yi
    {0xAC00, 0xD7A3},   // Hangul syllables
    {0xF900, 0xFAFF},   // CJK compatibility ideographs
    {0xFF00, 0xFF60},   // full-width forms
    {0x1F300, 0x1FAFF}, // pictographs, emoji
    {0x20000, 0x3FFFD}, // CJK extensions B and on
}};

std::size_t Columns(std::uint32_t code) {
    if ((code >= 0x0300 && code <= 0x036F) || code == 0x200B ||
        (code >= 0xFE00 && code <= 0xFE0F)) {
        return 0; // combining marks, zero width space, variation selectors
    }
    for (const auto& [first, last] : kWide) {
        if (code >= first && code <= last) {
            return 2;
        }
    }
    return 1;
}

} // namespace

std::string VisibleText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    while (!text.empty()) {
        const auto byte = static_cast<unsigned char>(text[0]);
        if (byte < 0x20 || byte == 0x7F) {
            AppendEscape(out, byte);
            text.remove_prefix(1);
            continue;
        }
        if (!kTextIsUtf8 || byte < 0x80) {
            out += text[0];
            text.remove_prefix(1);
            continue;
        }
        const auto [length, code] = platform::DecodeUtf8(text);
        if (length == 0 || (code >= 0x80 && code <= 0x9F)) {
            // Not text, or a C1 control (CSI, OSC, ...): each byte shown as it is.
            const std::size_t shown = length == 0 ? 1 : length;
            for (std::size_t i = 0; i < shown; ++i) {
                AppendEscape(out, static_cast<unsigned char>(text[i]));
            }
            text.remove_prefix(shown);
            continue;
        }
        out.append(text.substr(0, length));
        text.remove_prefix(length);
    }
    return out;
}

std::string_view CutToColumns(std::string_view text, std::size_t columns) {
    std::size_t used = 0;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t length = 1;
        std::size_t width = 1;
        if (kTextIsUtf8) {
            const auto [decoded, code] = platform::DecodeUtf8(text.substr(at));
            length = decoded == 0 ? 1 : decoded;
            width = decoded == 0 ? 1 : Columns(code);
        }
        if (used + width > columns) {
            break;
        }
        used += width;
        at += length;
    }
    return text.substr(0, at);
}

} // namespace quaverly::listing
