#pragma once

// A file system for tests: the real one underneath, with hooks that let a test make any call
// fail, or change what it returns, on cue. Tests run as root, so permissions cannot do this.

#include "platform/file_error.h"
#include "platform/file_system.h"

#include <atomic>
#include <cerrno>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace quaverly::testing {

class FakeFileSystem final : public platform::FileSystem {
public:
    // Each hook runs before the real call, one at a time: calls read ahead come from several
    // threads. It may throw a FileError, or return a replacement
    // result; an empty optional lets the real call go ahead.
    std::function<std::optional<platform::StatusResult>(const std::string& path)> onStatus;
    std::function<void(const std::string& path)> onOpenForReading;
    // Runs before every read of a file opened through this file system; `count` may be cut.
    std::function<void(const std::string& path, std::uint64_t offset, std::size_t& count)> onRead;
    // Runs before every read too, with where its bytes are to land.
    std::function<void(std::uint64_t offset, const unsigned char* buffer)> onReadInto;
    std::function<void(const std::string& path)> onCreate;
    // Runs before every write to, and the close of, a file created through this file system.
    std::function<void(const std::string& path, std::size_t size)> onWrite;
    std::function<void(const std::string& path)> onClose;
    // Returning true replaces the search: `error` then says why it found nothing.
    std::function<bool(const std::string& searchPath, platform::ErrorCode& error)> onFindFirst;
    // Runs before each step of a search; returning true ends it with `error`.
    std::function<bool(const std::string& searchPath, platform::ErrorCode& error)> onFindNext;
    // Serves a search from a made-up folder: the entries given, in that order.
    std::function<std::optional<std::vector<platform::DirectoryEntry>>(
        const std::string& searchPath)>
        onListFolder;
    std::function<std::optional<int>(const std::string& path)> onSetCurrentDirectory;
    // Runs before the current directory is read; may throw.
    std::function<void()> onCurrentDirectory;
    std::function<std::optional<int>(const std::string& path)> onCreateFolder;
    // Runs before a scratch file is made; may throw. Reads of one go through onRead.
    std::function<void()> onCreateScratch;

    platform::StatusResult Status(const std::string& path) override {
        const std::lock_guard lock(m_hooks);
        if (onStatus) {
            if (auto replaced = onStatus(path)) {
                return *replaced;
            }
        }
        return m_real.Status(path);
    }

    std::unique_ptr<platform::InputFile> OpenForReading(const std::string& path) override {
        return Open(path, false);
    }

    std::unique_ptr<platform::InputFile> OpenListedFile(const std::string& path) override {
        return Open(path, true);
    }

    std::unique_ptr<platform::OutputFile> CreateReplacement(const std::string& path) override {
        const std::lock_guard lock(m_hooks);
        if (onCreate) {
            onCreate(path);
        }
        ++createdFiles;
        return std::make_unique<Output>(*this, path, m_real.CreateReplacement(path));
    }

    std::unique_ptr<platform::DirectorySearch> FindFirst(const std::string& searchPath,
                                                         platform::DirectoryEntry& first,
                                                         platform::ErrorCode& error) override {
        const std::lock_guard lock(m_hooks);
        if (onFindFirst && onFindFirst(searchPath, error)) {
            return nullptr;
        }
        std::unique_ptr<platform::DirectorySearch> real;
        if (auto entries = onListFolder ? onListFolder(searchPath) : std::nullopt) {
            if (entries->empty()) {
                error = platform::kErrorFileNotFound;
                return nullptr;
            }
            first = entries->front();
            real = std::make_unique<Listed>(std::move(*entries));
        } else {
            real = m_real.FindFirst(searchPath, first, error);
        }
        if (!real) {
            return nullptr;
        }
        ++openSearches;
        return std::make_unique<Search>(*this, searchPath, std::move(real));
    }

    std::string CurrentDirectory() override {
        const std::lock_guard lock(m_hooks);
        if (onCurrentDirectory) {
            onCurrentDirectory();
        }
        return m_real.CurrentDirectory();
    }

    int SetCurrentDirectory(const std::string& path) override {
        const std::lock_guard lock(m_hooks);
        if (onSetCurrentDirectory) {
            if (auto replaced = onSetCurrentDirectory(path)) {
                return *replaced;
            }
        }
        return m_real.SetCurrentDirectory(path);
    }

    int CreateFolder(const std::string& path) override {
        const std::lock_guard lock(m_hooks);
        if (onCreateFolder) {
            if (auto replaced = onCreateFolder(path)) {
                return *replaced;
            }
        }
        return m_real.CreateFolder(path);
    }

    std::unique_ptr<platform::ScratchFile> CreateScratchFile() override {
        {
            const std::lock_guard lock(m_hooks);
            if (onCreateScratch) {
                onCreateScratch();
            }
        }
        return std::make_unique<Scratch>(*this, m_real.CreateScratchFile());
    }

