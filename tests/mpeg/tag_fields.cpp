// tag_fields FILE...: the tag fields of each file as our reader gives them, for the differential
// test against the ID3 tag library (id3lib_differential.py). One JSON object a line:
//
//   {"path": ..., "v2": {...}, "v1": {...}, "all": {...}}
//
// with the fields of the ID3v2 tags at the start, of the ID3v1 tag at the end, and of both as
// a listing shows them; each holds artist, album, title, track, year, genre, source and,
// where there is one, cover: {type, typeName, mime, bytes}. A file that cannot be read is
// {"path": ..., "error": ...}.

#include "mpeg/byte_source.h"
#include "mpeg/file_view.h"
#include "mpeg/id3_tags.h"
#include "platform/file_error.h"
#include "platform/file_system.h"

#include <cstdio>
#include <string>

namespace {

using quaverly::mpeg::TagFields;

// Our fields are valid UTF-8, so only the characters JSON escapes need care.
std::string Json(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned char>(c));
            out += escape;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string Json(const TagFields& fields) {
    std::string out = "{\"artist\": " + Json(fields.artist) + ", \"album\": " + Json(fields.album) +
                      ", \"title\": " + Json(fields.title) + ", \"track\": " + Json(fields.track) +
                      ", \"year\": " + Json(fields.year) + ", \"genre\": " + Json(fields.genre) +
                      ", \"source\": " + Json(fields.source);
    if (fields.cover) {
        out += ", \"cover\": {\"type\": " + std::to_string(fields.cover->type) +
               ", \"typeName\": " + Json(fields.cover->typeName) +
               ", \"mime\": " + Json(fields.cover->mime) +
               ", \"bytes\": " + std::to_string(fields.cover->bytes) + "}";
    }
    return out + "}";
}

} // namespace

int main(int argc, char** argv) {
    quaverly::platform::FileSystem& files = quaverly::platform::SystemFileSystem();
    quaverly::mpeg::FileView view;
    for (int i = 1; i < argc; ++i) {
        const std::string path = argv[i];
        try {
            const auto file = files.OpenForReading(path);
            view.Attach(*file, static_cast<std::int64_t>(file->Size()));
            quaverly::mpeg::FileViewSource source(view);
            const std::int64_t size = source.Size();
            const std::string line =
                "{\"path\": " + Json(path) +
                ", \"v2\": " + Json(quaverly::mpeg::ReadTagFields(source, 0)) +
                ", \"v1\": " + Json(quaverly::mpeg::ReadId3v1Fields(source, size)) +
                ", \"all\": " + Json(quaverly::mpeg::ReadTagFields(source, size)) + "}";
            std::printf("%s\n", line.c_str());
        } catch (const quaverly::platform::FileError& error) {
            std::printf("{\"path\": %s, \"error\": %s}\n", Json(path).c_str(),
                        Json(error.what()).c_str());
        }
        view.Detach();
    }
    return 0;
}
