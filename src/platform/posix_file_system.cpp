#include "platform/file_error.h"
#include "platform/file_system.h"
#include "platform/replacement_file.h"
#include "platform/temporary_files.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <functional>
#include <limits.h>
#include <limits>
#include <optional>
#include <poll.h>
#include <string_view>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace quaverly::platform {

namespace {

FileKind KindOf(mode_t mode) {
    if (S_ISREG(mode)) {
        return FileKind::Regular;
    }
    if (S_ISDIR(mode)) {
        return FileKind::Directory;
    }
    return FileKind::Other;
}

FileStatus StatusOf(const struct stat& info) {
    FileStatus status;
    status.size = info.st_size > 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
    status.kind = KindOf(info.st_mode);
    status.device = static_cast<std::uint64_t>(info.st_dev);
    status.inode = static_cast<std::uint64_t>(info.st_ino);
    // A time that 64 bits of nanoseconds cannot hold (before 1677, after 2262) is held at the
    // end it passed: a name on a share may carry any.
    constexpr std::int64_t kPerSecond = 1'000'000'000;
    constexpr std::int64_t kLimit = std::numeric_limits<std::int64_t>::max() / kPerSecond - 1;
    const auto seconds = std::clamp<std::int64_t>(info.st_mtim.tv_sec, -kLimit, kLimit);
    status.modificationTime = seconds * kPerSecond + info.st_mtim.tv_nsec;
    return status;
}

class PosixInputFile final : public InputFile {
public:
    PosixInputFile(int fd, const struct stat& info, std::string path)
        : m_fd(fd), m_path(std::move(path)), m_size(StatusOf(info).size),
          // Fewer blocks than bytes: the file may have holes. Any other file has none, and
          // asking for its data would cost a call per read for nothing.
          m_mayHaveHoles(static_cast<std::uint64_t>(info.st_blocks) * 512 < m_size) {}
    ~PosixInputFile() override { ::close(m_fd); }
    PosixInputFile(const PosixInputFile&) = delete;
    PosixInputFile& operator=(const PosixInputFile&) = delete;

    std::size_t ReadAt(std::uint64_t offset, unsigned char* buffer, std::size_t count) override {
        std::size_t done = 0;
        while (done < count) {
            const ssize_t got =
                ::pread(m_fd, buffer + done, count - done, static_cast<off_t>(offset + done));
            if (got < 0) {
                if (errno == EINTR) {
                    continue;
                }
                throw FileError::FromErrno(errno, "read", m_path);
            }
            if (got == 0) {
                break;
            }
            done += static_cast<std::size_t>(got);
        }
        return done;
    }

    std::uint64_t Size() const override { return m_size; }

    std::uint64_t DataFrom(std::uint64_t offset) override {
        if (!m_mayHaveHoles) {
            return offset;
        }
        const off_t data = ::lseek(m_fd, static_cast<off_t>(offset), SEEK_DATA);
        if (data >= 0) {
            return static_cast<std::uint64_t>(data);
        }
        // ENXIO: nothing but a hole up to the end. Anything else: no knowledge of holes.
        return errno == ENXIO ? UINT64_MAX : offset;
    }

private:
    int m_fd;
    std::string m_path;
    std::uint64_t m_size;
    bool m_mayHaveHoles;
};

// A file written under a name of its own beside the one it replaces, and renamed over it when
// it is closed whole. Both names are resolved in the folder held open since its creation.
class PosixReplacementSteps final : public ReplacementSteps {
public:
    PosixReplacementSteps(int fd, int folder, std::string temporary, std::string name,
                          std::string path)
        : m_fd(fd), m_folder(folder), m_temporary(std::move(temporary)), m_name(std::move(name)),
          m_path(std::move(path)) {}
    ~PosixReplacementSteps() override {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
        ::close(m_folder);
    }
    PosixReplacementSteps(const PosixReplacementSteps&) = delete;
    PosixReplacementSteps& operator=(const PosixReplacementSteps&) = delete;

