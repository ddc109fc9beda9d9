// id3lib_fields FILE: the text frames of the tag fields as the ID3 tag library reads them, for
// the differential test of our own reader (id3lib_differential.py). The library can crash on a
// damaged tag, so the test runs this program once per file.
//
// It prints one line for each frame the library found, of the tags at the start ("v2.") and of
// the ID3v1 tag at the end ("v1."), which the library turns into frames of its own:
//
//   v2.TIT2=the text           the first text of the frame as UTF-8, less trailing spaces
//   v2.TIT2.encoding=1         the encoding its text field has
//   v2.genre=Rock              the content type named as our reader names it
//
// A backslash in the text is written "\\", a line feed "\n", a carriage return "\r". The text
// is converted here from what the library holds (ISO-8859-1, or UTF-16 in big-endian order,
// into which the library turns either order), so that our own decoding is not what checks
// itself.

#include "mpeg/id3_genres.h"

#include <id3/tag.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace {

void AppendUtf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// The library's UTF-16 text, `count` bytes in big-endian order, up to its first zero.
std::string FromUtf16(const unsigned char* bytes, std::size_t count) {
    std::string out;
    for (std::size_t at = 0; at + 1 < count; at += 2) {
        const std::uint32_t unit = (std::uint32_t{bytes[at]} << 8) | bytes[at + 1];
        if (unit == 0) {
            break;
        }
        const bool high = unit >= 0xD800 && unit <= 0xDBFF;
        const std::uint32_t next =
            at + 3 < count ? (std::uint32_t{bytes[at + 2]} << 8) | bytes[at + 3] : 0;
        if (high && next >= 0xDC00 && next <= 0xDFFF) {
            AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00));
            at += 2;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            AppendUtf8(out, 0xFFFD);
        } else {
            AppendUtf8(out, unit);
        }
    }
    return out;
}

std::string Escaped(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else {
            out += c;
        }
    }
    return out;
}

void Print(const char* tag, ID3_Tag& library) {
    struct Wanted {
        ID3_FrameID id;
        const char* name;
    };
    const Wanted wanted[] = {
        {ID3FID_TITLE, "TIT2"},         {ID3FID_LEADARTIST, "TPE1"},  {ID3FID_BAND, "TPE2"},
        {ID3FID_ALBUM, "TALB"},         {ID3FID_TRACKNUM, "TRCK"},    {ID3FID_YEAR, "TYER"},
        {ID3FID_RECORDINGTIME, "TDRC"}, {ID3FID_CONTENTTYPE, "TCON"},
    };
    for (const Wanted& frame : wanted) {
        const ID3_Frame* found = library.Find(frame.id);
        ID3_Field* field = found != nullptr ? found->GetField(ID3FN_TEXT) : nullptr;
        if (field == nullptr) {
            continue;
        }
        const ID3_TextEnc encoding = field->GetEncoding();
        std::string text;
        if (encoding == ID3TE_ISO8859_1) {
            const char* raw = field->GetRawText();
            for (const char* c = raw; c != nullptr && *c != '\0'; ++c) {
                AppendUtf8(text, static_cast<unsigned char>(*c));
            }
        } else if (encoding == ID3TE_UTF16) {
            // Size() counts the bytes of the text the library holds.
            text = FromUtf16(reinterpret_cast<const unsigned char*>(field->GetRawUnicodeText()),
                             field->Size());
        }
        // Our reader cuts the trailing spaces, as a listing shows no more of them.
        while (!text.empty() && text.back() == ' ') {
            text.pop_back();
        }
        std::printf("%s.%s.encoding=%d\n", tag, frame.name, static_cast<int>(encoding));
        std::printf("%s.%s=%s\n", tag, frame.name, Escaped(text).c_str());
        if (frame.id == ID3FID_CONTENTTYPE) {
            const std::string genre = quaverly::mpeg::GenreFromContentType(text);
            std::printf("%s.genre=%s\n", tag, Escaped(genre).c_str());
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: id3lib_fields FILE\n");
        return 2;
    }
    ID3_Tag v2;
    v2.Link(argv[1], static_cast<flags_t>(ID3TT_ID3V2));
    Print("v2", v2);
    ID3_Tag v1;
    v1.Link(argv[1], static_cast<flags_t>(ID3TT_ID3V1));
    Print("v1", v1);
    return 0;
}
