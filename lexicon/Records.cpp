#include "lexicon/Records.h"

#include <cstring>

PList::PList(PList& other) : count(other.count) {
  if (count == 0) return;
  items = new uint32_t[count];
  std::memcpy(items, other.items, sizeof(uint32_t) * count);
}

PList::~PList() {
  if (items != nullptr) delete[] items;
  items = nullptr;
  count = 0;
}
