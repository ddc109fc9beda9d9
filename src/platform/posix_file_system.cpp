#include "platform/file_error.h"
#include "platform/file_system.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
    return status;
}

class PosixInputFile final : public InputFile {
public:
    PosixInputFile(int fd, std::string path) : m_fd(fd), m_path(std::move(path)) {}
    ~PosixInputFile() override { ::close(m_fd); }
    PosixInputFile(const PosixInputFile&) = delete;
    PosixInputFile& operator=(const PosixInputFile&) = delete;

    std::size_t ReadAt(std::uint64_t offset, unsigned char* buffer, std::size_t count) override {
        std::size_t done = 0;
        while (done < count) {
            const ssize_t got = ::pread(m_fd, buffer + done, count - done,
                                        static_cast<off_t>(offset + done));
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

private:
    int m_fd;
    std::string m_path;
};

class PosixOutputFile final : public OutputFile {
public:
    PosixOutputFile(int fd, std::string path) : m_fd(fd), m_path(std::move(path)) {}
    ~PosixOutputFile() override {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    PosixOutputFile(const PosixOutputFile&) = delete;
    PosixOutputFile& operator=(const PosixOutputFile&) = delete;

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
        }
    }

    void Close() override {
        if (m_fd < 0) {
            return;
        }
        const int fd = m_fd;
        m_fd = -1;
        // Linux closes the descriptor even when close() reports an error; never retry it.
        if (::close(fd) != 0 && errno != EINTR) {
            throw FileError::FromErrno(errno, "close", m_path);
        }
    }

private:
    int m_fd;
    std::string m_path;
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
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
        if (fd < 0) {
            throw FileError::FromErrno(errno, "open", path);
        }
        // The name may have been replaced between the look and the open.
        struct stat info {};
        if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
            ::close(fd);
            throw FileError(FileErrorCause::NotRegularFile, 0, "open", path);
        }
        return std::make_unique<PosixInputFile>(fd, path);
    }

    std::unique_ptr<OutputFile> CreateOrTruncate(const std::string& path) override {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd < 0) {
            throw FileError::FromErrno(errno, "create", path);
        }
        return std::make_unique<PosixOutputFile>(fd, path);
    }
};

} // namespace

FileSystem& SystemFileSystem() {
    static PosixFileSystem fileSystem;
    return fileSystem;
}

} // namespace quaverly::platform
