#include "heap.h"

#include <malloc.h>

namespace tide {

void keepFileBuffers() {
    // glibc maps a block of 128 KiB or more on its own and unmaps it when
    // freed, and gives a freed heap top back above 128 KiB: a change of a
    // 1 MiB file (its bytes, their units, the new bytes) would fault in some
    // 6 MB of fresh pages each time. Blocks up to 4 MiB come from the heap,
    // and up to 16 MiB of freed heap stays for the next change.
    mallopt(M_MMAP_THRESHOLD, 4 << 20);
    mallopt(M_TRIM_THRESHOLD, 16 << 20);
}

} // namespace tide
