#include "platform/desktop/user_dirs.h"

#include <algorithm>

namespace quaverly::platform::xdg {

namespace {

constexpr std::string_view kBlanks = " \t";
constexpr std::string_view kHome = "$HOME";

void SkipBlanks(std::string_view& text) {
    text.remove_prefix(std::min(text.size(), text.find_first_not_of(kBlanks)));
}

bool Take(std::string_view& text, std::string_view word) {
    if (!text.starts_with(word)) {
        return false;
    }
    text.remove_prefix(word.size());
    return true;
}

// One line's value for `key`, or nothing when the line is not one that gives it.
std::optional<std::string> ValueOf(std::string_view line, std::string_view key,
                                   std::string_view home) {
    SkipBlanks(line);
    if (!Take(line, key)) {
        return std::nullopt;
    }
    SkipBlanks(line);
    if (!Take(line, "=")) {
        return std::nullopt;
    }
    SkipBlanks(line);
    if (!Take(line, "\"")) {
        return std::nullopt;
    }
    std::string value;
    if (Take(line, kHome)) {
        // "$HOMEX" is no home; "$HOME" alone, or "$HOME/", is the home itself, as a folder
        // turned off is written.
        if (!line.starts_with('/') && !line.starts_with('"')) {
            return std::nullopt;
        }
        value = home;
    } else if (!line.starts_with('/')) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < line.size() && line[i] != '"'; ++i) {
        if (line[i] == '\\' && i + 1 < line.size()) {
            ++i;
        }
        value.push_back(line[i]);
    }
    while (value.size() > 1 && value.back() == '/') {
        value.pop_back();
    }
    return value;
}

} // namespace

std::optional<std::string> UserDir(std::string_view text, std::string_view key,
                                   std::string_view home) {
    std::optional<std::string> found;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        if (auto value = ValueOf(line, key, home)) {
            found = std::move(value);
        }
    }
    return found;
}

} // namespace quaverly::platform::xdg
