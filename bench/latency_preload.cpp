// A network share's wait, put in front of a program's calls about files: loaded with
// LD_PRELOAD, every open, status query, folder opening and read of a file waits
// QUAVERLY_LATENCY_US microseconds (default 2000: 1 ms each way) before it is made, as a call
// to a server does. Pipes, terminals and the files under /proc, /sys and /dev do not wait, so a
// program's helpers and its output are not slowed. bench/compare runs builds and floors under it.

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

constexpr int kMaxDescriptors = 65536;
std::atomic<bool> remote[kMaxDescriptors]; // descriptors of files and folders that wait

void Wait() {
    static const long micros = [] {
        const char* text = std::getenv("QUAVERLY_LATENCY_US");
        return text != nullptr ? std::atol(text) : 2000L;
    }();
    timespec delay{micros / 1'000'000, (micros % 1'000'000) * 1000};
    while (::nanosleep(&delay, &delay) != 0) {
    }
}

bool Remote(const char* path) {
    return path != nullptr && std::strncmp(path, "/proc", 5) != 0 &&
           std::strncmp(path, "/sys", 4) != 0 && std::strncmp(path, "/dev", 4) != 0;
}

bool Waits(int fd) {
    return fd >= 0 && fd < kMaxDescriptors && remote[fd].load(std::memory_order_relaxed);
}

template <typename Function>
Function Real(const char* name) {
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

int Mark(int fd) {
    if (fd >= 0 && fd < kMaxDescriptors) {
        static const auto real = Real<int (*)(int, struct stat*)>("fstat");
        struct stat status {};
        remote[fd] = real(fd, &status) == 0 && (S_ISREG(status.st_mode) || S_ISDIR(status.st_mode));
    }
    return fd;
}

int OpenAt(int dirfd, const char* path, int flags, mode_t mode) {
    static const auto real = Real<int (*)(int, const char*, int, ...)>("openat");
    if (!Remote(path)) {
        return real(dirfd, path, flags, mode);
    }
    Wait();
    return Mark(real(dirfd, path, flags, mode));
}

mode_t ModeOf(int flags, va_list arguments) {
    return (flags & (O_CREAT | O_TMPFILE)) != 0 ? va_arg(arguments, mode_t) : 0;
}

} // namespace

extern "C" {

int open(const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = ModeOf(flags, arguments);
    va_end(arguments);
    return OpenAt(AT_FDCWD, path, flags, mode);
}

int openat(int dirfd, const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = ModeOf(flags, arguments);
    va_end(arguments);
    return OpenAt(dirfd, path, flags, mode);
}

// The same functions under their large-file names (one type on 64-bit systems).
int open64(const char* path, int flags, ...) __attribute__((alias("open")));
int openat64(int dirfd, const char* path, int flags, ...) __attribute__((alias("openat")));

int close(int fd) {
    static const auto real = Real<int (*)(int)>("close");
    if (fd >= 0 && fd < kMaxDescriptors) {
        remote[fd] = false;
    }
    return real(fd);
}

ssize_t read(int fd, void* buffer, size_t count) {
    static const auto real = Real<ssize_t (*)(int, void*, size_t)>("read");
    if (Waits(fd)) {
        Wait();
    }
    return real(fd, buffer, count);
}

ssize_t pread(int fd, void* buffer, size_t count, off_t offset) {
    static const auto real = Real<ssize_t (*)(int, void*, size_t, off_t)>("pread");
    if (Waits(fd)) {
        Wait();
    }
    return real(fd, buffer, count, offset);
}

ssize_t pread64(int fd, void* buffer, size_t count, off64_t offset) {
    static const auto real = Real<ssize_t (*)(int, void*, size_t, off64_t)>("pread64");
    if (Waits(fd)) {
        Wait();
    }
    return real(fd, buffer, count, offset);
}

int fstat(int fd, struct stat* status) {
    static const auto real = Real<int (*)(int, struct stat*)>("fstat");
    if (Waits(fd)) {
        Wait();
    }
    return real(fd, status);
}

int fstat64(int fd, struct stat64* status) {
    static const auto real = Real<int (*)(int, struct stat64*)>("fstat64");
    if (Waits(fd)) {
        Wait();
    }
    return real(fd, status);
}

int fstatat(int dirfd, const char* path, struct stat* status, int flags) {
    static const auto real = Real<int (*)(int, const char*, struct stat*, int)>("fstatat");
    if (Remote(path) && (path[0] != '\0' || Waits(dirfd))) {
        Wait();
    }
    return real(dirfd, path, status, flags);
}

int fstatat64(int dirfd, const char* path, struct stat64* status, int flags) {
    static const auto real = Real<int (*)(int, const char*, struct stat64*, int)>("fstatat64");
    if (Remote(path) && (path[0] != '\0' || Waits(dirfd))) {
        Wait();
    }
    return real(dirfd, path, status, flags);
}

int stat(const char* path, struct stat* status) {
    return fstatat(AT_FDCWD, path, status, 0);
}

int stat64(const char* path, struct stat64* status) {
    return fstatat64(AT_FDCWD, path, status, 0);
}

int lstat(const char* path, struct stat* status) {
    return fstatat(AT_FDCWD, path, status, AT_SYMLINK_NOFOLLOW);
}

int lstat64(const char* path, struct stat64* status) {
    return fstatat64(AT_FDCWD, path, status, AT_SYMLINK_NOFOLLOW);
}

DIR* opendir(const char* path) {
    static const auto real = Real<DIR* (*)(const char*)>("opendir");
    if (Remote(path)) {
        Wait();
    }
    return real(path);
}

DIR* fdopendir(int fd) {
    static const auto real = Real<DIR* (*)(int)>("fdopendir");
    if (Waits(fd)) {
        Wait();
    }
    return real(fd);
}

} // extern "C"
