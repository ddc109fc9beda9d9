// Stops an ext4 file system as a crash would: its journal made durable, the data it holds in
// memory lost. `shut_down_file_system MOUNT_POINT`; needs root.

#include <cstdio>
#include <fcntl.h>
#include <linux/types.h>
#include <sys/ioctl.h>
#include <unistd.h>

// From the kernel's fs/ext4/ext4.h, which no installed header carries.
#define EXT4_IOC_SHUTDOWN _IOR('X', 125, __u32)
constexpr __u32 kFlushTheJournalOnly = 1; // EXT4_GOING_FLAGS_LOGFLUSH

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: shut_down_file_system MOUNT_POINT\n", stderr);
        return 2;
    }
    const int folder = ::open(argv[1], O_RDONLY | O_DIRECTORY);
    __u32 how = kFlushTheJournalOnly;
    if (folder < 0 || ::ioctl(folder, EXT4_IOC_SHUTDOWN, &how) != 0) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
