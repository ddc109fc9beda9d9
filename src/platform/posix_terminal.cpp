#include "platform/terminal.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace quaverly::platform {

namespace {

void (*g_interruptHandler)() = nullptr;

void OnSignal(int) {
    g_interruptHandler();
}

} // namespace

ClosedStandardDescriptors OpenStandardDescriptors() noexcept {
    ClosedStandardDescriptors closed;
    bool* const flags[] = {&closed.input, &closed.output, &closed.error};
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
            *flags[fd] = true;
            // The lowest free descriptor: this one, as the ones below are open.
            if (::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY) != fd) {
                break;
            }
        }
    }
    return closed;
}

void IgnoreBrokenPipes() noexcept {
    std::signal(SIGPIPE, SIG_IGN);
}

void EndAsWriterToAClosedPipe() noexcept {
    std::signal(SIGPIPE, SIG_DFL);
    std::raise(SIGPIPE);
    ::_exit(128 + SIGPIPE); // not reached: the signal is not blocked
}

bool StandardErrorIsTerminal() noexcept {
    return ::isatty(STDERR_FILENO) == 1;
}

std::size_t TerminalColumns() noexcept {
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0) {
        return size.ws_col;
    }
    return 0;
}

void OnInterruptRequest(void (*handler)()) noexcept {
    g_interruptHandler = handler;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

} // namespace quaverly::platform
