#include "mpeg/frame_header.h"

namespace quaverly::mpeg {

// The decoding is compile-time arithmetic; pin the reference frames down where it is defined.
static_assert(FrameLength(0xFFFB9000) == 417); // MPEG 1 Layer III, 128 kbit/s, 44.1 kHz
static_assert(FrameLength(0xFFFB9200) == 418); // the same, padded
static_assert(FrameLength(0xFFF39000) == 261); // MPEG 2 Layer III, 80 kbit/s, 22.05 kHz
static_assert(FrameLength(0xFFFF1000) == 32);  // MPEG 1 Layer I, 32 kbit/s, 44.1 kHz
static_assert(FrameLength(0xFFFF1200) == 36);  // the same, padded by one 4-byte slot

} // namespace quaverly::mpeg
