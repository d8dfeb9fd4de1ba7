#include "normalization/CharSetMap.h"

bool CharSetMap::Insert(wchar_t c) {
  table.Set(static_cast<uint32_t>(c),
            static_cast<unsigned short>(totalNumOfChars));
  ++totalNumOfChars;
  return true;
}

void CharSetMap::Clear() {
  table.Clear();
  totalNumOfChars = 0;
}