    // Files created and not yet closed, and searches not yet ended: both must be 0 after a run.
    std::atomic<int> createdFiles = 0;
    std::atomic<int> openOutputs = 0;
    std::atomic<int> openSearches = 0;
    // Files opened for reading, listed or not, and reads of them done.
    std::atomic<int> opens = 0;
    std::atomic<int> reads = 0;

private:
    // `listed`: opened as a file the search listed as regular.
    std::unique_ptr<platform::InputFile> Open(const std::string& path, bool listed) {
        {
            const std::lock_guard lock(m_hooks);
            ++opens;
            if (onOpenForReading) {
                onOpenForReading(path);
            }
        }
        return std::make_unique<Input>(
            *this, path, listed ? m_real.OpenListedFile(path) : m_real.OpenForReading(path));
    }

    class Input final : public platform::InputFile {
    public:
        Input(FakeFileSystem& owner, std::string path, std::unique_ptr<platform::InputFile> real)
            : m_owner(owner), m_path(std::move(path)), m_real(std::move(real)) {}
        std::size_t ReadAt(std::uint64_t offset, unsigned char* buffer,
                           std::size_t count) override {
            {
                const std::lock_guard lock(m_owner.m_hooks);
                if (m_owner.onRead) {
                    m_owner.onRead(m_path, offset, count);
                }
                if (m_owner.onReadInto) {
                    m_owner.onReadInto(offset, buffer);
                }
            }
            const std::size_t got = m_real->ReadAt(offset, buffer, count);
            ++m_owner.reads;
            return got;
        }
        std::uint64_t DataFrom(std::uint64_t offset) override { return m_real->DataFrom(offset); }
        std::uint64_t Size() const override { return m_real->Size(); }

    private:
        FakeFileSystem& m_owner;
        std::string m_path;
        std::unique_ptr<platform::InputFile> m_real;
    };

    class Scratch final : public platform::ScratchFile {
    public:
        Scratch(FakeFileSystem& owner, std::unique_ptr<platform::ScratchFile> real)
            : m_owner(owner), m_real(std::move(real)) {}
        const std::string& Path() const override { return m_real->Path(); }
        std::unique_ptr<platform::InputFile> OpenForReading() override {
            return std::make_unique<Input>(m_owner, Path(), m_real->OpenForReading());
        }

    private:
        FakeFileSystem& m_owner;
        std::unique_ptr<platform::ScratchFile> m_real;
    };

    class Output final : public platform::OutputFile {
    public:
        Output(FakeFileSystem& owner, std::string path, std::unique_ptr<platform::OutputFile> real)
            : m_owner(owner), m_path(std::move(path)), m_real(std::move(real)) {
            ++m_owner.openOutputs;
        }
        ~Output() override {
            if (m_open) {
                --m_owner.openOutputs;
            }
        }
        void Write(const char* data, std::size_t size) override {
            if (m_owner.onWrite) {
                m_owner.onWrite(m_path, size);
            }
            m_real->Write(data, size);
        }
        void Close() override {
            if (m_open) {
                m_open = false;
                --m_owner.openOutputs;
            }
            if (m_owner.onClose) {
                m_owner.onClose(m_path);
            }
            m_real->Close();
        }

    private:
        FakeFileSystem& m_owner;
        std::string m_path;
        std::unique_ptr<platform::OutputFile> m_real;
        bool m_open = true;
    };

    class Listed final : public platform::DirectorySearch {
    public:
        explicit Listed(std::vector<platform::DirectoryEntry> entries)
            : m_entries(std::move(entries)) {}
        bool Next(platform::DirectoryEntry& entry, platform::ErrorCode& error) override {
            if (++m_next < m_entries.size()) {
                entry = m_entries[m_next];
                return true;
            }
            error = platform::kErrorNoMoreFiles;
            return false;
        }

    private:
        std::vector<platform::DirectoryEntry> m_entries;
        std::size_t m_next = 0;
    };

    class Search final : public platform::DirectorySearch {
    public:
        Search(FakeFileSystem& owner, std::string searchPath,
               std::unique_ptr<platform::DirectorySearch> real)
            : m_owner(owner), m_searchPath(std::move(searchPath)), m_real(std::move(real)) {}
        ~Search() override { --m_owner.openSearches; }
        bool Next(platform::DirectoryEntry& entry, platform::ErrorCode& error) override {
            {
                const std::lock_guard lock(m_owner.m_hooks);
                if (m_owner.onFindNext && m_owner.onFindNext(m_searchPath, error)) {
                    return false;
                }
            }
            return m_real->Next(entry, error);
        }

    private:
        FakeFileSystem& m_owner;
        std::string m_searchPath;
        std::unique_ptr<platform::DirectorySearch> m_real;
    };

    platform::FileSystem& m_real = platform::SystemFileSystem();
    std::recursive_mutex m_hooks;
};

// A FileError as the real file system raises it for an errno value.
inline platform::FileError ErrnoError(int systemError, const std::string& operation,
                                      const std::string& path) {
    return platform::FileError::FromErrno(systemError, operation, path);
}

} // namespace quaverly::testing
