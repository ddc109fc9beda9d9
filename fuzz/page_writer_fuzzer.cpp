// The page writer over arbitrary file and folder names: the escaping, and the buffering behind
// it. Unescaping the page must give back exactly the fragments and names that went in, and the
// only < > " left on the page must be the fragments' own.
//
// Input layout: byte 0 sets how full the buffer is before the names (high bit clear: empty;
// set: 64 KiB less the low seven bits, so that the names run over a flush); the rest is names
// separated by NUL bytes, which no name on disk can hold.

#include "fuzz_check.h"
#include "listing/html_format.h"
#include "listing/page_writer.h"
#include "support/memory_file_system.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace {

using quaverly::listing::PageWriter;

// The fragments a name stands between on a page, by turns.
constexpr std::array<std::pair<std::string_view, std::string_view>, 3> kSettings{{
    {quaverly::listing::kHeadingStart, quaverly::listing::kHeadingEnd},
    {quaverly::listing::kFolderRowStart, quaverly::listing::kFolderRowEnd},
    {quaverly::listing::kShadedFileRowStart, "</td><td> 128"},
}};

// The page's text with the four entities turned back into their characters. Any other '&'
// fails the check: no fragment has one, and every '&' of a name is escaped.
std::string Unescape(std::string_view page) {
    static constexpr std::array<std::pair<std::string_view, char>, 4> kEntities{{
        {"&amp;", '&'},
        {"&lt;", '<'},
        {"&gt;", '>'},
        {"&quot;", '"'},
    }};
    std::string text;
    text.reserve(page.size());
    for (std::size_t i = 0; i < page.size();) {
        const std::size_t amp = std::min(page.find('&', i), page.size());
        text.append(page.substr(i, amp - i));
        i = amp;
        if (i == page.size()) {
            break;
        }
        bool known = false;
        for (const auto& [entity, character] : kEntities) {
            if (page.substr(i, entity.size()) == entity) {
                text += character;
                i += entity.size();
                known = true;
                break;
            }
        }
        FUZZ_CHECK(known);
    }
    return text;
}

// By memchr rather than a loop over the bytes, whose every comparison the fuzzer would trace.
std::size_t CountMarkup(std::string_view text) {
    std::size_t count = 0;
    for (const char markup : {'<', '>', '"'}) {
        for (std::size_t at = text.find(markup); at != std::string_view::npos;
             at = text.find(markup, at + 1)) {
            ++count;
        }
    }
    return count;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    static const std::string filler(64 * 1024, ' ');

    std::string page;
    auto output = std::make_unique<quaverly::testing::MemoryOutputFile>(page);
    const auto* file = output.get();
    PageWriter writer(std::move(output));

    std::string written; // everything handed to the writer, names unescaped
    std::size_t fragmentMarkup = 0;
    auto writeFragment = [&](std::string_view fragment) {
        writer.Write(fragment);
        written += fragment;
        fragmentMarkup += CountMarkup(fragment);
    };
    if ((data[0] & 0x80) != 0) {
        writeFragment(std::string_view(filler).substr(data[0] & 0x7F));
    }

    const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
    std::size_t turn = 0;
    for (std::size_t start = 0; start <= input.size(); ++turn) {
        const std::size_t end = std::min(input.find('\0', start), input.size());
        const std::string_view name = input.substr(start, end - start);
        start = end + 1;

        const auto& [before, after] = kSettings[turn % kSettings.size()];
        writeFragment(before);
        writer.WriteEscaped(name);
        written += name;
        writeFragment(after);

        // The same text escaped on its own: every character kept but the four, each of
        // those replaced, nothing added.
        std::string escaped;
        quaverly::listing::AppendEscaped(escaped, name);
        FUZZ_CHECK(CountMarkup(escaped) == 0);
        FUZZ_CHECK(Unescape(escaped) == name);
    }
    writer.Close();
    FUZZ_CHECK(file->closed);
    FUZZ_CHECK(!writer.Failed());

    FUZZ_CHECK(CountMarkup(page) == fragmentMarkup);
    FUZZ_CHECK(Unescape(page) == written);
    return 0;
}