    void Write(const char* data, std::size_t size) override {
        if (m_fd < 0) {
            throw FileError(FileErrorCause::Generic, EBADF, "write", m_path);
        }
        while (size > 0) {
            const ssize_t put = ::write(m_fd, data, size);
            if (put < 0) {
                if (errno == EINTR) {
                    continue;
                }
                throw FileError::FromErrno(errno, "write", m_path);
            }
            if (put == 0) {
                throw FileError(FileErrorCause::DiskFull, ENOSPC, "write", m_path);
            }
            data += put;
            size -= static_cast<std::size_t>(put);
            m_written += static_cast<std::uint64_t>(put);
        }
#ifdef __linux__
        // The disk is handed what is written a piece at a time while the listing goes on, so
        // that the sync at its end waits for little more than the last piece. Only a hint: the
        // sync reports any failure.
        if (m_written - m_handedOn >= kHandOnBytes) {
            ::sync_file_range(m_fd, static_cast<off_t>(m_handedOn),
                              static_cast<off_t>(m_written - m_handedOn), SYNC_FILE_RANGE_WRITE);
            m_handedOn = m_written;
        }
#endif
    }

    void Sync() override {
        // EINVAL: a file system that cannot sync, where nothing more can be done.
        if (::fsync(m_fd) != 0 && errno != EINVAL) {
            throw FileError::FromErrno(errno, "sync", m_path);
        }
    }

    // The descriptor holds the lock that tells this live run's file from a leftover (see
    // RemoveLeftovers) until the file has its own name: it is closed after the rename. Once
    // synced, nothing is held back for a close to report.
    void Close() override {}

    void Rename() override {
        if (::renameat(m_folder, m_temporary.c_str(), m_folder, m_name.c_str()) != 0) {
            throw FileError::FromErrno(errno, "rename", m_path);
        }
        m_renamed = true;
        ::close(m_fd);
        m_fd = -1;
    }

    void SyncFolder() override {
        if (::fsync(m_folder) != 0 && errno != EINVAL) {
            throw FileError::FromErrno(errno, "sync the folder of", m_path);
        }
    }

    void Discard() noexcept override {
        if (m_fd >= 0) {
            ::close(m_fd);
            m_fd = -1;
        }
        if (!m_renamed) {
            ::unlinkat(m_folder, m_temporary.c_str(), 0);
        }
    }

private:
    int m_fd;
    int m_folder;
    std::string m_temporary;
    std::string m_name;
    std::string m_path;
    bool m_renamed = false;
    static constexpr std::uint64_t kHandOnBytes = 256 * 1024;
    std::uint64_t m_written = 0;  // bytes written
    std::uint64_t m_handedOn = 0; // of those, the bytes whose writing out has been started
};

// A file of a name of an earlier version, which held no lock, counts as left over only once it
// has not been written for this long: its run may be alive on a machine or in a container whose
// processes this one cannot see.
constexpr time_t kUnlockedLeftoverAge = 24 * 60 * 60;

// How many UTF-16 units `name` takes, each byte that is not UTF-8 taken as one: no more than
// its bytes.
std::size_t Utf16Length(std::string_view name) {
    std::size_t units = 0;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        units += (byte & 0xC0) != 0x80 ? 1 : 0;
        units += byte >= 0xF0 && byte <= 0xF4 ? 1 : 0; // beyond U+FFFF: a surrogate pair
    }
    return units;
}

// Locks a temporary file just created for this run's life; false when another run took it for
// a leftover first, and has it or is removing it.
bool LockedAsOurs(int fd) {
    struct stat info {};
    return ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &info) == 0 && info.st_nlink > 0;
}

