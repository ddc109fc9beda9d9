#include "platform/file_error.h"
#include "platform/file_system.h"

#include <windows.h>
// The seam's own name, not the ANSI form's macro.
#undef SetCurrentDirectory

#include <algorithm>

namespace quaverly::platform {

namespace {

// A Win32 error number as FileError carries it here.
int SystemError(DWORD code) {
    return static_cast<int>(code);
}

FileError LastFileError(const char* operation, const std::string& path) {
    return FileError::FromErrno(SystemError(::GetLastError()), operation, path);
}

std::uint64_t Join(DWORD high, DWORD low) {
    return (static_cast<std::uint64_t>(high) << 32U) | low;
}

class Win32InputFile final : public InputFile {
public:
    Win32InputFile(HANDLE file, std::string path) : m_file(file), m_path(std::move(path)) {}
    ~Win32InputFile() override { ::CloseHandle(m_file); }
    Win32InputFile(const Win32InputFile&) = delete;
    Win32InputFile& operator=(const Win32InputFile&) = delete;

    std::size_t ReadAt(std::uint64_t offset, unsigned char* buffer, std::size_t count) override {
        std::size_t done = 0;
        while (done < count) {
            // The position goes with each read, so no read depends on an earlier one.
            OVERLAPPED at{};
            const std::uint64_t position = offset + done;
            at.Offset = static_cast<DWORD>(position & 0xFFFFFFFFU);
            at.OffsetHigh = static_cast<DWORD>(position >> 32U);
            const auto wanted = static_cast<DWORD>(std::min<std::size_t>(count - done, 1U << 30U));
            DWORD got = 0;
            if (::ReadFile(m_file, buffer + done, wanted, &got, &at) == 0) {
                const DWORD failure = ::GetLastError();
                if (failure == ERROR_HANDLE_EOF) {
                    break;
                }
                throw FileError::FromErrno(SystemError(failure), "read", m_path);
            }
            if (got == 0) {
                break;
            }
            done += got;
        }
        return done;
    }

private:
    HANDLE m_file;
    std::string m_path;
};

class Win32OutputFile final : public OutputFile {
public:
    Win32OutputFile(HANDLE file, std::string path) : m_file(file), m_path(std::move(path)) {}
    ~Win32OutputFile() override {
        if (m_file != INVALID_HANDLE_VALUE) {
            ::CloseHandle(m_file);
        }
    }
    Win32OutputFile(const Win32OutputFile&) = delete;
    Win32OutputFile& operator=(const Win32OutputFile&) = delete;

    void Write(const char* data, std::size_t size) override {
        if (m_file == INVALID_HANDLE_VALUE) {
            throw FileError(FileErrorCause::Generic, SystemError(ERROR_INVALID_HANDLE), "write",
                            m_path);
        }
        while (size > 0) {
            const auto wanted = static_cast<DWORD>(std::min<std::size_t>(size, 1U << 30U));
            DWORD put = 0;
            if (::WriteFile(m_file, data, wanted, &put, nullptr) == 0) {
                throw LastFileError("write", m_path);
            }
            if (put == 0) {
                throw FileError(FileErrorCause::DiskFull, SystemError(ERROR_DISK_FULL), "write",
                                m_path);
            }
            data += put;
            size -= put;
        }
    }

    void Close() override {
        if (m_file == INVALID_HANDLE_VALUE) {
            return;
        }
        const HANDLE file = m_file;
        m_file = INVALID_HANDLE_VALUE;
        if (::CloseHandle(file) == 0) {
            throw LastFileError("close", m_path);
        }
    }

private:
    HANDLE m_file;
    std::string m_path;
};

DirectoryEntry EntryOf(const WIN32_FIND_DATAA& found) {
    return {found.cFileName, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0};
}

// The system's own search: its order, its "." and "..", its attributes and its error codes.
class Win32DirectorySearch final : public DirectorySearch {
public:
    explicit Win32DirectorySearch(HANDLE search) : m_search(search) {}
    ~Win32DirectorySearch() override { ::FindClose(m_search); }
    Win32DirectorySearch(const Win32DirectorySearch&) = delete;
    Win32DirectorySearch& operator=(const Win32DirectorySearch&) = delete;

