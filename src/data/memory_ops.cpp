// Heap blocks on the process heap, with a single retry after compaction, and the live-block
// count that lets tests prove every reader releases what it allocated.
#include "data/memory_ops.h"

HeapCounts Heap;

static bool InjectedFailure() {
    return Heap.FailAllocationCountdown > 0 && --Heap.FailAllocationCountdown == 0;
}

// HeapCompact coalesces free blocks and may return committed pages, which is sometimes the
// difference between failing and succeeding for a large block; one retry is enough.
static void* HeapAllocWithRetry(DWORD flags, SIZE_T cb) {
    HANDLE heap = ::GetProcessHeap();
    void* block = ::HeapAlloc(heap, flags, cb);
    if (!block) {
        ::HeapCompact(heap, 0);
        block = ::HeapAlloc(heap, flags, cb);
    }
    return block;
}

bool AllocBlock(SIZE_T cb, void** out) {
    *out = InjectedFailure() ? nullptr : HeapAllocWithRetry(0, cb);
    if (!*out) return false;
    ++Heap.LiveBlockCount;
    return true;
}

bool AllocZeroed(SIZE_T cb, void** out) {
    *out = InjectedFailure() ? nullptr : HeapAllocWithRetry(HEAP_ZERO_MEMORY, cb);
    if (!*out) return false;
    ++Heap.LiveBlockCount;
    return true;
}

bool ResizeBlock(SIZE_T cb, void** inout) {
    if (!*inout) return AllocBlock(cb, inout);
    HANDLE heap = ::GetProcessHeap();
    void* block = ::HeapReAlloc(heap, 0, *inout, cb);
    if (!block) {
        ::HeapCompact(heap, 0);
        block = ::HeapReAlloc(heap, 0, *inout, cb);
    }
    if (!block) return false;
    *inout = block;
    return true;
}

void FreeBlock(void** inout) {
    if (!*inout) return;
    ::HeapFree(::GetProcessHeap(), 0, *inout);
    --Heap.LiveBlockCount;
    *inout = nullptr;
}
