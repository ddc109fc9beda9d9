#pragma once

#include <ctime>
#include <string>

namespace quaverly::platform {

// Tells a folder that came into being while a folder chooser was open from one that was there
// before. GTK's chooser makes the folder whose name the user typed when there is none, and hands
// it back as chosen, whatever the program asked of it.
class NewFolderWatch {
public:
    // Watches from the system clock's time now.
    NewFolderWatch();
    // Watches from `start`, on the system clock (CLOCK_REALTIME).
    explicit NewFolderWatch(const timespec& start) : m_start(start) {}
    // Watches from `seconds` before now.
    static NewFolderWatch SecondsAgo(time_t seconds);

    // Whether `path` is an empty folder that came into being at or after the start: born then,
    // by its birth time, or changed then, where the file system keeps no birth time.
    bool IsNewEmptyFolder(const std::string& path) const;

private:
    timespec m_start;
};

// Removes an empty folder. Returns 0, or the errno value of the failure.
int RemoveEmptyFolder(const std::string& path);

} // namespace quaverly::platform