    bool Next(DirectoryEntry& entry, ErrorCode& error) override {
        WIN32_FIND_DATAA found{};
        if (::FindNextFileA(m_search, &found) == 0) {
            error = ::GetLastError();
            return false;
        }
        entry = EntryOf(found);
        return true;
    }

private:
    HANDLE m_search;
};

// The identity of an open file or folder: its volume and its index there.
bool IdentityOf(const std::string& path, FileStatus& status) {
    // Folders open only with backup semantics; no access right is asked for.
    const HANDLE file =
        ::CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    const bool known = ::GetFileInformationByHandle(file, &info) != 0;
    ::CloseHandle(file);
    if (known) {
        status.device = info.dwVolumeSerialNumber;
        status.inode = Join(info.nFileIndexHigh, info.nFileIndexLow);
    }
    return known;
}

class Win32FileSystem final : public FileSystem {
public:
    StatusResult Status(const std::string& path) override {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) == 0) {
            return {SystemError(::GetLastError()), {}};
        }
        FileStatus status;
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            status.kind = FileKind::Directory;
            // Only the walk asks a folder's identity, to notice a link back into its own path.
            IdentityOf(path, status);
        } else if ((data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) == 0) {
            status.kind = FileKind::Regular;
            status.size = Join(data.nFileSizeHigh, data.nFileSizeLow);
        }
        return {0, status};
    }

    std::unique_ptr<InputFile> OpenForReading(const std::string& path) override {
        const StatusResult before = Status(path);
        if (!before.Ok()) {
            throw FileError::FromErrno(before.error, "open", path);
        }
        if (before.status.kind != FileKind::Regular) {
            throw FileError(FileErrorCause::NotRegularFile, 0, "open", path);
        }
        // Others may go on reading and writing the file while it is read here.
        const HANDLE file = ::CreateFileA(
            path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            throw LastFileError("open", path);
        }
        // A device or pipe behind the name is no file to analyse.
        if (::GetFileType(file) != FILE_TYPE_DISK) {
            ::CloseHandle(file);
            throw FileError(FileErrorCause::NotRegularFile, 0, "open", path);
        }
        return std::make_unique<Win32InputFile>(file, path);
    }

    std::unique_ptr<OutputFile> CreateOrTruncate(const std::string& path) override {
        // No sharing: nobody reads a listing half written.
        const HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            throw LastFileError("create", path);
        }
        return std::make_unique<Win32OutputFile>(file, path);
    }

    std::unique_ptr<DirectorySearch> FindFirst(const std::string& searchPath, DirectoryEntry& first,
                                               ErrorCode& error) override {
        WIN32_FIND_DATAA found{};
        const HANDLE search = ::FindFirstFileA(searchPath.c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) {
            error = ::GetLastError();
            return nullptr;
        }
        first = EntryOf(found);
        error = kErrorSuccess;
        return std::make_unique<Win32DirectorySearch>(search);
    }

    std::string CurrentDirectory() override {
        std::string buffer(MAX_PATH, '\0');
        for (;;) {
            const DWORD length =
                ::GetCurrentDirectoryA(static_cast<DWORD>(buffer.size()), buffer.data());
            if (length == 0) {
                throw LastFileError("get current directory", ".");
            }
            if (length < buffer.size()) {
                buffer.resize(length);
                return buffer;
            }
            buffer.resize(length);
        }
    }

    int SetCurrentDirectory(const std::string& path) override {
        return ::SetCurrentDirectoryA(path.c_str()) != 0 ? 0 : SystemError(::GetLastError());
    }
};

} // namespace

bool IsAbsolutePath(const std::string& path) noexcept {
    const bool drive = path.size() >= 3 && path[1] == ':' && (path[2] == '\\' || path[2] == '/');
    const bool share = path.size() >= 2 && (path[0] == '\\' || path[0] == '/') &&
                       (path[1] == '\\' || path[1] == '/');
    return drive || share;
}

FileSystem& SystemFileSystem() {
    static Win32FileSystem fileSystem;
    return fileSystem;
}

} // namespace quaverly::platform
