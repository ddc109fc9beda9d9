#pragma once

// A file system held in memory: one readable file served from a byte buffer, and listing files
// that collect what is written to them. The fuzz targets feed the analyser and the page writer
// through it, so that no input ever touches the disk.

#include "platform/file_error.h"
#include "platform/file_system.h"
#include "support/system_errors.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <span>
#include <string>

namespace quaverly::testing {

// Collects everything written to it in `bytes`; nothing fails.
class MemoryOutputFile final : public platform::OutputFile {
public:
    explicit MemoryOutputFile(std::string& bytes) : m_bytes(bytes) {}

    void Write(const char* data, std::size_t size) override { m_bytes.append(data, size); }
    void Close() override { closed = true; }

    bool closed = false;

private:
    std::string& m_bytes;
};

class MemoryFileSystem final : public platform::FileSystem {
public:
    // Serves `contents` (which must outlive its use here) as the regular file at `path`.
    // `statedSize` is the size the status query reports; unlike the bytes, it may be more (a
    // file that shrank after it was measured) or less (one that grew).
    void Serve(std::string path, std::span<const unsigned char> contents,
               std::uint64_t statedSize) {
        m_path = std::move(path);
        m_contents = contents;
        m_statedSize = statedSize;
    }
    void Serve(std::string path, std::span<const unsigned char> contents) {
        Serve(std::move(path), contents, contents.size());
    }

    platform::StatusResult Status(const std::string& path) override {
        if (path != m_path) {
            return {testing::kNotFound, {}};
        }
        return {0, {m_statedSize, platform::FileKind::Regular, 1, 1, modificationTime}};
    }

    std::unique_ptr<platform::InputFile> OpenForReading(const std::string& path) override {
        if (path != m_path) {
            throw platform::FileError::FromErrno(testing::kNotFound, "open", path);
        }
        return std::make_unique<Input>(m_contents, m_statedSize);
    }

    std::unique_ptr<platform::OutputFile> CreateReplacement(const std::string& path) override {
        m_written.clear();
        (void)path;
        return std::make_unique<MemoryOutputFile>(m_written);
    }

    std::unique_ptr<platform::DirectorySearch> FindFirst(const std::string& /*searchPath*/,
                                                         platform::DirectoryEntry& /*first*/,
                                                         platform::ErrorCode& error) override {
        error = platform::kErrorPathNotFound;
        return nullptr;
    }

    std::string CurrentDirectory() override { return "/"; }
    int SetCurrentDirectory(const std::string& /*path*/) override { return testing::kNotFound; }

    // What the status query says of the served file's last change.
    std::int64_t modificationTime = 0;

    // What the last file created here holds.
    const std::string& Written() const noexcept { return m_written; }

private:
    class Input final : public platform::InputFile {
    public:
        Input(std::span<const unsigned char> contents, std::uint64_t statedSize)
            : m_contents(contents), m_statedSize(statedSize) {}
        std::uint64_t Size() const override { return m_statedSize; }
        std::size_t ReadAt(std::uint64_t offset, unsigned char* buffer,
                           std::size_t count) override {
            if (offset >= m_contents.size()) {
                return 0;
            }
            const std::size_t got =
                std::min<std::size_t>(count, m_contents.size() - static_cast<std::size_t>(offset));
            std::memcpy(buffer, m_contents.data() + offset, got);
            return got;
        }

    private:
        std::span<const unsigned char> m_contents;
        std::uint64_t m_statedSize;
    };

    std::string m_path;
    std::span<const unsigned char> m_contents;
    std::uint64_t m_statedSize = 0;
    std::string m_written;
};

} // namespace quaverly::testing
