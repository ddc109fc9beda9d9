#include "platform/file_error.h"
#include "platform/file_system.h"
#include "platform/replacement_file.h"
#include "platform/temporary_files.h"

#include <windows.h>
#include <winioctl.h>
// The seam's own name, not the ANSI form's macro.
#undef SetCurrentDirectory

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cwchar>
#include <functional>
#include <limits>
#include <optional>

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

// A name that the ANSI code page cannot spell travels through the program as
// kWideStart, its UTF-8 spelling, kWideEnd and the ANSI rendering, which is what the page and
// the messages show. No file name can hold these two bytes, so nothing else looks like that.
constexpr char kWideStart = '\x01';
constexpr char kWideEnd = '\x02';

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

std::wstring Widen(std::string_view text, UINT codePage) {
    if (text.empty()) {
        return {};
    }
    const int length =
        ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                          length);
    return wide;
}

std::string Narrow(std::wstring_view text, UINT codePage) {
    if (text.empty()) {
        return {};
    }
    const int length = ::WideCharToMultiByte(
        codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(length), '\0');
    ::WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), narrow.data(),
                          length, nullptr, nullptr);
    return narrow;
}

// The path in the system's characters, when it holds a name the ANSI code page cannot spell;
// nothing when the ANSI calls take it as it is.
std::optional<std::wstring> WidePath(const std::string& path) {
    if (path.find(kWideStart) == std::string::npos) {
        return std::nullopt;
    }
    std::wstring wide;
    std::size_t at = 0;
    while (at < path.size()) {
        const std::size_t start = path.find(kWideStart, at);
        wide += Widen(std::string_view(path).substr(at, start - at), CP_ACP);
        if (start == std::string::npos) {
            break;
        }
        const std::size_t end = path.find(kWideEnd, start);
        if (end == std::string::npos) {
            break;
        }
        wide += Widen(std::string_view(path).substr(start + 1, end - start - 1), CP_UTF8);
        // The rendering after it is for people; the name ends at the next separator.
        at = end + 1;
        while (at < path.size() && !IsSeparator(path[at])) {
            ++at;
        }
    }
    return wide;
}

// A found name as the program carries it: the ANSI spelling when that names the same file,
// else the ANSI rendering with the real name before it.
std::string CarriedName(const wchar_t* found) {
    const std::wstring_view name(found);
    std::string ansi = Narrow(name, CP_ACP);
    if (Widen(ansi, CP_ACP) == name) {
        return ansi;
    }
    std::string carried(1, kWideStart);
    carried.append(Narrow(name, CP_UTF8)).append(1, kWideEnd).append(ansi);
    return carried;
}

} // namespace

std::string CarriedPath(std::wstring_view path) {
    std::string carried;
    std::size_t at = 0;
    while (at <= path.size()) {
        const std::size_t separator = path.find_first_of(L"\\/", at);
        const std::wstring name(path.substr(at, separator - at));
        carried += CarriedName(name.c_str());
        if (separator == std::wstring_view::npos) {
            break;
        }
        carried += static_cast<char>(path[separator]);
        at = separator + 1;
    }
    return carried;
}

namespace {

class Win32InputFile final : public InputFile {
public:
    Win32InputFile(HANDLE file, std::uint64_t size, bool sparse, std::string path)
        : m_file(file), m_path(std::move(path)), m_size(size), m_sparse(sparse) {}
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

    std::uint64_t Size() const override { return m_size; }

