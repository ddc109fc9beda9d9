// A stand-in for the tag helper that comes up, takes one request and crashes on it, as the ID3
// tag library does on some damaged tags: the program must survive it and be told nothing
// else, and no crash box or debugger may keep the helper from ending.

#include "mpeg/tag_worker_protocol.h"
#include "platform/worker_process.h"

#include <cstdint>
#include <cstdlib>

int main() {
    quaverly::platform::QuietCrashes();
    if (!quaverly::platform::WriteAnswer(&quaverly::mpeg::kTagWorkerReady, 1)) {
        return 1;
    }
    std::uint32_t length = 0;
    quaverly::platform::ReadRequest(&length, sizeof length);
    volatile int* nowhere = nullptr;
    *nowhere = 1;
    return 0;
}
