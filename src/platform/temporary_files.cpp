#include "platform/temporary_files.h"

#include <array>
#include <charconv>

namespace quaverly::platform {

namespace {

constexpr std::string_view kPrefix = ".quaverly-";
constexpr std::string_view kSuffix = ".tmp";

std::optional<std::uint64_t> Number(std::string_view digits, int base = 10) {
    std::uint64_t value = 0;
    const std::string_view allowed = base == 10 ? "0123456789" : "0123456789abcdef";
    if (digits.empty() || digits.size() > 20 ||
        digits.find_first_not_of(allowed) != std::string_view::npos) {
        return std::nullopt;
    }
    const auto [end, error] =
        std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
    if (error != std::errc() || end != digits.data() + digits.size()) {
        return std::nullopt;
    }
    return value;
}

} // namespace

std::string HostInFileName(std::string host) {
    for (char& c : host) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_';
        c = plain ? c : '_';
    }
    host = host.substr(0, 64);
    return host.empty() ? "host" : host;
}

std::string TemporaryFileName(const TemporaryOwner& owner, unsigned counter) {
    std::array<char, 24> started{};
    const auto end =
        std::to_chars(started.data(), started.data() + started.size(), owner.started, 16).ptr;
    return std::string(kPrefix) + owner.host + "-" + std::to_string(owner.process) + "-" +
           std::string(started.data(), end) + "-" + std::to_string(counter) + std::string(kSuffix);
}

std::optional<TemporaryOwner> OwnerOfTemporaryFile(std::string_view name) {
    if (!name.starts_with(kPrefix) || !name.ends_with(kSuffix)) {
        return std::nullopt;
    }
    std::string_view middle = name.substr(kPrefix.size());
    middle.remove_suffix(kSuffix.size());
    // From the right: the counter, then the start and the process; the host may hold dashes.
    std::array<std::string_view, 3> numbers;
    std::size_t found = 0;
    while (found < numbers.size()) {
        const std::size_t dash = middle.rfind('-');
        if (dash == std::string_view::npos) {
            break;
        }
        numbers[found++] = middle.substr(dash + 1);
        middle = middle.substr(0, dash);
    }
    TemporaryOwner owner;
    if (found == 1) { // an earlier version's: PROCESS-COUNTER
        const auto process = Number(middle);
        if (!process || !Number(numbers[0])) {
            return std::nullopt;
        }
        owner.process = *process;
        return owner;
    }
    const auto process = found == 3 ? Number(numbers[2]) : std::nullopt;
    const auto started = found == 3 ? Number(numbers[1], 16) : std::nullopt;
    if (!process || !started || !Number(numbers[0]) || middle.empty()) {
        return std::nullopt;
    }
    owner.host = std::string(middle);
    owner.process = *process;
    owner.started = *started;
    return owner;
}

bool WriterIsGone(const TemporaryOwner& owner) {
    if (!owner.host.empty() && owner.host != ThisProcessAsOwner().host) {
        return false;
    }
    return !ProcessIsRunning(owner.process, owner.started);
}

} // namespace quaverly::platform
