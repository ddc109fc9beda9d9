#pragma once

#include "mpeg/read_buffer.h"
#include "platform/file_error.h"
#include "platform/file_system.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quaverly::mpeg {

// A file open for reading whose start is read as soon as it is opened: its first 16 KiB, and
// when its ID3v2 header states a longer tag, the bytes behind the tag, where its first frames
// lie. The tag itself is not read: its headers tell where it ends (id3_tag_size.h), and a
// picture in it is never moved. That is all the analysis of a typical MP3 file reads, so one or
// two reads serve it, and they can be made ahead of time, on another thread, while the file
// waits for its row.
//
// What is read with the start, beyond it: each when a format needs it.
struct PrereadPlan {
    bool tagEnd = false;  // the last bytes of a longer tag, where its last frames and padding lie
    bool fileEnd = false; // the last bytes of the file: the tags that close it, its last frames
};

// Those bytes are served from memory (BufferedAt, ReadAt); any other read goes to the file. A
// read made here that failed is kept, and thrown by the first read that needs its bytes.
class PrereadFile final : public platform::InputFile {
public:
    // What is read at the start, and behind a longer tag: room for junk, the first frame, its
    // follower and the "Xing" probe.
    static constexpr std::size_t kHeadBytes = 16 * 1024;
    static constexpr std::size_t kBehindTag = 4 * 1024;
    // What the plan's ends take.
    static constexpr std::size_t kEndBytes = 5 * 1024;
    static constexpr std::size_t kBeforeTagEnd = 4 * 1024;

    // Reads the start of `file` now, and what `plan` adds.
    explicit PrereadFile(std::unique_ptr<platform::InputFile> file, PrereadPlan plan = {});

    // `file` itself when it was read so already; otherwise it is, now.
    static std::unique_ptr<PrereadFile> From(std::unique_ptr<platform::InputFile> file,
                                             PrereadPlan plan = {});

    std::uint64_t Size() const override { return m_size; }
    Buffered BufferedAt(std::uint64_t offset) const override;
    std::size_t ReadAt(std::uint64_t offset, unsigned char* buffer, std::size_t count) override;
    std::uint64_t DataFrom(std::uint64_t offset) override { return m_file->DataFrom(offset); }

    // How many bytes are held in memory.
    std::size_t HeldBytes() const noexcept;

private:
    struct Extent {
        std::uint64_t offset = 0;
        // The bytes, from `lead` on, and three zeros behind them, so that a header word can be
        // read at each.
        std::unique_ptr<unsigned char[]> memory;
        std::size_t lead = 0;
        std::size_t length = 0;
        // How many of the bytes the file held: it may have shrunk since it was opened. The rest
        // are zeros.
        std::size_t held = 0;
        std::optional<platform::FileError> failure;

        const unsigned char* Data() const noexcept { return memory.get() + lead; }
        std::size_t Length() const noexcept { return length; }
    };

    void Read(std::uint64_t offset, std::uint64_t end);
    const Extent* ExtentAt(std::uint64_t offset) const;

    std::unique_ptr<platform::InputFile> m_file;
    std::uint64_t m_size;
    std::vector<Extent> m_extents;
};

// Where an ID3v2 tag at the start of `bytes` ends, by what its header states, with its footer
// when it has one and `withFooter` is set; 0 when the bytes do not begin with an ID3v2 header.
std::uint64_t StatedTagEnd(const unsigned char* bytes, std::size_t count, bool withFooter = true);

} // namespace quaverly::mpeg
