#pragma once

#include <cstddef>

namespace quaverly::platform {

// Opens standard input, output and error on the null device where they are closed, so that no
// file the program opens later takes their place (and gets its error lines). Called first.
void OpenStandardDescriptors() noexcept;

// Whether standard error is a terminal that redraws a line with "\r\033[K". Called once, before
// the first drawing: on Windows it turns the console's escape processing on.
bool StandardErrorIsTerminal() noexcept;

// The width of that terminal in columns, or 0 when it is not known.
std::size_t TerminalColumns() noexcept;

// Calls `handler` when the user interrupts the program (Ctrl+C) or the system asks it to end. The
// handler may run on another thread, or in a signal handler: it may only set a flag.
void OnInterruptRequest(void (*handler)()) noexcept;

} // namespace quaverly::platform
