#include "platform/utf8.h"

#include <algorithm>

namespace quaverly::platform {

Utf8Character DecodeUtf8(std::string_view text) {
    if (text.empty()) {
        return {};
    }
    const auto lead = static_cast<unsigned char>(text[0]);
    std::size_t length = 0;
    std::uint32_t code = 0;
    std::uint32_t least = 0; // the smallest code point of that length: below it is overlong
    if (lead < 0x80) {
        return {1, lead};
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, code = lead & 0x1Fu, least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, code = lead & 0x0Fu, least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, code = lead & 0x07u, least = 0x10000;
    } else {
        return {};
    }
    if (text.size() < length) {
        return {};
    }
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[i]);
        if ((next & 0xC0) != 0x80) {
            return {};
        }
        code = (code << 6) | (next & 0x3Fu);
    }
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        return {};
    }
    return {length, code};
}

std::string ValidUtf8(std::string_view text) {
    std::string out;
    AppendValidUtf8(out, text);
    return out;
}

void AppendValidUtf8(std::string& out, std::string_view text) {
    constexpr std::string_view kReplacement = "\xEF\xBF\xBD"; // U+FFFD
    // Most names are ASCII: taken whole up to the first byte that is not.
    const auto ascii = std::find_if(text.begin(), text.end(),
                                    [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
    out.append(text.begin(), ascii);
    text.remove_prefix(static_cast<std::size_t>(ascii - text.begin()));
    out.reserve(out.size() + text.size());
    while (!text.empty()) {
        const std::size_t length = DecodeUtf8(text).length;
        if (length == 0) {
            out.append(kReplacement);
            text.remove_prefix(1);
            continue;
        }
        out.append(text.substr(0, length));
        text.remove_prefix(length);
    }
}

} // namespace quaverly::platform
