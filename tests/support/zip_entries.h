#pragma once

// The entries of a zip archive, inflated, by name: enough to look into a workbook. Throws
// std::runtime_error on an archive it cannot read.

#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>

namespace quaverly::testing {

inline std::map<std::string, std::string> ZipEntries(std::string_view zip) {
    const auto number = [&](std::size_t at, int bytes) {
        if (at + static_cast<std::size_t>(bytes) > zip.size()) {
            throw std::runtime_error("zip: cut short");
        }
        std::uint64_t value = 0;
        for (int i = bytes - 1; i >= 0; --i) {
            value = value << 8U | static_cast<unsigned char>(zip[at + static_cast<std::size_t>(i)]);
        }
        return static_cast<std::size_t>(value);
    };
    const std::size_t end = zip.rfind(std::string_view("PK\5\6", 4));
    if (end == std::string_view::npos) {
        throw std::runtime_error("zip: no end of central directory");
    }
    std::map<std::string, std::string> entries;
    std::size_t at = number(end + 16, 4);
    for (std::size_t count = number(end + 10, 2); count > 0; --count) {
        if (number(at, 4) != 0x02014b50) {
            throw std::runtime_error("zip: bad central directory");
        }
        const std::size_t method = number(at + 10, 2);
        const std::size_t packed = number(at + 20, 4);
        const std::size_t size = number(at + 24, 4);
        const std::size_t nameLength = number(at + 28, 2);
        const std::size_t local = number(at + 42, 4);
        std::string name(zip.substr(at + 46, nameLength));
        at += 46 + nameLength + number(at + 30, 2) + number(at + 32, 2);
        const std::size_t data = local + 30 + number(local + 26, 2) + number(local + 28, 2);
        std::string& out = entries[name];
        out.resize(size);
        if (method == 0) {
            out.assign(zip.substr(data, packed));
            continue;
        }
        z_stream stream{};
        inflateInit2(&stream, -MAX_WBITS);
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zip.data() + data));
        stream.avail_in = static_cast<uInt>(packed);
        stream.next_out = reinterpret_cast<Bytef*>(out.data());
        stream.avail_out = static_cast<uInt>(size);
        const int result = inflate(&stream, Z_FINISH);
        inflateEnd(&stream);
        if (result != Z_STREAM_END || stream.total_out != size) {
            throw std::runtime_error("zip: " + name + " does not inflate");
        }
    }
    return entries;
}

// How many times `part` stands in `text`.
inline std::size_t Occurrences(std::string_view text, std::string_view part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string_view::npos;
         at = text.find(part, at + part.size())) {
        ++count;
    }
    return count;
}

} // namespace quaverly::testing
