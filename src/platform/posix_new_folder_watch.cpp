#include "platform/new_folder_watch.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quaverly::platform {

namespace {

bool AtOrAfter(const statx_timestamp& stamp, const timespec& start) {
    if (stamp.tv_sec != start.tv_sec) {
        return stamp.tv_sec > start.tv_sec;
    }
    return static_cast<long>(stamp.tv_nsec) >= start.tv_nsec;
}

bool HasNoEntries(const std::string& path) {
    DIR* folder = ::opendir(path.c_str());
    if (folder == nullptr) {
        return false;
    }
    bool empty = true;
    while (const dirent* entry = ::readdir(folder)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
            empty = false;
            break;
        }
    }
    ::closedir(folder);
    return empty;
}

} // namespace

NewFolderWatch::NewFolderWatch() : m_start{} {
    ::clock_gettime(CLOCK_REALTIME, &m_start);
}

NewFolderWatch NewFolderWatch::SecondsAgo(time_t seconds) {
    NewFolderWatch watch;
    watch.m_start.tv_sec -= seconds;
    return watch;
}

bool NewFolderWatch::IsNewEmptyFolder(const std::string& path) const {
    struct statx info {};
    if (::statx(AT_FDCWD, path.c_str(), 0, STATX_TYPE | STATX_CTIME | STATX_BTIME, &info) != 0 ||
        !S_ISDIR(info.stx_mode)) {
        return false;
    }
    // A folder that was there before and lost its last entry meanwhile has a new change time
    // too; only a file system without birth times leaves that doubt.
    const statx_timestamp& since =
        (info.stx_mask & STATX_BTIME) != 0 ? info.stx_btime : info.stx_ctime;
    return AtOrAfter(since, m_start) && HasNoEntries(path);
}

int RemoveEmptyFolder(const std::string& path) {
    return ::rmdir(path.c_str()) == 0 ? 0 : errno;
}

} // namespace quaverly::platform
