#pragma once

#include <string>
#include <string_view>

namespace quaverly::mpeg {

// The genre a number stands for: the genre byte of an ID3v1 tag, or a number in an ID3v2
// content type. The list of ID3v1 (0 to 79) and the extension that players took up after it
// (to 191); "" for any other number, 255 (none) among them.
std::string_view Id3GenreName(unsigned number);

// The genre that one value of an ID3v2 content type frame (TCON, v2.2 TCO) names. A v2.3 value
// may refer to genres by number in parentheses, "(RX)" for remix and "(CR)" for cover, followed
// by a text that refines them: "(13)" and "13" are "Pop", "(4)(13)" is "Disco / Pop", and
// "(13)Britpop" is "Britpop". "((" starts a text that begins with "(". Anything else is a
// name of its own and kept as it stands, and so is a number beyond the list.
std::string GenreFromContentType(std::string_view value);

} // namespace quaverly::mpeg