// Removes what ended runs left in `folder`: their temporary files, regular files only. A run
// holds a lock on its temporary file from its creation to its rename, so a file that is locked
// belongs to a live run, whatever its name says: one in another process namespace, say.
void RemoveLeftovers(int folder) {
    const int listed = ::dup(folder);
    DIR* dir = listed >= 0 ? ::fdopendir(listed) : nullptr;
    if (dir == nullptr) {
        if (listed >= 0) {
            ::close(listed);
        }
        return;
    }
    const time_t now = ::time(nullptr);
    while (const dirent* item = ::readdir(dir)) {
        const std::optional<TemporaryOwner> owner = OwnerOfTemporaryFile(item->d_name);
        if (!owner || !WriterIsGone(*owner)) {
            continue;
        }
        const int fd = ::openat(folder, item->d_name,
                                O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        struct stat info {};
        struct stat named {};
        // Still the file the name gives, unlocked, and old enough if its run did not lock it.
        if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            (!owner->host.empty() || now - info.st_mtime > kUnlockedLeftoverAge) &&
            ::fstatat(folder, item->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            named.st_dev == info.st_dev && named.st_ino == info.st_ino) {
            ::unlinkat(folder, item->d_name, 0);
        }
        ::close(fd);
    }
    ::closedir(dir);
}

// A scratch file, locked as a run's temporary file is, so that no other run takes it for a
// leftover while it is there.
class PosixScratchFile final : public ScratchFile {
public:
    PosixScratchFile(int folder, int fd, std::string name, std::string path)
        : m_folder(folder), m_fd(fd), m_name(std::move(name)), m_path(std::move(path)) {}
    ~PosixScratchFile() override {
        // Only the file made: a name replaced meanwhile is left as it is.
        struct stat ours {};
        struct stat named {};
        if (::fstat(m_fd, &ours) == 0 &&
            ::fstatat(m_folder, m_name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            ours.st_dev == named.st_dev && ours.st_ino == named.st_ino) {
            ::unlinkat(m_folder, m_name.c_str(), 0);
        }
        ::close(m_fd);
        ::close(m_folder);
    }
    PosixScratchFile(const PosixScratchFile&) = delete;
    PosixScratchFile& operator=(const PosixScratchFile&) = delete;

    const std::string& Path() const override { return m_path; }

    std::unique_ptr<InputFile> OpenForReading() override {
        // The file made, through its own descriptor, whatever became of its name.
        const int fd = ::fcntl(m_fd, F_DUPFD_CLOEXEC, 0);
        struct stat info {};
        if (fd < 0 || ::fstat(fd, &info) != 0) {
            const int error = errno;
            if (fd >= 0) {
                ::close(fd);
            }
            throw FileError::FromErrno(error, "open", m_path);
        }
        return std::make_unique<PosixInputFile>(fd, info, m_path);
    }

private:
    int m_folder;
    int m_fd;
    std::string m_name;
    std::string m_path;
};

unsigned char FoldedByte(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 'a' && byte <= 'z' ? static_cast<unsigned char>(byte - ('a' - 'A')) : byte;
}

bool NameBefore(const DirectoryEntry& left, const DirectoryEntry& right) {
    const std::string& a = left.name;
    const std::string& b = right.name;
    const bool dotsA = a == "." || a == "..";
    const bool dotsB = b == "." || b == "..";
    if (dotsA != dotsB) {
        return dotsA;
    }
    const auto folded =
        std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                     [](char x, char y) { return FoldedByte(x) < FoldedByte(y); });
    if (folded) {
        return true;
    }
    const auto foldedAfter =
        std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end(),
                                     [](char x, char y) { return FoldedByte(x) < FoldedByte(y); });
    if (foldedAfter) {
        return false;
    }
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
    });
}

bool MatchesPattern(const std::string& pattern, const std::string& name) {
    // "*.*" matches names without a dot too, as it always has on the platform it comes from.
    if (pattern == "*" || pattern == "*.*") {
        return true;
    }
    return ::fnmatch(pattern.c_str(), name.c_str(), FNM_PERIOD) == 0;
}

class PosixDirectorySearch final : public DirectorySearch {
public:
    PosixDirectorySearch(std::vector<DirectoryEntry> entries, ErrorCode deferredError)
        : m_entries(std::move(entries)), m_deferredError(deferredError) {}

    bool Next(DirectoryEntry& entry, ErrorCode& error) override {
        if (++m_next < m_entries.size()) {
            entry = std::move(m_entries[m_next]);
            return true;
        }
        error = m_deferredError;
        return false;
    }

private:
    std::vector<DirectoryEntry> m_entries;
    std::size_t m_next = 0;
    // A failure met while reading the folder comes after the entries read before it.
    ErrorCode m_deferredError;
};

