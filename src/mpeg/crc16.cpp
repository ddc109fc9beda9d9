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

// Not on Windows, where the compiler cannot keep the stack aligned for 64-byte registers that
// it spills.
#ifndef _WIN32
#define QUAVERLY_WIDE_FOLDED_CRC 1
#define QUAVERLY_WIDE __attribute__((target("pclmul,vpclmulqdq,avx512f")))

QUAVERLY_WIDE inline __m512i WideLoad(const unsigned char* at) {
    return _mm512_loadu_si512(at);
}

// The same two halves in each of the four blocks.
QUAVERLY_WIDE inline __m512i Repeated(std::uint64_t high, std::uint64_t low) {
    const auto h = static_cast<long long>(high);
    const auto l = static_cast<long long>(low);
    return _mm512_set_epi64(h, l, h, l, h, l, h, l);
}

// a·k's two halves and b, xor'ed in one instruction (0x96: the xor of three).
QUAVERLY_WIDE inline __m512i WideFold(__m512i a, __m512i k, __m512i b) {
    return _mm512_ternarylogic_epi64(_mm512_clmulepi64_epi128(a, k, 0x00),
                                     _mm512_clmulepi64_epi128(a, k, 0x11), b, 0x96);
}

// Where the processor also multiplies four blocks in one instruction, sixteen are folded a step:
// 256 bytes, forward by x^2048, as four 64-byte lanes of four blocks each; the lanes are then
// folded into one, and its four blocks into the last.
QUAVERLY_WIDE std::uint16_t WideFoldedTagCrc16(const unsigned char* bytes, std::size_t count,
                                               std::uint16_t crc) {
    static const __m512i kBy256 = Repeated(ReflectedPower(2047), ReflectedPower(2111));
    static const __m512i kBy64 = Repeated(ReflectedPower(511), ReflectedPower(575));
    __m512i a0 = _mm512_xor_si512(WideLoad(bytes), _mm512_zextsi128_si512(_mm_cvtsi32_si128(crc)));
    __m512i a1 = WideLoad(bytes + 64);
    __m512i a2 = WideLoad(bytes + 128);
    __m512i a3 = WideLoad(bytes + 192);
    bytes += 256;
    count -= 256;
    while (count >= 256) {
        a0 = WideFold(a0, kBy256, WideLoad(bytes));
        a1 = WideFold(a1, kBy256, WideLoad(bytes + 64));
        a2 = WideFold(a2, kBy256, WideLoad(bytes + 128));
        a3 = WideFold(a3, kBy256, WideLoad(bytes + 192));
        bytes += 256;
        count -= 256;
    }
    const __m512i lane = WideFold(WideFold(WideFold(a0, kBy64, a1), kBy64, a2), kBy64, a3);
    static const __m128i kBy16 = _mm_set_epi64x(static_cast<long long>(ReflectedPower(127)),
                                                static_cast<long long>(ReflectedPower(191)));
    std::array<unsigned char, 64> blocks{};
    _mm512_storeu_si512(blocks.data(), lane);
    __m128i folded = Load(blocks.data());
    for (std::size_t at = 16; at < blocks.size(); at += 16) {
        folded = _mm_xor_si128(FoldedForward(folded, kBy16), Load(blocks.data() + at));
    }
    std::array<unsigned char, 16> first{};
    _mm_storeu_si128(reinterpret_cast<__m128i*>(first.data()), folded);
    // The block left stands for the bytes so far; the rest go on as any other bytes.
    const std::uint16_t sofar = TableTagCrc16(first.data(), first.size(), 0);
    return count >= 64 ? FoldedTagCrc16(bytes, count, sofar) : TableTagCrc16(bytes, count, sofar);
}
#undef QUAVERLY_WIDE
#endif
#endif

} // namespace

bool CanUse(CrcPath path) {
#ifdef QUAVERLY_FOLDED_CRC
    static const bool fold = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse2");
#ifdef QUAVERLY_WIDE_FOLDED_CRC
    static const bool wide =
        fold && __builtin_cpu_supports("vpclmulqdq") && __builtin_cpu_supports("avx512f");
#else
    constexpr bool wide = false;
#endif
    return path == CrcPath::kTables || (path == CrcPath::kFolded && fold) ||
           (path == CrcPath::kWideFolded && wide);
#else
    return path == CrcPath::kTables;
#endif
}

std::uint16_t TagCrc16On(CrcPath path, const unsigned char* bytes, std::size_t count,
                         std::uint16_t crc) {
#ifdef QUAVERLY_FOLDED_CRC
#ifdef QUAVERLY_WIDE_FOLDED_CRC
    if (path == CrcPath::kWideFolded && count >= 256) {
        return WideFoldedTagCrc16(bytes, count, crc);
    }
#endif
    if (path != CrcPath::kTables && count >= 64) {
        return FoldedTagCrc16(bytes, count, crc);
    }
#else
    (void)path;
#endif
    return TableTagCrc16(bytes, count, crc);
}

std::uint16_t TagCrc16(const unsigned char* bytes, std::size_t count, std::uint16_t crc) {
    static const CrcPath best = CanUse(CrcPath::kWideFolded) ? CrcPath::kWideFolded
                                : CanUse(CrcPath::kFolded)   ? CrcPath::kFolded
                                                             : CrcPath::kTables;
    return TagCrc16On(best, bytes, count, crc);
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
