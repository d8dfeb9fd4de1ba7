#include "script/UrduCharSet.h"

bool UniChar2IndexMap::Insert(unsigned short c) {
  pages.Set(c, static_cast<unsigned short>(totalNumChars));
  ++totalNumChars;
  return true;
}

void UniChar2IndexMap::Clear() {
  pages.Clear();
  alphabetSize = 0;
  numValidChars = 0;
  totalNumChars = 0;
}
