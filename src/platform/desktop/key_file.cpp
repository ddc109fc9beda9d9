#include "platform/desktop/key_file.h"

namespace quaverly::platform::xdg {

namespace {

constexpr std::string_view kBlanks = " \t\r";

std::string_view Trim(std::string_view text) {
    const auto first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
}

} // namespace

std::vector<KeyFileEntry> ParseKeyFile(std::string_view text) {
    std::vector<KeyFileEntry> entries;
    std::string group;
    bool inGroup = false;
    while (!text.empty()) {
        const auto end = text.find('\n');
        const std::string_view line = Trim(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);

        if (line.empty() || line.front() == '#') {
            continue;
        }
        if (line.front() == '[') {
            const auto close = line.find(']');
            if (close != std::string_view::npos) {
                group.assign(line.substr(1, close - 1));
                inGroup = true;
            }
            continue;
        }
        const auto equals = line.find('=');
        if (!inGroup || equals == std::string_view::npos || equals == 0) {
            continue;
        }
        entries.push_back({group, std::string(Trim(line.substr(0, equals))),
                           std::string(Trim(line.substr(equals + 1)))});
    }
    return entries;
}

std::string UnescapeString(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        switch (value[i + 1]) {
        case 's':
            out += ' ';
            break;
        case 'n':
            out += '\n';
            break;
        case 't':
            out += '\t';
            break;
        case 'r':
            out += '\r';
            break;
        case '\\':
            out += '\\';
            break;
        default:
            out += '\\';
            out += value[i + 1];
            break;
        }
        ++i;
    }
    return out;
}

std::vector<std::string> SplitStringList(std::string_view value) {
    std::vector<std::string> items;
    std::string item;
    auto finish = [&] {
        const std::string unescaped = UnescapeString(item);
        const std::string_view trimmed = Trim(unescaped);
        if (!trimmed.empty()) {
            items.emplace_back(trimmed);
        }
        item.clear();
    };
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size()) {
            if (value[i + 1] == ';') {
                item += ';';
            } else {
                // Left for UnescapeString, which sees the pair whole.
                item += value[i];
                item += value[i + 1];
            }
            ++i;
        } else if (value[i] == ';') {
            finish();
        } else {
            item += value[i];
        }
    }
    finish();
    return items;
}

} // namespace quaverly::platform::xdg
