// The tag fields over arbitrary bytes, as a file: the ID3v2 tags at its start and the ID3v1 tag
// at its end. Whatever the bytes, every field is valid UTF-8 of a bounded size, a cover's size
// is one the file can hold, and no read leaves the file by more than a header's worth or is
// larger than a text frame's bound.

#include "fuzz_check.h"
#include "mpeg/byte_source.h"
#include "mpeg/id3_tags.h"
#include "platform/utf8.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

using quaverly::mpeg::kMostTextBytes;
using quaverly::mpeg::kPictureFieldsBytes;
using quaverly::mpeg::TagFields;

// The input's bytes, checking every copy asked of them.
class CheckedSource final : public quaverly::mpeg::ByteSource {
public:
    CheckedSource(const std::uint8_t* data, std::size_t size) : m_bytes({data, size}) {}

    std::int64_t Size() const override { return m_bytes.Size(); }

    void Copy(std::int64_t offset, unsigned char* out, std::size_t count) override {
        FUZZ_CHECK(offset >= 0 && offset <= Size());
        FUZZ_CHECK(count <= kMostTextBytes + 10);
        copied += static_cast<std::int64_t>(count);
        m_bytes.Copy(offset, out, count);
    }

    std::int64_t copied = 0;

private:
    quaverly::mpeg::MemorySource m_bytes;
};

void CheckText(const std::string& text, std::size_t most) {
    FUZZ_CHECK(text.size() <= most);
    FUZZ_CHECK(quaverly::platform::ValidUtf8(text) == text);
    FUZZ_CHECK(text.find('\0') == std::string::npos);
}

void Check(const TagFields& fields, std::int64_t size) {
    for (const std::string* text : {&fields.artist, &fields.album, &fields.title, &fields.track,
                                    &fields.year, &fields.genre}) {
        CheckText(*text, 4 * kMostTextBytes);
    }
    FUZZ_CHECK(fields.Empty() == fields.source.empty());
    if (fields.cover) {
        FUZZ_CHECK(fields.cover->bytes >= -1 && fields.cover->bytes < size);
        FUZZ_CHECK(fields.cover->type >= 0 && fields.cover->type <= 0xFF);
        FUZZ_CHECK(fields.cover->typeName.empty() == (fields.cover->type > 20));
        CheckText(fields.cover->mime, 2 * kPictureFieldsBytes);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto bytes = static_cast<std::int64_t>(size);
    CheckedSource source(data, size);
    const TagFields fields = quaverly::mpeg::ReadTagFields(source, bytes);
    Check(fields, bytes);
    // Each byte is read a few times at most: by a frame header, the check of a frame's size and
    // the frame itself.
    FUZZ_CHECK(source.copied <= 4 * bytes + 1024);

    const TagFields v2 = quaverly::mpeg::ReadId3v2Fields(source, 0);
    Check(v2, bytes);
    FUZZ_CHECK(v2.title.empty() || v2.title == fields.title);
    Check(quaverly::mpeg::ReadId3v1Fields(source, bytes), bytes);
    return 0;
}
