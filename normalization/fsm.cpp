#include "normalization/fsm.h"

#include <algorithm>
#include <memory>
#include <utility>

namespace {

constexpr size_t kFirstWords = 65536 / 64;

}  // namespace

FSM::FSM() : numChars(0), defined(false), first_(kFirstWords, 0) {}

FSM::FSM(const FSM& other)
    : numChars(0), defined(false), first_(kFirstWords, 0) {
  try {
    CopyFrom(other);
  } catch (...) {
    deAllocFSM();
    throw;
  }
}

FSM& FSM::operator=(const FSM& other) {
  if (this != &other) {
    deAllocFSM();
    try {
      CopyFrom(other);
    } catch (...) {
      deAllocFSM();
      throw;
    }
  }
  return *this;
}

FSM::~FSM() { deAllocFSM(); }

void FSM::CopyFrom(const FSM& other) {
  charSet = other.charSet;
  numChars = other.numChars;
  accept = other.accept;
  rows.reserve(other.rows.size());
  for (const unsigned short* row : other.rows) {
    std::unique_ptr<unsigned short[]> copy(new unsigned short[numChars]);
    std::copy(row, row + numChars, copy.get());
    rows.push_back(copy.release());
  }
  first_ = other.first_;
  defined = other.defined;
}

void FSM::deAllocFSM() {
  for (unsigned short* row : rows) delete[] row;
  rows.clear();
  accept.clear();
  numChars = 0;
  charSet.Clear();
  defined = false;
  std::fill(first_.begin(), first_.end(), 0);
}

unsigned short FSM::NewState() {
  std::unique_ptr<unsigned short[]> row(new unsigned short[numChars]());
  accept.push_back(kNoPattern);
  rows.push_back(row.release());
  return static_cast<unsigned short>(rows.size() - 1);
}

bool FSM::allocFSM(std::vector<std::wstring> patterns) {
  deAllocFSM();
  if (patterns.size() > kMaxPatterns) return false;
  try {
    // Columns are numbered by first occurrence.
    std::vector<wchar_t> alphabet;
    for (const std::wstring& pattern : patterns) {
      for (wchar_t c : pattern) {
        if (charSet.GetIndex(c) != CharSetMap::kAbsent) continue;
        if (alphabet.size() == kMaxChars) {
          deAllocFSM();
          return false;
        }
        charSet.Insert(c);
        alphabet.push_back(c);
      }
    }
    numChars = static_cast<unsigned short>(charSet.GetTotalNumOfChars());
    NewState();  // the root

    for (size_t i = 0; i < patterns.size(); ++i) {
      size_t s = 0;
      for (wchar_t c : patterns[i]) {
        const unsigned short column = charSet.GetIndex(c);
        if (rows[s][column] == 0) {
          if (rows.size() > kMaxStates) {
            deAllocFSM();
            return false;
          }
          const unsigned short next = NewState();
          rows[s][column] = next;
        }
        s = rows[s][column];
      }
      accept[s] = static_cast<unsigned short>(i);
    }

    for (wchar_t c : alphabet) {
      if (rows[0][charSet.GetIndex(c)] == 0) continue;
      const uint32_t code = static_cast<uint32_t>(c) & 0xFFFF;
      first_[code >> 6] |= uint64_t{1} << (code & 63);
    }
  } catch (...) {
    deAllocFSM();
    throw;
  }
  defined = true;
  return true;
}

bool FSM::findIn(const wchar_t* text, size_t length, size_t start,
                 size_t* position, unsigned short* pattern) const {
  if (!defined) return false;
  unsigned short* const* table = rows.data();
  const unsigned short* accepting = accept.data();
  for (size_t b = start; b < length; ++b) {
    if (!MayStart(text[b])) continue;
    // Every pattern that is a prefix of text[b..] is looked at; the
    // smallest index wins, so the walk goes on after the first accept.
    unsigned short best = kNoPattern;
    size_t s = 0;
    for (size_t k = b; k < length; ++k) {
      const unsigned short column = charSet.GetIndex(text[k]);
      if (column == CharSetMap::kAbsent) break;
      s = table[s][column];
      if (s == 0) break;
      if (accepting[s] < best) best = accepting[s];
    }
    if (best != kNoPattern) {
      *position = b;
      *pattern = best;
      return true;
    }
  }
  return false;
}

FSMMatch FSM::find(std::wstring text, unsigned int start) const {
  FSMMatch match;
  size_t position = 0;
  unsigned short pattern = kNoPattern;
  if (findIn(text.data(), text.size(), start, &position, &pattern)) {
    match.position = static_cast<int>(position);
    match.patternIndex = pattern;
  }
  return match;
}

bool FSM::findWhole(std::wstring text) const {
  if (!defined) return false;
  size_t s = 0;
  for (wchar_t c : text) {
    const unsigned short column = charSet.GetIndex(c);
    if (column == CharSetMap::kAbsent) return false;
    s = rows[s][column];
    if (s == 0) return false;
  }
  return accept[s] != kNoPattern;
}
