#include "foundation/LargePages.h"

#include <sys/mman.h>

void AdviseLargePages(void* p, size_t bytes) {
#ifdef MADV_HUGEPAGE
  madvise(p, bytes, MADV_HUGEPAGE);
#else
  (void)p;
  (void)bytes;
#endif
}

void AdviseLargePagesWithin(void* p, size_t bytes) {
  constexpr uintptr_t kPage = 4096;
  const uintptr_t begin = reinterpret_cast<uintptr_t>(p);
  const uintptr_t first = (begin + kPage - 1) & ~(kPage - 1);
  const uintptr_t end = (begin + bytes) & ~(kPage - 1);
  if (end > first) {
    AdviseLargePages(reinterpret_cast<void*>(first), end - first);
  }
}
