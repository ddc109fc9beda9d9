#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace quaverly::mpeg {

class FileView;

// Something that copies a file's bytes, for the decoders that read more than a header's worth
// (the tag fields): they ask for a few small pieces and never hold the file.
class ByteSource {
public:
    virtual ~ByteSource() = default;

    virtual std::int64_t Size() const = 0;
    // Copies `count` bytes at `offset` (0 or more) into `out`: zeros at or past Size(). May
    // throw platform::FileError.
    virtual void Copy(std::int64_t offset, unsigned char* out, std::size_t count) = 0;
};

// The file a FileView shows, through its window.
class FileViewSource final : public ByteSource {
public:
    explicit FileViewSource(FileView& view) : m_view(view) {}

    std::int64_t Size() const override;
    void Copy(std::int64_t offset, unsigned char* out, std::size_t count) override;

private:
    FileView& m_view;
};

// Bytes held in memory, which must outlive their use here.
class MemorySource final : public ByteSource {
public:
    explicit MemorySource(std::span<const unsigned char> bytes) : m_bytes(bytes) {}

    std::int64_t Size() const override { return static_cast<std::int64_t>(m_bytes.size()); }

    void Copy(std::int64_t offset, unsigned char* out, std::size_t count) override {
        const auto at =
            static_cast<std::size_t>(std::min(std::max<std::int64_t>(offset, 0), Size()));
        const std::size_t held = std::min(count, m_bytes.size() - at);
        std::memcpy(out, m_bytes.data() + at, held);
        std::memset(out + held, 0, count - held);
    }

private:
    std::span<const unsigned char> m_bytes;
};

} // namespace quaverly::mpeg
