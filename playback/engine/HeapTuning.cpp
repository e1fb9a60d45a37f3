#include "HeapTuning.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace HeapTuning {

bool returnLargeBuffersWhenFreed()
{
#if defined(__GLIBC__)
    // A fixed threshold also switches off glibc's moving of the trim
    // threshold, so free space at the top of a heap goes back at the default
    // 128 KiB.
    return mallopt(M_MMAP_THRESHOLD, int(kLargeBlockBytes)) == 1;
#else
    return false;
#endif
}

} // namespace HeapTuning