    std::uint64_t DataFrom(std::uint64_t offset) override {
        if (!m_sparse || offset >= m_size) {
            return offset;
        }
        // The first range of the file from `offset` on that holds data.
        FILE_ALLOCATED_RANGE_BUFFER wanted{};
        wanted.FileOffset.QuadPart = static_cast<LONGLONG>(offset);
        wanted.Length.QuadPart = static_cast<LONGLONG>(m_size - offset);
        FILE_ALLOCATED_RANGE_BUFFER first{};
        DWORD got = 0;
        if (::DeviceIoControl(m_file, FSCTL_QUERY_ALLOCATED_RANGES, &wanted, sizeof wanted, &first,
                              sizeof first, &got, nullptr) == 0 &&
            ::GetLastError() != ERROR_MORE_DATA) {
            return offset; // no knowledge of holes
        }
        if (got < sizeof first) {
            return UINT64_MAX; // nothing but a hole up to the end
        }
        return std::max(offset, static_cast<std::uint64_t>(first.FileOffset.QuadPart));
    }

private:
    HANDLE m_file;
    std::string m_path;
    std::uint64_t m_size;
    bool m_sparse;
};

// A file written under a name of its own beside the one it replaces, and moved over it when it
// is closed whole. Both names are full paths, taken when it was created.
class Win32ReplacementSteps final : public ReplacementSteps {
public:
    Win32ReplacementSteps(HANDLE file, std::wstring temporary, std::wstring target,
                          std::string path)
        : m_file(file), m_temporary(std::move(temporary)), m_target(std::move(target)),
          m_path(std::move(path)) {}
    ~Win32ReplacementSteps() override {
        if (m_file != INVALID_HANDLE_VALUE) {
            ::CloseHandle(m_file);
        }
    }
    Win32ReplacementSteps(const Win32ReplacementSteps&) = delete;
    Win32ReplacementSteps& operator=(const Win32ReplacementSteps&) = delete;

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

    void Sync() override {
        if (::FlushFileBuffers(m_file) == 0) {
            throw LastFileError("sync", m_path);
        }
    }

    void Close() override {
        const HANDLE file = m_file;
        m_file = INVALID_HANDLE_VALUE;
        if (::CloseHandle(file) == 0) {
            throw LastFileError("close", m_path);
        }
    }

    // Write-through: the move is on the disk when it returns, so the folder needs no sync.
    void Rename() override {
        if (::MoveFileExW(m_temporary.c_str(), m_target.c_str(),
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == 0) {
            throw LastFileError("rename", m_path);
        }
        m_renamed = true;
    }
    void SyncFolder() override {}

    void Discard() noexcept override {
        if (m_file != INVALID_HANDLE_VALUE) {
            ::CloseHandle(m_file);
            m_file = INVALID_HANDLE_VALUE;
        }
        if (!m_renamed) {
            ::DeleteFileW(m_temporary.c_str());
        }
    }

private:
    HANDLE m_file;
    std::wstring m_temporary;
    std::wstring m_target;
    std::string m_path;
    bool m_renamed = false;
};

// A full path in the form that no MAX_PATH limits: \\?\C:\... or \\?\UNC\server\share\...
std::wstring Unlimited(const std::wstring& full) {
    if (full.rfind(L"\\\\?\\", 0) == 0 || full.rfind(L"\\\\.\\", 0) == 0) {
        return full;
    }
    if (full.rfind(L"\\\\", 0) == 0) {
        return L"\\\\?\\UNC\\" + full.substr(2);
    }
    return L"\\\\?\\" + full;
}

// Removes what runs that are gone left in `folder` (with its separator): their temporary files.
// A live run holds its file open without sharing, so that it cannot be removed, whatever its
// name says; a file of an earlier version's name counts as left over only once it is a day
// old, as its run may be alive on a machine whose processes this one cannot see.
void RemoveLeftovers(const std::wstring& folder) {
    WIN32_FIND_DATAW found{};
    const HANDLE search = ::FindFirstFileW((folder + L".quaverly-*.tmp").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return;
    }
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    constexpr std::uint64_t kDay = 24ULL * 60 * 60 * 10'000'000; // in 100 ns
    do {
        const std::optional<TemporaryOwner> owner =
            OwnerOfTemporaryFile(Narrow(found.cFileName, CP_UTF8));
        const DWORD notAFile =
            FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE | FILE_ATTRIBUTE_REPARSE_POINT;
        const std::uint64_t written =
            Join(found.ftLastWriteTime.dwHighDateTime, found.ftLastWriteTime.dwLowDateTime);
        const bool old = Join(now.dwHighDateTime, now.dwLowDateTime) - written > kDay;
        if (owner && (found.dwFileAttributes & notAFile) == 0 && (!owner->host.empty() || old) &&
            WriterIsGone(*owner)) {
            ::DeleteFileW((folder + found.cFileName).c_str());
        }
    } while (::FindNextFileW(search, &found) != 0);
    ::FindClose(search);
}

// A scratch file: made new, then closed, so that the library opens it as it likes.
class Win32ScratchFile final : public ScratchFile {
public:
    Win32ScratchFile(std::wstring wide, std::string path)
        : m_wide(std::move(wide)), m_path(std::move(path)) {}
    ~Win32ScratchFile() override { ::DeleteFileW(m_wide.c_str()); }
    Win32ScratchFile(const Win32ScratchFile&) = delete;
    Win32ScratchFile& operator=(const Win32ScratchFile&) = delete;

