#include "mpeg/crc16.h"

#include <array>

namespace quaverly::mpeg {

namespace {

constexpr std::size_t kStep = 16;
using Table = std::array<std::array<std::uint16_t, 256>, kStep>;

// A table for each byte of a step of 16, so that the audio is checked 16 bytes at a time: the tag's
// CRC covers every byte of the stream, and a verifying run should go nearly as fast as the disk.
constexpr Table MakeTagTables() {
    Table tables{};
    for (std::uint32_t byte = 0; byte < 256; ++byte) {
        std::uint16_t crc = static_cast<std::uint16_t>(byte);
        for (int bit = 0; bit < 8; ++bit) {
            crc = static_cast<std::uint16_t>((crc & 1) != 0 ? (crc >> 1) ^ 0xA001 : crc >> 1);
        }
        tables[0][byte] = crc;
    }
    for (std::size_t k = 1; k < tables.size(); ++k) {
        for (std::size_t byte = 0; byte < 256; ++byte) {
            const std::uint16_t previous = tables[k - 1][byte];
            tables[k][byte] =
                static_cast<std::uint16_t>((previous >> 8) ^ tables[0][previous & 0xFF]);
        }
    }
    return tables;
}

constexpr Table kTagTables = MakeTagTables();

} // namespace

std::uint16_t TagCrc16(const unsigned char* bytes, std::size_t count, std::uint16_t crc) {
    const auto& t = kTagTables;
    while (count >= kStep) {
        const auto low = static_cast<std::uint16_t>(crc ^ (bytes[0] | (bytes[1] << 8)));
        crc = static_cast<std::uint16_t>(
            t[15][low & 0xFF] ^ t[14][low >> 8] ^ t[13][bytes[2]] ^ t[12][bytes[3]] ^
            t[11][bytes[4]] ^ t[10][bytes[5]] ^ t[9][bytes[6]] ^ t[8][bytes[7]] ^ t[7][bytes[8]] ^
            t[6][bytes[9]] ^ t[5][bytes[10]] ^ t[4][bytes[11]] ^ t[3][bytes[12]] ^ t[2][bytes[13]] ^
            t[1][bytes[14]] ^ t[0][bytes[15]]);
        bytes += kStep;
        count -= kStep;
    }
    while (count-- > 0) {
        crc = static_cast<std::uint16_t>((crc >> 8) ^ t[0][(crc ^ *bytes++) & 0xFF]);
    }
    return crc;
}

std::uint16_t FrameCrc16(const unsigned char* bytes, std::size_t bits, std::uint16_t crc) {
    for (std::size_t i = 0; i < bits; ++i) {
        const bool bit = ((bytes[i / 8] >> (7 - i % 8)) & 1) != 0;
        const bool top = (crc & 0x8000) != 0;
        crc = static_cast<std::uint16_t>(crc << 1);
        if (bit != top) {
            crc ^= 0x8005;
        }
    }
    return crc;
}

} // namespace quaverly::mpeg
