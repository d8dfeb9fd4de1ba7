#include "normalization/CharSetMap.h"

bool CharSetMap::Insert(wchar_t c) {
  pages.Set(static_cast<uint32_t>(c),
            static_cast<unsigned short>(totalNumOfChars));
  ++totalNumOfChars;
  return true;
}

void CharSetMap::Clear() {
  pages.Clear();
  totalNumOfChars = 0;
}
