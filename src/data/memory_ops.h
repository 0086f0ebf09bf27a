// Heap blocks of the process heap for every reader and pass: allocation with one retry after
// heap compaction, and a count of live blocks so tests can prove that all were released.
// Results are true (done) or false; nothing throws.
#pragma once
#include <windows.h>

// The heap's accounting, for tests. Written by the operations below, and by tests.
struct HeapCounts {
    // Blocks allocated here and not yet freed (tests check it returns to its earlier value).
    LONG LiveBlockCount;
    // Fault injection, since a heap that runs out cannot be arranged on demand: while positive,
    // each AllocBlock or AllocZeroed counts it down, and the one that brings it to 0 fails as an
    // exhausted heap would. The program never sets it.
    LONG FailAllocationCountdown;
};
extern HeapCounts Heap;

bool AllocBlock(SIZE_T cb, void** out);   // true with the block in *out, or false with null in *out
bool AllocZeroed(SIZE_T cb, void** out);  // as AllocBlock, zero-filled
// Resizes *inout (a null *inout is allocated); the added part is not zero-filled.
// True with the new block in *inout; false with the old block left in *inout.
bool ResizeBlock(SIZE_T cb, void** inout);
void FreeBlock(void** inout);  // frees *inout when it holds a block, then sets it to null

// Typed forms, so callers need no casts.
template <typename T> inline bool AllocBlock(SIZE_T cb, T** out) {
    void* p = nullptr;
    bool result = AllocBlock(cb, &p);
    *out = static_cast<T*>(p);
    return result;
}
template <typename T> inline bool AllocZeroed(SIZE_T cb, T** out) {
    void* p = nullptr;
    bool result = AllocZeroed(cb, &p);
    *out = static_cast<T*>(p);
    return result;
}
template <typename T> inline bool ResizeBlock(SIZE_T cb, T** inout) {
    void* p = *inout;
    bool result = ResizeBlock(cb, &p);
    *inout = static_cast<T*>(p);
    return result;
}
template <typename T> inline void FreeBlock(T** inout) {
    void* p = const_cast<void*>(static_cast<const void*>(*inout));
    FreeBlock(&p);
    *inout = nullptr;
}
