#include "mpeg/crc16.h"

#include <array>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

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

std::uint16_t TableTagCrc16(const unsigned char* bytes, std::size_t count, std::uint16_t crc);

#if defined(__x86_64__) || defined(__i386__)
#define QUAVERLY_FOLDED_CRC 1

// Where the processor multiplies without carries, the audio is folded 64 bytes a step instead:
// a block B followed by 128 bits is B·x^128, which is B's two halves times x^192 and x^128
// modulo the polynomial, 16-bit constants; what is left at the end is one block, whose CRC is
// the stream's. In the bit order of this CRC (each byte's lowest bit first) a 64-bit half
// holds its highest power in bit 0, and the product of two such halves stands one bit short of
// its place, so each constant is x^(n-1), not x^n.
std::uint64_t ReflectedPower(unsigned exponent) {
    std::uint32_t remainder = 1;
    for (unsigned i = 0; i < exponent; ++i) {
        remainder <<= 1;
        if ((remainder & 0x10000) != 0) {
            remainder ^= 0x18005;
        }
    }
    std::uint64_t reflected = 0;
    for (unsigned degree = 0; degree < 16; ++degree) {
        if ((remainder & (1U << degree)) != 0) {
            reflected |= std::uint64_t{1} << (63 - degree);
        }
    }
    return reflected;
}

__attribute__((target("pclmul,sse2"))) inline __m128i Load(const unsigned char* at) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

__attribute__((target("pclmul,sse2"))) inline __m128i FoldedForward(__m128i block, __m128i powers) {
    return _mm_xor_si128(_mm_clmulepi64_si128(block, powers, 0x00),
                         _mm_clmulepi64_si128(block, powers, 0x11));
}

__attribute__((target("pclmul,sse2"))) std::uint16_t FoldedTagCrc16(const unsigned char* bytes,
                                                                     std::size_t count,
                                                                     std::uint16_t crc) {
    static const __m128i kBy16 = _mm_set_epi64x(static_cast<long long>(ReflectedPower(127)),
                                                static_cast<long long>(ReflectedPower(191)));
    static const __m128i kBy64 = _mm_set_epi64x(static_cast<long long>(ReflectedPower(511)),
                                                static_cast<long long>(ReflectedPower(575)));
    // Four blocks at a time, each folded on its own, so that the multiplications overlap. The
    // CRC so far goes into the first two bytes, as the tables take it.
    __m128i a0 = _mm_xor_si128(Load(bytes), _mm_cvtsi32_si128(crc));
    __m128i a1 = Load(bytes + 16);
    __m128i a2 = Load(bytes + 32);
    __m128i a3 = Load(bytes + 48);
    bytes += 64;
    count -= 64;
    while (count >= 64) {
        a0 = _mm_xor_si128(FoldedForward(a0, kBy64), Load(bytes));
        a1 = _mm_xor_si128(FoldedForward(a1, kBy64), Load(bytes + 16));
        a2 = _mm_xor_si128(FoldedForward(a2, kBy64), Load(bytes + 32));
        a3 = _mm_xor_si128(FoldedForward(a3, kBy64), Load(bytes + 48));
        bytes += 64;
        count -= 64;
    }
    __m128i folded = _mm_xor_si128(FoldedForward(a0, kBy16), a1);
    folded = _mm_xor_si128(FoldedForward(folded, kBy16), a2);
    folded = _mm_xor_si128(FoldedForward(folded, kBy16), a3);
    while (count >= 16) {
        folded = _mm_xor_si128(FoldedForward(folded, kBy16), Load(bytes));
        bytes += 16;
        count -= 16;
    }
    std::array<unsigned char, 16> last{};
    _mm_storeu_si128(reinterpret_cast<__m128i*>(last.data()), folded);
    return TableTagCrc16(bytes, count, TableTagCrc16(last.data(), last.size(), 0));
}

bool CanFold() {
    static const bool can = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse2");
    return can;
}
#endif

} // namespace

std::uint16_t TagCrc16(const unsigned char* bytes, std::size_t count, std::uint16_t crc) {
#ifdef QUAVERLY_FOLDED_CRC
    if (count >= 64 && CanFold()) {
        return FoldedTagCrc16(bytes, count, crc);
    }
#endif
    return TableTagCrc16(bytes, count, crc);
}

namespace {

std::uint16_t TableTagCrc16(const unsigned char* bytes, std::size_t count, std::uint16_t crc) {
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

} // namespace

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
