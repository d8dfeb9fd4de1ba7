#include "lexicon/EngWordHashNodeData.h"

#include <cstddef>
#include <vector>

namespace {

void Insert(std::vector<RefIDWithPOS>& list, RefIDWithPOS item) {
  for (size_t i = 0; i < list.size(); ++i) {
    if (list[i].refID > item.refID) {
      list.insert(list.begin() + i, item);
      return;
    }
    if (list[i].refID == item.refID) {
      list[i].pos |= item.pos;
      return;
    }
  }
  list.push_back(item);
}

void Delete(std::vector<RefIDWithPOS>& list, uint32_t refID) {
  for (size_t i = 0; i < list.size(); ++i) {
    if (list[i].refID > refID) return;
    if (list[i].refID == refID) {
      list.erase(list.begin() + i);
      return;
    }
  }
}

}  // namespace

void EngWordHashNodeData::InsertIntoExactWords(RefIDWithPOS item) {
  Insert(exactWords, item);
}

void EngWordHashNodeData::InsertIntoGlossWords(RefIDWithPOS item) {
  Insert(glossWords, item);
}

void EngWordHashNodeData::DeleteFromExactWords(uint32_t refID) {
  Delete(exactWords, refID);
}

void EngWordHashNodeData::DeleteFromGlossWords(uint32_t refID) {
  Delete(glossWords, refID);
}
