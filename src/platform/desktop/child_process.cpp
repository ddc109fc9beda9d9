#include "platform/desktop/child_process.h"

#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>

#include <cerrno>
#include <system_error>
#include <thread>

extern char** environ;

namespace quaverly::platform {

namespace {

// Each child gets a detached thread that waits for that one pid. This never blocks the caller,
// never takes another part of the process's children (as waitpid(-1) or a SIGCHLD handler
// would), and costs a sleeping thread only while the program runs, which for a browser
// launched from a dialog is one thread at a time.
void ReapWhenDone(pid_t pid) {
    try {
        std::thread([pid] {
            while (waitpid(pid, nullptr, 0) == -1 && errno == EINTR) {
            }
        }).detach();
    } catch (const std::system_error&) {
        // No thread to spare: the child stays a zombie until this process ends, which is
        // better than blocking the dialog on it.
        waitpid(pid, nullptr, WNOHANG);
    }
}

} // namespace

int SpawnDetached(const std::vector<std::string>& arguments) {
    if (arguments.empty()) {
        return ENOENT;
    }
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 1);
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);

    pid_t pid = 0;
    // glibc's posix_spawnp reports a failed exec as its result, so a missing or unusable
    // program is known here, before the call returns.
    const int error = posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ);
    if (error != 0) {
        return error;
    }
    ReapWhenDone(pid);
    return 0;
}

} // namespace quaverly::platform
