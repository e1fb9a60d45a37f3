#pragma once

#include <cstddef>

// How the C library's allocator treats the engine's large buffers (demuxer
// caches, decoded frames, network buffers).
//
// By default glibc raises its mmap threshold to the size of any large block
// that is freed, up to 32 MiB. After the first stream has come and gone, every
// later stream's large buffers are carved out of the heap, and the heap keeps
// what they leave behind: resident memory ratchets up with each stream that is
// a little larger than the last, and is never given back. A fixed threshold
// keeps large buffers in mappings of their own, returned the moment they are
// freed.
namespace HeapTuning {

// Blocks of this size and more get a mapping of their own.
inline constexpr std::size_t kLargeBlockBytes = 256 * 1024;

// Call once, first thing in main(), before the engine starts. Returns false
// where the C library offers no such setting (the program runs unchanged).
bool returnLargeBuffersWhenFreed();

} // namespace HeapTuning
