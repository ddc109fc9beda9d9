#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#ifdef _WIN32
#include <cstdint>
#else
#include <sys/types.h>
#endif

namespace quaverly::platform {

#ifdef _WIN32
using ProcessId = std::uint32_t;
#else
using ProcessId = pid_t;
#endif

// What a program file's name ends with here: "" on Linux, ".exe" on Windows.
#ifdef _WIN32
inline constexpr const char* kProgramSuffix = ".exe";
#else
inline constexpr const char* kProgramSuffix = "";
#endif

// A helper process of ours that takes requests on its standard input and answers on its
// standard output. It dies with this process: it is killed when this object goes, and the
// system kills it when this process ends, however that happens.
class WorkerProcess {
public:
    // Starts `arguments[0]` with these arguments. Returns null with the reason in `error` when
    // it cannot be started.
    static std::unique_ptr<WorkerProcess> Start(const std::vector<std::string>& arguments,
                                                std::string& error);

    virtual ~WorkerProcess() = default;

    virtual ProcessId Pid() const noexcept = 0;

    // Writes all of `size` bytes; false when the helper is gone, or has not taken them all by
    // `deadline` (a helper that stops reading must not stop the program), or when `stop`, asked
    // while the helper takes nothing, says to stop (on Linux; Windows waits for the deadline).
    // Never raises SIGPIPE.
    virtual bool Send(const void* data, std::size_t size,
                      std::chrono::steady_clock::time_point deadline,
                      const std::function<bool()>& stop) = 0;
    // Reads what is there, at most `size` bytes, without blocking. Returns the count, 0 when
    // the helper closed its end (it ended), or -1 when nothing is there yet.
    virtual long Receive(void* data, std::size_t size) = 0;
    // Kills the helper at once and reaps it.
    virtual void Kill() noexcept = 0;
};

// Waits until one of `workers` has something to receive (an answer or its end), at most
// `limit`. Returns, for each, whether it has.
std::vector<bool> WaitForAnswers(const std::vector<WorkerProcess*>& workers,
                                 std::chrono::milliseconds limit);

// This process, as a helper is told its parent.
ProcessId CurrentProcessId() noexcept;

// Whether `path` names a program that can be started.
bool IsProgramFile(const std::string& path) noexcept;

// The folder that holds this program's executable.
std::string ExecutableFolder();

// The helper's side. Arranges for the helper to end when `parent` ends; false when the parent
// has already gone.
bool DieWithParent(ProcessId parent) noexcept;
// Keeps a crash of the helper, which the program expects and handles, from leaving a core file
// or showing a box.
void QuietCrashes() noexcept;
// Reads exactly `size` bytes of standard input; false at its end.
bool ReadRequest(void* data, std::size_t size);
// Writes all of `size` bytes to standard output; false when nobody reads it any more.
bool WriteAnswer(const void* data, std::size_t size);

} // namespace quaverly::platform
