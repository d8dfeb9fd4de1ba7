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
