#include "platform/desktop/command_line.h"

namespace quaverly::platform::xdg {

namespace {

bool IsSeparator(char c) {
    return c == ' ' || c == '\t' || c == '\n';
}

bool EscapableInQuotes(char c) {
    return c == '$' || c == '`' || c == '"' || c == '\\' || c == '\n';
}

} // namespace

std::vector<std::string> SplitCommandLine(std::string_view line) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false; // a quoted empty string is a word too
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c == '"') {
                quoted = false;
            } else if (c == '\\' && i + 1 < line.size() && EscapableInQuotes(line[i + 1])) {
                if (line[++i] != '\n') {
                    word += line[i];
                }
            } else {
                word += c;
            }
        } else if (IsSeparator(c)) {
            if (inWord) {
                words.push_back(std::move(word));
                word.clear();
                inWord = false;
            }
        } else if (c == '"') {
            quoted = true;
            inWord = true;
        } else if (c == '\\' && i + 1 < line.size()) {
            if (line[++i] != '\n') {
                word += line[i];
                inWord = true;
            }
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) {
        words.push_back(std::move(word));
    }
    return words;
}

} // namespace quaverly::platform::xdg