    const std::string& Path() const override { return m_path; }

    std::unique_ptr<InputFile> OpenForReading() override {
        const HANDLE file = ::CreateFileW(
            m_wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            throw LastFileError("open", m_path);
        }
        LARGE_INTEGER size{};
        if (::GetFileSizeEx(file, &size) == 0) {
            const FileError error = LastFileError("read the size of", m_path);
            ::CloseHandle(file);
            throw error;
        }
        return std::make_unique<Win32InputFile>(file, static_cast<std::uint64_t>(size.QuadPart),
                                                false, m_path);
    }

private:
    std::wstring m_wide;
    std::string m_path;
};

DirectoryEntry EntryOf(const WIN32_FIND_DATAW& found) {
    const DWORD attributes = found.dwFileAttributes;
    return {CarriedName(found.cFileName), (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
            (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0};
}

// The system's own search: its order, its "." and "..", its attributes and its error codes. It
// is asked in the system's characters, so that a name the ANSI code page cannot spell is still
// found and can be opened again; the ANSI search would hand back a spelling that names no file.
class Win32DirectorySearch final : public DirectorySearch {
public:
    explicit Win32DirectorySearch(HANDLE search) : m_search(search) {}
    ~Win32DirectorySearch() override { ::FindClose(m_search); }
    Win32DirectorySearch(const Win32DirectorySearch&) = delete;
    Win32DirectorySearch& operator=(const Win32DirectorySearch&) = delete;

    bool Next(DirectoryEntry& entry, ErrorCode& error) override {
        WIN32_FIND_DATAW found{};
        if (::FindNextFileW(m_search, &found) == 0) {
            error = ::GetLastError();
            return false;
        }
        entry = EntryOf(found);
        return true;
    }

private:
    HANDLE m_search;
};

// A file time (100 ns since 1601-01-01 UTC) as the status gives it, in ns since 1970; one that
// 64 bits of nanoseconds cannot hold (before 1677, after 2262) is held at the end it passed.
std::int64_t UnixNanoseconds(const FILETIME& time) {
    constexpr std::int64_t kFrom1601To1970 = 116'444'736'000'000'000; // in 100 ns
    constexpr std::int64_t kLimit = std::numeric_limits<std::int64_t>::max() / 100;
    constexpr auto kLatest = static_cast<std::uint64_t>(kFrom1601To1970 + kLimit);
    const auto since1601 =
        static_cast<std::int64_t>(std::min(Join(time.dwHighDateTime, time.dwLowDateTime), kLatest));
    return std::max(since1601 - kFrom1601To1970, -kLimit) * 100;
}

// The identity of an open file or folder: its volume and its index there.
bool IdentityOf(const std::string& path, FileStatus& status) {
    // Folders open only with backup semantics; no access right is asked for.
    const DWORD sharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    const std::optional<std::wstring> wide = WidePath(path);
    const HANDLE file = wide ? ::CreateFileW(wide->c_str(), 0, sharing, nullptr, OPEN_EXISTING,
                                             FILE_FLAG_BACKUP_SEMANTICS, nullptr)
                             : ::CreateFileA(path.c_str(), 0, sharing, nullptr, OPEN_EXISTING,
                                             FILE_FLAG_BACKUP_SEMANTICS, nullptr);
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
        const std::optional<std::wstring> wide = WidePath(path);
        const BOOL found = wide
                               ? ::GetFileAttributesExW(wide->c_str(), GetFileExInfoStandard, &data)
                               : ::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data);
        if (found == 0) {
            return {SystemError(::GetLastError()), {}};
        }
        FileStatus status;
        status.modificationTime = UnixNanoseconds(data.ftLastWriteTime);
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
        return OpenListedFile(path);
    }

    std::unique_ptr<InputFile> OpenListedFile(const std::string& path) override {
        // Others may go on reading and writing the file while it is read here.
        const DWORD sharing = FILE_SHARE_READ | FILE_SHARE_WRITE;
        const DWORD flags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN;
        const std::optional<std::wstring> wide = WidePath(path);
        const HANDLE file = wide ? ::CreateFileW(wide->c_str(), GENERIC_READ, sharing, nullptr,
                                                 OPEN_EXISTING, flags, nullptr)
                                 : ::CreateFileA(path.c_str(), GENERIC_READ, sharing, nullptr,
                                                 OPEN_EXISTING, flags, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            throw LastFileError("open", path);
        }
        // A device or pipe behind the name is no file to analyse.
        if (::GetFileType(file) != FILE_TYPE_DISK) {
            ::CloseHandle(file);
            throw FileError(FileErrorCause::NotRegularFile, 0, "open", path);
        }
        // The size, and whether the file may have holes, in one call.
        BY_HANDLE_FILE_INFORMATION info{};
        if (::GetFileInformationByHandle(file, &info) == 0) {
            const FileError error = LastFileError("read the size of", path);
            ::CloseHandle(file);
            throw error;
        }
        const std::uint64_t size =
            (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32U) | info.nFileSizeLow;
        const bool sparse = (info.dwFileAttributes & FILE_ATTRIBUTE_SPARSE_FILE) != 0;
        return std::make_unique<Win32InputFile>(file, size, sparse, path);
    }

    std::unique_ptr<OutputFile> CreateReplacement(const std::string& path) override {
        const std::wstring given = WidePath(path).value_or(Widen(path, CP_ACP));
        const DWORD length = ::GetFullPathNameW(given.c_str(), 0, nullptr, nullptr);
        std::wstring target(length, L'\0');
        if (length == 0 ||
            ::GetFullPathNameW(given.c_str(), length, target.data(), nullptr) >= length) {
            throw LastFileError("create", path);
        }
        target.resize(std::wcslen(target.c_str()));
        const std::size_t separator = target.find_last_of(L"\\/");
        if (separator == std::wstring::npos || separator + 1 == target.size()) {
            throw FileError(FileErrorCause::NotRegularFile, 0, "create", path);
        }
        // A folder or a device at the name is never replaced by a page; a link to a file is.
        const DWORD there = ::GetFileAttributesW(target.c_str());
        if (there != INVALID_FILE_ATTRIBUTES &&
            (there & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0) {
            throw FileError(FileErrorCause::NotRegularFile, 0, "create", path);
        }
        // The temporary name is longer than the page's: its path, and the move, take the form
        // without the MAX_PATH limit, so that a page that fits never fails for it.
        const std::wstring folder = Unlimited(target.substr(0, separator + 1));
        // A name the folder cannot hold, or a path too long, would fail only at the move,
        // after the whole walk. Every file system Windows writes holds names of 255 characters
        // (asking the volume would read the device).
        constexpr std::size_t kLongestName = 255;
        if (target.size() >= MAX_PATH || target.size() - separator - 1 > kLongestName) {
            throw FileError::FromErrno(SystemError(ERROR_FILENAME_EXCED_RANGE), "create", path);
        }
        // The new page keeps the attributes of the old one that say how it is to be shown or
        // kept; read-only is not among them, as the move over a read-only page fails anyway.
        const DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                           FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
        const DWORD attributes = there != INVALID_FILE_ATTRIBUTES && (there & kept) != 0
                                     ? there & kept
                                     : FILE_ATTRIBUTE_NORMAL;
        static std::atomic<unsigned> counter = 0;
        for (;;) {
            // No sharing: nobody reads a listing half written.
            const std::wstring temporary =
                folder + Widen(TemporaryFileName(ThisProcessAsOwner(), counter++), CP_UTF8);
            const HANDLE file = ::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr,
                                              CREATE_NEW, attributes, nullptr);
            if (file != INVALID_HANDLE_VALUE) {
                RemoveLeftovers(folder);
                return MakeReplacementFile(std::make_unique<Win32ReplacementSteps>(
                    file, temporary, Unlimited(target), path));
            }
            if (::GetLastError() != ERROR_FILE_EXISTS) {
                throw LastFileError("create", path);
            }
        }
    }

    std::unique_ptr<DirectorySearch> FindFirst(const std::string& searchPath, DirectoryEntry& first,
                                               ErrorCode& error) override {
        WIN32_FIND_DATAW found{};
        const std::optional<std::wstring> wide = WidePath(searchPath);
        const HANDLE search =
            ::FindFirstFileW(wide ? wide->c_str() : Widen(searchPath, CP_ACP).c_str(), &found);
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
        const std::optional<std::wstring> wide = WidePath(path);
        const BOOL set =
            wide ? ::SetCurrentDirectoryW(wide->c_str()) : ::SetCurrentDirectoryA(path.c_str());
        return set != 0 ? 0 : SystemError(::GetLastError());
    }

    int CreateFolder(const std::string& path) override {
        const std::optional<std::wstring> wide = WidePath(path);
        const BOOL made = wide ? ::CreateDirectoryW(wide->c_str(), nullptr)
                               : ::CreateDirectoryA(path.c_str(), nullptr);
        return made != 0 ? 0 : SystemError(::GetLastError());
    }

    std::unique_ptr<ScratchFile> CreateScratchFile() override {
        std::wstring folder(MAX_PATH + 1, L'\0');
        const DWORD length = ::GetTempPathW(static_cast<DWORD>(folder.size()), folder.data());
        if (length == 0 || length > folder.size()) {
            throw LastFileError("find", "the temporary folder");
        }
        folder.resize(length); // with its separator
        RemoveLeftovers(folder);
        static std::atomic<unsigned> counter = 0;
        for (;;) {
            const std::string name = TemporaryFileName(ThisProcessAsOwner(), counter++);
            const std::wstring wide = folder + Widen(name, CP_UTF8);
            const HANDLE file =
                ::CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_TEMPORARY, nullptr);
            if (file == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_FILE_EXISTS) {
                continue;
            }
            const std::string path = Narrow(wide, CP_UTF8);
            if (file == INVALID_HANDLE_VALUE) {
                throw LastFileError("create a scratch file in", Narrow(folder, CP_UTF8));
            }
            ::CloseHandle(file);
            return std::make_unique<Win32ScratchFile>(wide, path);
        }
    }
};

} // namespace

