#pragma once

// UTF-8 as RFC 3629 has it: no overlong form, no surrogate (U+D800 to U+DFFF), nothing above
// U+10FFFF, no sequence cut short. Bytes in, text out; no system call.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quaverly::platform {

// The character a text starts with: its length in bytes and its code point.
struct Utf8Character {
    std::size_t length = 0; // 0: the bytes there are not valid UTF-8, or there are none
    std::uint32_t code = 0;
};

Utf8Character DecodeUtf8(std::string_view text);

// `text` as valid UTF-8: valid sequences as they stand, each other byte as U+FFFD.
std::string ValidUtf8(std::string_view text);
// The same, appended to `out`.
void AppendValidUtf8(std::string& out, std::string_view text);

} // namespace quaverly::platform
