#pragma once

#include "mpeg/read_buffer.h"
#include "platform/file_system.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quaverly::mpeg {

// The analyser's read-only view of one open file of a known size. Bytes the file holds in memory
// already (InputFile::BufferedAt) are used where they lie; the rest is read through one window
// with positioned reads, 16 KiB at first and twice as much at each further read of the same
// file, up to a block: the frame scan reads far only where it must search far. Every byte at or
// past the size reads as zero, and so does a byte that the file no longer holds because it
// shrank meanwhile. The window is kept from file to file, so a view costs one allocation for
// its whole life, whatever the files' sizes.
class FileView {
public:
    static constexpr std::size_t kBlockSize = 256 * 1024;
    static constexpr std::size_t kFirstRead = 16 * 1024;

    // At most `blockSize` bytes are read at a time.
    explicit FileView(std::size_t blockSize = kBlockSize);
    FileView(const FileView&) = delete;
    FileView& operator=(const FileView&) = delete;
    FileView(FileView&&) noexcept = default;
    FileView& operator=(FileView&&) noexcept = default;

    // Starts viewing `file`, taken to hold `size` bytes. The file must outlive its use here.
    void Attach(platform::InputFile& file, std::int64_t size);
    void Detach() noexcept;

    std::int64_t Size() const noexcept { return m_size; }

    // Copies `count` bytes at `offset` into `out`. Throws platform::FileError when a read fails.
    void Copy(std::int64_t offset, unsigned char* out, std::size_t count);

    // The bytes from `offset` on as the window holds them, reading the block at `offset` first
    // when the window does not hold it. Every position in [offset, offset + count) has its
    // following three bytes in the window too, so a header word can be read at each one.
    // count is 0 only at or past the size. Throws platform::FileError.
    struct Span {
        const unsigned char* data;
        std::int64_t count;
    };
    Span WordsFrom(std::int64_t offset);

    // The header word at `offset`, big-endian. Throws platform::FileError.
    std::uint32_t WordAt(std::int64_t offset);

    // The first position from `offset` on that may hold a byte other than zero: `offset`
    // itself unless it lies in a hole of a sparse file; at most the size.
    std::int64_t DataFrom(std::int64_t offset) const;

    // Reads the window at `offset` now unless the bytes there are held already, so that the
    // reads that follow, up to a window's length, cost none. Throws platform::FileError.
    void Hold(std::int64_t offset);

    // Whether the word at `offset` can be read without a read from the file.
    bool HoldsWordAt(std::int64_t offset) const noexcept {
        return offset >= m_base && offset < m_wordsEnd;
    }

private:
    void Load(std::int64_t offset);
    // The file's own bytes at `offset`, with the positions whose whole word they hold.
    Span BufferedWords(std::int64_t offset) const;

    platform::InputFile* m_file = nullptr;
    std::int64_t m_size = 0;
    std::size_t m_blockSize;
    std::vector<unsigned char> m_window; // a block and three zeros behind it, from m_data on
    unsigned char* m_data;               // the byte at m_base, ReadLead(m_base) into m_window
    std::int64_t m_base = 0;             // file offset of m_window[0]
    std::int64_t m_length = 0;           // bytes of the file the window holds
    std::int64_t m_wordsEnd = 0;         // first position whose word the window does not hold
    std::size_t m_nextRead = kFirstRead; // bytes the next read of the window asks for
};

} // namespace quaverly::mpeg
