// LargePageAllocator: memory for large arrays read at random. With small
// pages nearly every access to such an array would also miss the address
// translation cache; large blocks are aligned and offered to the system
// for huge pages.

#ifndef URDULEX_FOUNDATION_LARGEPAGES_H_
#define URDULEX_FOUNDATION_LARGEPAGES_H_

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>

// Blocks from a quarter of a huge page on are placed on huge-page
// boundaries and rounded up to whole huge pages: on some systems (virtual
// machines above all) a fault costs far more than clearing the page.
constexpr size_t kLargePage = size_t{2} << 20;
constexpr size_t kLargeBlock = kLargePage / 4;
// Asks for huge pages under `bytes` bytes at `p` (only advice: where huge
// pages are not available nothing changes).
void AdviseLargePages(void* p, size_t bytes);
// The same for the whole pages within `bytes` bytes at `p`, anywhere: for
// a buffer about to be written from end to end.
void AdviseLargePagesWithin(void* p, size_t bytes);

template <typename T>
class LargePageAllocator {
 public:
  using value_type = T;
  LargePageAllocator() = default;
  template <typename U>
  LargePageAllocator(const LargePageAllocator<U>&) {}
  T* allocate(size_t n);
  void deallocate(T* p, size_t) { std::free(p); }
  template <typename U>
  bool operator==(const LargePageAllocator<U>&) const {
    return true;
  }
  template <typename U>
  bool operator!=(const LargePageAllocator<U>&) const {
    return false;
  }
};

template <typename T>
T* LargePageAllocator<T>::allocate(size_t n) {
  if (n > SIZE_MAX / sizeof(T)) throw std::bad_alloc();
  const size_t bytes = n * sizeof(T);
  void* p;
  if (bytes >= kLargeBlock) {
    const size_t rounded = (bytes + kLargePage - 1) / kLargePage * kLargePage;
    p = std::aligned_alloc(kLargePage, rounded);
    if (p != nullptr) AdviseLargePages(p, rounded);
  } else {
    p = std::malloc(bytes == 0 ? 1 : bytes);
  }
  if (p == nullptr) throw std::bad_alloc();
  return static_cast<T*>(p);
}

#endif  // URDULEX_FOUNDATION_LARGEPAGES_H_
