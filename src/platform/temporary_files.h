#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quaverly::platform {

// Who writes one of the program's temporary files (a page before it replaces the old one): the
// machine, the process, and when that process started, so that a later process given the same
// number is not taken for it. The name says all three, so that a run can remove what runs that
// are gone left behind (killed, or stopped by a crash), and leave the files of runs still
// writing, on this machine or on another that shares the folder.
struct TemporaryOwner {
    // Empty for the names of earlier versions, which said the process alone.
    std::string host;
    std::uint64_t process = 0;
    // In the system's own unit, 0 when not known.
    std::uint64_t started = 0;
};

// ".quaverly-HOST-PROCESS-STARTED-COUNTER.tmp", the start in hexadecimal.
std::string TemporaryFileName(const TemporaryOwner& owner, unsigned counter);

// The owner that `name` says, when it is the name of one of the program's temporary files, of
// this version or an earlier one (".quaverly-PROCESS-COUNTER.tmp").
std::optional<TemporaryOwner> OwnerOfTemporaryFile(std::string_view name);

// A host name as it may stand in such a name: letters, digits, '-', '.' and '_' only, the rest
// '_', at most 64 bytes, "host" for none.
std::string HostInFileName(std::string host);

// This process, as owner of the temporary files it writes. Per platform.
const TemporaryOwner& ThisProcessAsOwner();

// Whether a process of that number runs, started at `started` (when not 0). A process that
// cannot be looked at counts as running. Per platform.
bool ProcessIsRunning(std::uint64_t process, std::uint64_t started);

// Whether the run that wrote a temporary file of `owner` is gone: the file is from this machine
// (or from an earlier version, which did not say), and its process no longer runs.
bool WriterIsGone(const TemporaryOwner& owner);

} // namespace quaverly::platform
