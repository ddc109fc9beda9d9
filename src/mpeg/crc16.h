#pragma once

#include <cstddef>
#include <cstdint>

namespace quaverly::mpeg {

// The two CRC-16s of an MP3 file.
//
// The encoder's tag checks itself and the audio behind it with the reflected polynomial 0x8005
// (0xA001 reflected), from 0: the CRC that the encoder's tag stores as "music CRC" and "tag CRC".
// `crc` is the value over the bytes before, so a long stream can be checked a piece at a time.
std::uint16_t TagCrc16(const unsigned char* bytes, std::size_t count, std::uint16_t crc = 0);

// The ways TagCrc16 can take, the fastest this processor has chosen once: tables of 16 bytes a
// step, or folding with carry-less multiplication, 16 bytes to an instruction or 64.
enum class CrcPath { kTables, kFolded, kWideFolded };
bool CanUse(CrcPath path);
std::uint16_t TagCrc16On(CrcPath path, const unsigned char* bytes, std::size_t count,
                         std::uint16_t crc);

// A protected frame carries the CRC of ISO/IEC 11172-3: the polynomial 0x8005, not reflected,
// from 0xFFFF, over the header's last two bytes and the protected bits behind the CRC.
// `bits` counts the bits from `bytes` on (the last byte's low bits unused when not a multiple
// of 8).
std::uint16_t FrameCrc16(const unsigned char* bytes, std::size_t bits, std::uint16_t crc);

} // namespace quaverly::mpeg
