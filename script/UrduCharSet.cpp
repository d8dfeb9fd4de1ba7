#include "script/UrduCharSet.h"

#include <algorithm>

UniChar2IndexMap::UniChar2IndexMap()
    : alphabetSize(0), numValidChars(0), totalNumChars(0) {
  std::fill(pages, pages + kPageCount, nullptr);
}

UniChar2IndexMap::UniChar2IndexMap(const UniChar2IndexMap& other)
    : alphabetSize(other.alphabetSize),
      numValidChars(other.numValidChars),
      totalNumChars(other.totalNumChars) {
  std::fill(pages, pages + kPageCount, nullptr);
  try {
    for (int p = 0; p < kPageCount; ++p) {
      if (other.pages[p] == nullptr) continue;
      pages[p] = new unsigned short[kPageSize];
      std::copy(other.pages[p], other.pages[p] + kPageSize, pages[p]);
    }
  } catch (...) {
    Clear();
    throw;
  }
}

UniChar2IndexMap::~UniChar2IndexMap() { Clear(); }

bool UniChar2IndexMap::Insert(unsigned short c) {
  unsigned short*& page = pages[c >> 8];
  if (page == nullptr) {
    page = new unsigned short[kPageSize];
    std::fill(page, page + kPageSize, kNoIndex);
  }
  page[c & 0xFF] = static_cast<unsigned short>(totalNumChars);
  ++totalNumChars;
  return true;
}

void UniChar2IndexMap::Clear() {
  for (int p = 0; p < kPageCount; ++p) {
    delete[] pages[p];
    pages[p] = nullptr;
  }
  alphabetSize = 0;
  numValidChars = 0;
  totalNumChars = 0;
}
