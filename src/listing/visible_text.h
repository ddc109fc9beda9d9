#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quaverly::listing {

// A name or message as it may be shown to a person, on a terminal or in a box: every control
// character (C0, DEL and, in UTF-8, C1) and every byte that is not valid text becomes a
// visible escape, "\x1B", so that no name on a share can retitle, clear or write to the user's
// terminal, or split a line in two. Text is UTF-8 on Linux; on Windows it is in the ANSI code
// page, where every byte from 0x80 up is a character and is kept.
std::string VisibleText(std::string_view text);

// The longest start of `text` (visible already) that takes at most `columns` columns on a
// terminal, cut between characters: a wide character (CJK, emoji) takes two columns, a
// combining mark none.
std::string_view CutToColumns(std::string_view text, std::size_t columns);

} // namespace quaverly::listing
