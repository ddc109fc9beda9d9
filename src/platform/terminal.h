#pragma once

#include <cstddef>

namespace quaverly::platform {

// Which of standard input, output and error the program was started without.
struct ClosedStandardDescriptors {
    bool input = false;
    bool output = false;
    bool error = false;
};

// Opens standard input, output and error on the null device where they are closed, so that no
// file the program opens later takes their place (and gets its error lines), and says which
// were closed: a listing asked for on a closed standard output must not vanish into the null
// device. Called first.
ClosedStandardDescriptors OpenStandardDescriptors() noexcept;

// Makes a write to a pipe that nobody reads any more fail (EPIPE) instead of ending the
// program, so that a closed error pipe costs an error line, not the run. Helpers started later
// get the signal's default back.
void IgnoreBrokenPipes() noexcept;

// Ends the program as a pipeline's writer ends once its reader has closed on purpose (`| head`):
// on Linux by SIGPIPE, which shells do not report. Returns where the system has no such
// convention (Windows).
void EndAsWriterToAClosedPipe() noexcept;

// Whether standard error is a terminal that redraws a line with "\r\033[K". Called once, before
// the first drawing: on Windows it turns the console's escape processing on.
bool StandardErrorIsTerminal() noexcept;

// The width of that terminal in columns, or 0 when it is not known.
std::size_t TerminalColumns() noexcept;

// Calls `handler` when the user interrupts the program (Ctrl+C) or the system asks it to end. The
// handler may run on another thread, or in a signal handler: it may only set a flag.
void OnInterruptRequest(void (*handler)()) noexcept;

} // namespace quaverly::platform