class PosixFileSystem final : public FileSystem {
public:
    StatusResult Status(const std::string& path) override {
        struct stat info {};
        if (::stat(path.c_str(), &info) != 0) {
            return {errno, {}};
        }
        return {0, StatusOf(info)};
    }

    std::unique_ptr<InputFile> OpenForReading(const std::string& path) override {
        // Look before opening: opening a FIFO can block and opening a device can act on it.
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
        // Non-blocking, so that a FIFO put in the file's place meanwhile cannot hold us up.
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
        if (fd < 0) {
            throw FileError::FromErrno(errno, "open", path);
        }
        // The name may have been replaced since it was looked at or listed.
        struct stat info {};
        if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
            ::close(fd);
            throw FileError(FileErrorCause::NotRegularFile, 0, "open", path);
        }
        return std::make_unique<PosixInputFile>(fd, info, path);
    }

    std::unique_ptr<OutputFile> CreateReplacement(const std::string& path) override {
        const std::size_t slash = path.rfind('/');
        const std::string folderPath =
            slash == std::string::npos ? "." : path.substr(0, std::max<std::size_t>(slash, 1));
        const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
        if (name.empty() || name == "." || name == "..") {
            throw FileError(FileErrorCause::NotRegularFile, 0, "create", path);
        }
        const int folder = ::open(folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (folder < 0) {
            throw FileError::FromErrno(errno, "create", path);
        }
        // A name the folder cannot hold would fail only at the rename, after the whole walk.
        // Some file systems count the limit in bytes, others (a Windows share) in UTF-16
        // units: a name is refused here when it is too long in both.
        const long longest = ::fpathconf(folder, _PC_NAME_MAX);
        if (longest > 0 && Utf16Length(name) > static_cast<std::size_t>(longest)) {
            ::close(folder);
            throw FileError::FromErrno(ENAMETOOLONG, "create", path);
        }
        // What stands at the name now: a link is looked through only to refuse one that leads
        // to a FIFO, a device or a folder, which nobody means to replace by a page, or to one
        // of this process's descriptors (/dev/stdout and its kind), which is no file's name.
        struct stat there {};
        struct stat target {};
        const bool exists = ::fstatat(folder, name.c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0;
        // A regular file at the name, whose mode and owner the new one keeps; not a link's
        // target, which is not what is replaced, and may be anyone's.
        bool replaced = false;
        if (exists) {
            target = there;
            const bool link = S_ISLNK(there.st_mode);
            std::array<char, 8> text{};
            const bool descriptor =
                link && ::readlinkat(folder, name.c_str(), text.data(), text.size()) >= 6 &&
                std::string_view(text.data(), 6) == "/proc/";
            const bool leads = link && ::fstatat(folder, name.c_str(), &target, 0) == 0;
            if ((!link && !S_ISREG(there.st_mode)) || descriptor ||
                (leads && !S_ISREG(target.st_mode))) {
                ::close(folder);
                throw FileError(FileErrorCause::NotRegularFile, 0, "create", path);
            }
            replaced = !link;
        }
        static std::atomic<unsigned> counter = 0;
        for (;;) {
            const std::string temporary = TemporaryFileName(ThisProcessAsOwner(), counter++);
            // Private until it has the old file's mode: a page the user keeps to himself is
            // never readable by others, not even while it is written.
            const int fd = ::openat(folder, temporary.c_str(),
                                    O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                                    replaced ? 0600 : 0666);
            if (fd >= 0 && !LockedAsOurs(fd)) {
                // A run that took it for a leftover removes it: another name.
                ::close(fd);
                continue;
            }
            if (fd >= 0) {
                if (replaced) {
                    // Only root may give a file away; anyone else keeps his own. A page is no
                    // program: no set-id bits, whatever the old one had.
                    if (::fchown(fd, there.st_uid, there.st_gid) != 0) {
                        [[maybe_unused]] const int group =
                            ::fchown(fd, static_cast<uid_t>(-1), there.st_gid);
                    }
                    [[maybe_unused]] const int mode = ::fchmod(fd, there.st_mode & 0777);
                }
                RemoveLeftovers(folder);
                return MakeReplacementFile(
                    std::make_unique<PosixReplacementSteps>(fd, folder, temporary, name, path));
            }
            if (errno != EEXIST) {
                const int error = errno;
                ::close(folder);
                throw FileError::FromErrno(error, "create", path);
            }
        }
    }

    std::unique_ptr<DirectorySearch> FindFirst(const std::string& searchPath, DirectoryEntry& first,
                                               ErrorCode& error) override {
        const std::size_t slash = searchPath.rfind('/');
        const std::string folder = slash == std::string::npos ? std::string(".")
                                   : slash == 0               ? std::string("/")
                                                              : searchPath.substr(0, slash);
        const std::string pattern =
            slash == std::string::npos ? searchPath : searchPath.substr(slash + 1);
        // The root has no parent, so it lists neither "." nor "..".
        const bool isRoot = folder.find_first_not_of('/') == std::string::npos;

        DIR* dir = ::opendir(folder.c_str());
        if (dir == nullptr) {
            const int failure = errno;
            error = failure == ENOENT ? kErrorPathNotFound : ErrorCodeFromErrno(failure);
            return nullptr;
        }
        std::vector<DirectoryEntry> entries;
        ErrorCode deferred = kErrorNoMoreFiles;
        for (;;) {
            errno = 0;
            const dirent* item = ::readdir(dir);
            if (item == nullptr) {
                if (errno != 0) {
                    deferred = ErrorCodeFromErrno(errno);
                }
                break;
            }
            std::string name = item->d_name;
            const bool dots = name == "." || name == "..";
            if ((dots && isRoot) || !MatchesPattern(pattern, name)) {
                continue;
            }
            bool isDirectory = item->d_type == DT_DIR;
            bool isRegular = item->d_type == DT_REG;
            if (item->d_type == DT_LNK || item->d_type == DT_UNKNOWN) {
                // A link to a folder is walked as a folder; a dangling link is a file.
                struct stat info {};
                const bool known = ::fstatat(::dirfd(dir), item->d_name, &info, 0) == 0;
                isDirectory = known && S_ISDIR(info.st_mode);
                isRegular = known && S_ISREG(info.st_mode);
            }
            entries.push_back({std::move(name), isDirectory, isRegular});
        }
        ::closedir(dir);

        if (entries.empty()) {
            error = deferred == kErrorNoMoreFiles ? kErrorFileNotFound : deferred;
            return nullptr;
        }
        std::sort(entries.begin(), entries.end(), NameBefore);
        first = entries.front();
        error = kErrorSuccess;
        return std::make_unique<PosixDirectorySearch>(std::move(entries), deferred);
    }

    std::string CurrentDirectory() override {
        std::string buffer(PATH_MAX, '\0');
        if (::getcwd(buffer.data(), buffer.size()) == nullptr) {
            throw FileError::FromErrno(errno, "get current directory", ".");
        }
        buffer.resize(std::char_traits<char>::length(buffer.c_str()));
        return buffer;
    }

    int SetCurrentDirectory(const std::string& path) override {
        return ::chdir(path.c_str()) == 0 ? 0 : errno;
    }

    int CreateFolder(const std::string& path) override {
        return ::mkdir(path.c_str(), 0777) == 0 ? 0 : errno;
    }

    std::unique_ptr<ScratchFile> CreateScratchFile() override {
        const char* given = std::getenv("TMPDIR");
        const std::string folderPath = given != nullptr && given[0] == '/' ? given : "/tmp";
        const int folder = ::open(folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (folder < 0) {
            throw FileError::FromErrno(errno, "create a scratch file in", folderPath);
        }
        RemoveLeftovers(folder);
        static std::atomic<unsigned> counter = 0;
        for (;;) {
            const std::string name = TemporaryFileName(ThisProcessAsOwner(), counter++);
            // A new file, never a link or one that was there: the folder is everyone's.
            const int fd = ::openat(folder, name.c_str(),
                                    O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
            if (fd < 0 && errno == EEXIST) {
                continue;
            }
            if (fd < 0) {
                const int error = errno;
                ::close(folder);
                throw FileError::FromErrno(error, "create a scratch file in", folderPath);
            }
            if (!LockedAsOurs(fd)) {
                ::close(fd);
                continue;
            }
            return std::make_unique<PosixScratchFile>(
                folder, fd, name, folderPath + (folderPath.back() == '/' ? "" : "/") + name);
        }
    }
};

// Waits for a reader that does not read in slices, asking between them whether to stop:
// a signal may reach another of the program's threads and never interrupt the write.
class StandardOutput final : public OutputFile {
public:
    explicit StandardOutput(std::function<bool()> stopRequested)
        : m_stopRequested(std::move(stopRequested)) {
        struct stat info {};
        m_waits = m_stopRequested && ::fstat(STDOUT_FILENO, &info) == 0 && !S_ISREG(info.st_mode) &&
                  !S_ISBLK(info.st_mode);
    }

    void Write(const char* data, std::size_t size) override {
        while (size > 0) {
            if (m_waits && !Writable()) {
                throw FileError(FileErrorCause::Cancelled, 0, "write", "standard output");
            }
            // No more than a pipe takes at once once it says it has room, so that the
            // write itself does not wait.
            const std::size_t step = m_waits ? std::min<std::size_t>(size, PIPE_BUF) : size;
            const ssize_t put = ::write(STDOUT_FILENO, data, step);
            if (put < 0) {
                if (errno == EAGAIN) { // made non-blocking by whoever shares it
                    pollfd output{STDOUT_FILENO, POLLOUT, 0};
                    ::poll(&output, 1, kSlice);
                }
                if (errno == EINTR || errno == EAGAIN) {
                    continue;
                }
                throw FileError::FromErrno(errno, "write", "standard output");
            }
            data += put;
            size -= static_cast<std::size_t>(put);
        }
    }
    void Close() override {}

private:
    // Whether the output takes more now, or soon. Once a stop is asked, a reader that
    // still reads takes the rest of what was listed; one that takes nothing for half a
    // second is left.
    bool Writable() {
        using Clock = std::chrono::steady_clock;
        for (;;) {
            pollfd output{STDOUT_FILENO, POLLOUT, 0};
            const int ready = ::poll(&output, 1, kSlice);
            // POLLERR or POLLHUP too: the write says what went wrong.
            if (ready > 0 || (ready < 0 && errno != EINTR)) {
                return true;
            }
            if (!m_stopSeen && m_stopRequested()) {
                m_stopSeen = Clock::now();
            }
            if (m_stopSeen && Clock::now() - *m_stopSeen >= kReaderGrace) {
                return false;
            }
        }
    }

    static constexpr int kSlice = 100; // milliseconds
    static constexpr std::chrono::milliseconds kReaderGrace{500};
    std::function<bool()> m_stopRequested;
    bool m_waits = false;
    std::optional<std::chrono::steady_clock::time_point> m_stopSeen;
};

} // namespace

int FileSystem::CreateFolder(const std::string& /*path*/) {
    return EROFS;
}

std::unique_ptr<ScratchFile> FileSystem::CreateScratchFile() {
    throw FileError::FromErrno(EROFS, "create", "a scratch file");
}

std::string Utf8Path(std::string_view path) {
    return std::string(path);
}

std::string ShownPath(std::string_view path) {
    return std::string(path);
}

bool IsAbsolutePath(const std::string& path) noexcept {
    return !path.empty() && path.front() == '/';
}

std::unique_ptr<OutputFile> StandardOutputFile(std::function<bool()> stopRequested) {
    return std::make_unique<StandardOutput>(std::move(stopRequested));
}

FileSystem& SystemFileSystem() {
    static PosixFileSystem fileSystem;
    return fileSystem;
}

void RaiseOpenFileLimit() noexcept {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

std::size_t OpenFileRoom() noexcept {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
        return SIZE_MAX;
    }
    std::size_t open = 0;
    if (DIR* descriptors = ::opendir("/proc/self/fd")) {
        while (const dirent* entry = ::readdir(descriptors)) {
            open += entry->d_name[0] != '.' ? 1 : 0;
        }
        ::closedir(descriptors);
    }
    const auto allowed = static_cast<std::size_t>(limit.rlim_cur);
    return allowed > open ? allowed - open : 0;
}

} // namespace quaverly::platform
