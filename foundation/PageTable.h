// PageTable maps the low 16 bits of a character code to a 16-bit value. It is
// a two-level table: 256 page slots keyed by bits 8-15 of the code, each page
// 256 values keyed by bits 0-7, allocated on the first store into its range,
// so a look-up is two array reads. Unset entries read kEmpty.
//
// The table owns its pages; a copy is deep. Nothing throws except
// std::bad_alloc when a page cannot be allocated.

#ifndef URDULEX_FOUNDATION_PAGETABLE_H_
#define URDULEX_FOUNDATION_PAGETABLE_H_

#include <algorithm>
#include <cstdint>
#include <memory>
#include <utility>

class PageTable {
 public:
  static constexpr unsigned short kEmpty = 0xFFFF;
  static constexpr int kPageCount = 256;
  static constexpr int kPageSize = 256;

  PageTable() = default;
  PageTable(const PageTable& other) {
    for (int p = 0; p < kPageCount; ++p) {
      if (other.pages_[p] == nullptr) continue;
      pages_[p].reset(new unsigned short[kPageSize]);
      std::copy(other.pages_[p].get(), other.pages_[p].get() + kPageSize,
                pages_[p].get());
    }
  }
  PageTable& operator=(const PageTable& other) {
    PageTable copy(other);
    std::swap(pages_, copy.pages_);
    return *this;
  }

  unsigned short Get(uint32_t code) const {
    const unsigned short* page = pages_[(code >> 8) & 0xFF].get();
    return page == nullptr ? kEmpty : page[code & 0xFF];
  }

  void Set(uint32_t code, unsigned short value) {
    std::unique_ptr<unsigned short[]>& page = pages_[(code >> 8) & 0xFF];
    if (page == nullptr) {
      page.reset(new unsigned short[kPageSize]);
      std::fill(page.get(), page.get() + kPageSize, kEmpty);
    }
    page[code & 0xFF] = value;
  }

  // Frees every page.
  void Clear() {
    for (std::unique_ptr<unsigned short[]>& page : pages_) page.reset();
  }

 private:
  std::unique_ptr<unsigned short[]> pages_[kPageCount];
};

#endif  // URDULEX_FOUNDATION_PAGETABLE_H_
