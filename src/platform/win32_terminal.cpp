#include "platform/terminal.h"

#include <windows.h>

namespace quaverly::platform {

namespace {

void (*g_interruptHandler)() = nullptr;

BOOL WINAPI OnConsoleEvent(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
        g_interruptHandler();
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

ClosedStandardDescriptors OpenStandardDescriptors() noexcept {
    // The C runtime gives a program started without standard handles descriptors that lead
    // nowhere; a file opened later never takes their numbers.
    const auto closed = [](DWORD which) {
        const HANDLE handle = ::GetStdHandle(which);
        return handle == nullptr || handle == INVALID_HANDLE_VALUE;
    };
    return {closed(STD_INPUT_HANDLE), closed(STD_OUTPUT_HANDLE), closed(STD_ERROR_HANDLE)};
}

// A write to a pipe nobody reads fails with ERROR_NO_DATA here; no signal ends the program.
void IgnoreBrokenPipes() noexcept {}

void EndAsWriterToAClosedPipe() noexcept {}

bool StandardErrorIsTerminal() noexcept {
    const HANDLE error = ::GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (error == nullptr || error == INVALID_HANDLE_VALUE || ::GetConsoleMode(error, &mode) == 0) {
        return false;
    }
    // A console that cannot take the escapes gets no progress line rather than garbage.
    return ::SetConsoleMode(error, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

std::size_t TerminalColumns() noexcept {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (::GetConsoleScreenBufferInfo(::GetStdHandle(STD_ERROR_HANDLE), &info) == 0) {
        return 0;
    }
    return static_cast<std::size_t>(info.srWindow.Right - info.srWindow.Left + 1);
}

void OnInterruptRequest(void (*handler)()) noexcept {
    g_interruptHandler = handler;
    ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

} // namespace quaverly::platform