int FileSystem::CreateFolder(const std::string& /*path*/) {
    return SystemError(ERROR_WRITE_PROTECT);
}

std::unique_ptr<ScratchFile> FileSystem::CreateScratchFile() {
    throw FileError::FromErrno(SystemError(ERROR_WRITE_PROTECT), "create", "a scratch file");
}

std::string Utf8Path(std::string_view path) {
    const std::string carried(path);
    return Narrow(WidePath(carried).value_or(Widen(carried, CP_ACP)), CP_UTF8);
}

std::string ShownPath(std::string_view path) {
    std::string shown;
    shown.reserve(path.size());
    std::size_t at = 0;
    while (at < path.size()) {
        const std::size_t start = path.find(kWideStart, at);
        const std::size_t end =
            start == std::string_view::npos ? start : path.find(kWideEnd, start);
        if (end == std::string_view::npos) {
            shown.append(path.substr(at));
            break;
        }
        shown.append(path.substr(at, start - at));
        at = end + 1;
    }
    return shown;
}

bool IsAbsolutePath(const std::string& path) noexcept {
    const bool drive = path.size() >= 3 && path[1] == ':' && (path[2] == '\\' || path[2] == '/');
    const bool share = path.size() >= 2 && (path[0] == '\\' || path[0] == '/') &&
                       (path[1] == '\\' || path[1] == '/');
    return drive || share;
}

// An anonymous pipe cannot be polled for room: a reader that takes nothing holds the write,
// whatever `stopRequested` says.
std::unique_ptr<OutputFile> StandardOutputFile(std::function<bool()> /*stopRequested*/) {
    class StandardOutput final : public OutputFile {
    public:
        void Write(const char* data, std::size_t size) override {
            const HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
            while (size > 0) {
                const auto wanted = static_cast<DWORD>(std::min<std::size_t>(size, 1U << 30U));
                DWORD put = 0;
                if (::WriteFile(output, data, wanted, &put, nullptr) == 0 || put == 0) {
                    throw LastFileError("write", "standard output");
                }
                data += put;
                size -= put;
            }
        }
        void Close() override {}
    };
    return std::make_unique<StandardOutput>();
}

FileSystem& SystemFileSystem() {
    static Win32FileSystem fileSystem;
    return fileSystem;
}

// Handles have no limit of the kind a Linux process has.
void RaiseOpenFileLimit() noexcept {}

std::size_t OpenFileRoom() noexcept {
    return SIZE_MAX;
}

} // namespace quaverly::platform
