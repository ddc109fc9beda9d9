#pragma once

#include <cstddef>
#include <cstdint>

namespace quaverly::mpeg {

// Where in `memory` a read of the file at `offset` is to land: the kernel copies a page-cached
// file three times as fast into memory whose address agrees with the offset modulo 64 as into
// memory out of step with it (a buffer 16 bytes into a line, for a read at an odd offset). Memory
// for a read needs kReadSlack bytes beyond what the read asks for.
constexpr std::size_t kReadSlack = 63;

inline std::size_t ReadLead(std::uint64_t offset, const unsigned char* memory) noexcept {
    return static_cast<std::size_t>((offset - reinterpret_cast<std::uintptr_t>(memory)) &
                                    kReadSlack);
}

} // namespace quaverly::mpeg
