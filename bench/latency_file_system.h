#pragma once

// A file system as slow to answer as one across a network: each call that asks about the
// library waits a fixed delay before it is passed on. Nothing is shared between calls, so calls
// from several threads wait side by side, as they would for a server.

#include "platform/file_system.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <utility>

namespace quaverly::bench {

class LatencyFileSystem final : public platform::FileSystem {
public:
    explicit LatencyFileSystem(platform::FileSystem& real = platform::SystemFileSystem(),
                               std::chrono::microseconds delay = std::chrono::milliseconds(1))
        : m_real(real), m_delay(delay) {}

    platform::StatusResult Status(const std::string& path) override {
        Wait();
        return m_real.Status(path);
    }

    std::unique_ptr<platform::InputFile> OpenForReading(const std::string& path) override {
        Wait();
        return std::make_unique<File>(m_real.OpenForReading(path), m_delay);
    }

    std::unique_ptr<platform::InputFile> OpenListedFile(const std::string& path) override {
        Wait();
        return std::make_unique<File>(m_real.OpenListedFile(path), m_delay);
    }

    // The listing file is written beside the caller, not into the library.
    std::unique_ptr<platform::OutputFile> CreateReplacement(const std::string& path) override {
        return m_real.CreateReplacement(path);
    }

    // One wait per folder: the search reads all its entries when it starts, so Next asks
    // nothing more of the disk.
    std::unique_ptr<platform::DirectorySearch> FindFirst(const std::string& searchPath,
                                                         platform::DirectoryEntry& first,
                                                         platform::ErrorCode& error) override {
        Wait();
        return m_real.FindFirst(searchPath, first, error);
    }

    std::string CurrentDirectory() override { return m_real.CurrentDirectory(); }

    int SetCurrentDirectory(const std::string& path) override {
        return m_real.SetCurrentDirectory(path);
    }

private:
    class File final : public platform::InputFile {
    public:
        File(std::unique_ptr<platform::InputFile> real, std::chrono::microseconds delay)
            : m_real(std::move(real)), m_delay(delay) {}

        std::size_t ReadAt(std::uint64_t offset, unsigned char* buffer,
                           std::size_t count) override {
            std::this_thread::sleep_for(m_delay);
            return m_real->ReadAt(offset, buffer, count);
        }

        // Asked just before a block is read; the read that follows carries the wait.
        std::uint64_t DataFrom(std::uint64_t offset) override { return m_real->DataFrom(offset); }
        // Known since the open, which waited.
        std::uint64_t Size() const override { return m_real->Size(); }

    private:
        std::unique_ptr<platform::InputFile> m_real;
        const std::chrono::microseconds m_delay;
    };

    void Wait() const { std::this_thread::sleep_for(m_delay); }

    platform::FileSystem& m_real;
    const std::chrono::microseconds m_delay;
};

} // namespace quaverly::bench
