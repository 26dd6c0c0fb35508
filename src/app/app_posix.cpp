#include <malloc.h>
#include <signal.h>
#include <stdint.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <unistd.h>

#include "app/app_sys.h"

// Streams are binary on this platform already.
static bool osInitStdBinary() {
    return true;
}

static bool osInitSigPipeIgnore() {
    return signal(SIGPIPE, SIG_IGN) != SIG_ERR;
}

// A fresh page costs a fault each (several microseconds in a virtual machine),
// and a no-op over a big graph touches thousands of them. The main heap is
// reserved in one step and marked for huge pages; large blocks come from it
// too. Where the kernel declines, the heap works as before. The spacer below
// is volatile: a block never read would otherwise not be allocated at all.
static void* volatile g_heapSpacer;

static void osInitHeap() {
    size_t const reserve = size_t(64) << 20;
    size_t const block = size_t(1) << 20;
    uintptr_t const huge = uintptr_t(2) << 20;
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    mallopt(M_TOP_PAD, (int)reserve);
    void* grow = malloc(block);
    if (grow == nullptr) return;
    uintptr_t const first = (uintptr_t)grow;
    uintptr_t const to = (uintptr_t)sbrk(0);
    free(grow);
    // A 2 MB range can take a huge page only while none of it was touched:
    // the allocator wrote a header just past the block. A spacer, never
    // touched, ends where the first untouched range starts, so the blocks
    // handed out next lie in huge pages.
    uintptr_t const from = (first + block + 4096 + huge - 1) & ~(huge - 1);
    if (to <= from || to - from > reserve + huge) return;
    g_heapSpacer = malloc(from - first - 8);
    madvise((void*)from, to - from, MADV_HUGEPAGE);
}

static bool osHostNameSet(CxStr1p& out) {
    static char name[257];
    static bool done = false;
    if (!done) {
        if (gethostname(name, 256) != 0) name[0] = 0;
        name[256] = 0;
        done = true;
    }
    return out.setCstr(name) && !out.isEmpty();
}

AppSys const& appSys() {
    static constexpr AppSys kSys = {osInitStdBinary, osInitSigPipeIgnore, osInitHeap,
                                    osHostNameSet};
    return kSys;
}
