#include "platform/temporary_files.h"

#include <cerrno>
#include <charconv>
#include <csignal>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace quaverly::platform {

namespace {

// When a process started, in clock ticks since the machine started: the 22nd field of its
// /proc stat, counted from the end of its name, which may hold spaces and parentheses.
std::optional<std::uint64_t> StartOf(const std::string& process) {
    std::ifstream stat("/proc/" + process + "/stat");
    std::string text;
    if (!std::getline(stat, text)) {
        return std::nullopt;
    }
    const std::size_t nameEnd = text.rfind(')');
    if (nameEnd == std::string::npos) {
        return std::nullopt;
    }
    std::istringstream fields(text.substr(nameEnd + 1));
    std::string field;
    for (int i = 3; i <= 22 && fields >> field; ++i) {
        std::uint64_t value = 0;
        if (i == 22 &&
            std::from_chars(field.data(), field.data() + field.size(), value).ec == std::errc()) {
            return value;
        }
    }
    return std::nullopt;
}

} // namespace

const TemporaryOwner& ThisProcessAsOwner() {
    static const TemporaryOwner owner = [] {
        char host[256] = {};
        return TemporaryOwner{
            HostInFileName(::gethostname(host, sizeof host - 1) == 0 ? host : ""),
            static_cast<std::uint64_t>(::getpid()), StartOf("self").value_or(0)};
    }();
    return owner;
}

bool ProcessIsRunning(std::uint64_t process, std::uint64_t started) {
    const auto pid = static_cast<pid_t>(process);
    if (process == 0 || static_cast<std::uint64_t>(pid) != process || pid < 0) {
        return false;
    }
    if (::kill(pid, 0) != 0 && errno == ESRCH) {
        return false;
    }
    if (started == 0) {
        return true;
    }
    const std::optional<std::uint64_t> now = StartOf(std::to_string(process));
    // Gone between the two looks, or the number now belongs to a process started later.
    return now ? *now == started : ::kill(pid, 0) == 0 || errno != ESRCH;
}

} // namespace quaverly::platform
