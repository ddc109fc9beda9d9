#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

namespace quaverly::platform {

// A helper process of ours that takes requests on its standard input and answers on its
// standard output. It dies with this process: it is killed when this object goes, and the
// helper itself asks the kernel to kill it when its parent ends, however that happens.
class WorkerProcess {
public:
    // Starts `arguments[0]` with these arguments. Returns null with the errno value in `error`
    // when it cannot be started.
    static std::unique_ptr<WorkerProcess> Start(const std::vector<std::string>& arguments,
                                                int& error);

    ~WorkerProcess();
    WorkerProcess(const WorkerProcess&) = delete;
    WorkerProcess& operator=(const WorkerProcess&) = delete;

    pid_t Pid() const noexcept { return m_pid; }
    // The end to poll for answers.
    int AnswerDescriptor() const noexcept { return m_answers; }

    // Writes all of `size` bytes; false when the helper is gone. Never raises SIGPIPE.
    bool Send(const void* data, std::size_t size);
    // Reads what is there, at most `size` bytes, without blocking. Returns the count, 0 when
    // the helper closed its end (it ended), or -1 when nothing is there yet.
    long Receive(void* data, std::size_t size);
    // Kills the helper at once and reaps it.
    void Kill() noexcept;

private:
    WorkerProcess(pid_t pid, int requests, int answers)
        : m_pid(pid), m_requests(requests), m_answers(answers) {}

    pid_t m_pid;
    int m_requests;
    int m_answers;
};

// Asks the kernel to kill this process when its parent ends; false when the parent has already
// gone (or is not `parent`). Called first thing by a helper.
bool DieWithParent(pid_t parent) noexcept;

// The folder that holds this program's executable.
std::string ExecutableFolder();

} // namespace quaverly::platform
