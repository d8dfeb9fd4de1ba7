#include "normalization/CharSetMap.h"

#include <algorithm>

CharSetMap::CharSetMap() : totalNumOfChars(0) {
  std::fill(pages, pages + kPages, nullptr);
}

CharSetMap::CharSetMap(const CharSetMap& other) : totalNumOfChars(0) {
  std::fill(pages, pages + kPages, nullptr);
  try {
    CopyFrom(other);
  } catch (...) {
    Clear();  // the destructor does not run for a failed constructor
    throw;
  }
}

CharSetMap& CharSetMap::operator=(const CharSetMap& other) {
  if (this != &other) {
    Clear();
    CopyFrom(other);
  }
  return *this;
}

CharSetMap::~CharSetMap() { Clear(); }

void CharSetMap::CopyFrom(const CharSetMap& other) {
  for (int p = 0; p < kPages; ++p) {
    if (other.pages[p] == nullptr) continue;
    pages[p] = new unsigned short[kPageSize];
    std::copy(other.pages[p], other.pages[p] + kPageSize, pages[p]);
  }
  totalNumOfChars = other.totalNumOfChars;
}

bool CharSetMap::Insert(wchar_t c) {
  const uint32_t code = static_cast<uint32_t>(c);
  unsigned short*& page = pages[(code >> 8) & 0xFF];
  if (page == nullptr) {
    page = new unsigned short[kPageSize];
    std::fill(page, page + kPageSize, kAbsent);
  }
  page[code & 0xFF] = static_cast<unsigned short>(totalNumOfChars);
  ++totalNumOfChars;
  return true;
}

void CharSetMap::Clear() {
  for (int p = 0; p < kPages; ++p) {
    delete[] pages[p];
    pages[p] = nullptr;
  }
  totalNumOfChars = 0;
}
