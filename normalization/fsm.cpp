#include "normalization/fsm.h"

#include <algorithm>
#include <memory>
#include <utility>

namespace {

constexpr size_t kFilterSize = 65536;

}  // namespace

FSM::FSM() : numChars(0), defined(false), filter_(kFilterSize, 0) {}

FSM::FSM(const FSM& other)
    : numChars(0), defined(false), filter_(kFilterSize, 0) {
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
  filter_ = other.filter_;
  defined = other.defined;
}

void FSM::deAllocFSM() {
  for (unsigned short* row : rows) delete[] row;
  rows.clear();
  accept.clear();
  numChars = 0;
  charSet.Clear();
  defined = false;
  std::fill(filter_.begin(), filter_.end(), 0);
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
    size_t distinct = 0;
    for (const std::wstring& pattern : patterns) {
      for (wchar_t c : pattern) {
        if (charSet.GetIndex(c) != CharSetMap::kAbsent) continue;
        if (distinct == kMaxChars) {
          deAllocFSM();
          return false;
        }
        charSet.Insert(c);
        ++distinct;
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

    for (const std::wstring& pattern : patterns) {
      if (pattern.empty()) continue;
      if (pattern.size() == 1) {
        filter_[Low16(pattern[0])] |= kSingle;
      } else {
        filter_[Low16(pattern[0])] |= kFirst;
        filter_[Low16(pattern[1])] |= kSecond;
      }
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
  // A start at or past the end finds nothing; the filter loop below would
  // otherwise wrap around `start + 1` and read before the text.
  if (!defined || start >= length) return false;
  unsigned short* const* table = rows.data();
  const unsigned short* accepting = accept.data();
  // Every pattern that is a prefix of text[b..] is looked at; the smallest
  // index wins, so the walk goes on after the first accept.
  auto attempt = [&](size_t b) {
    unsigned short best = kNoPattern;
    size_t s = 0;
    for (size_t k = b; k < length; ++k) {
      const unsigned short column = charSet.GetIndex(text[k]);
      if (column == CharSetMap::kAbsent) break;
      s = table[s][column];
      if (s == 0) break;
      if (accepting[s] < best) best = accepting[s];
    }
    if (best == kNoPattern) return false;
    *position = b;
    *pattern = best;
    return true;
  };
  const uint8_t* const filter = filter_.data();
  size_t b = start;
  // The filter reads the character after b, so the last position is
  // tested on its own. Without a branch per character: a pattern may
  // begin at b when text[b] is a one-character pattern, or begins a longer
  // one whose second character text[b + 1] may be.
  uint32_t here = filter[Low16(text[b])];
  for (; b + 1 < length; ++b) {
    const uint32_t after = filter[Low16(text[b + 1])];
    const uint32_t may = (here & kSingle) | ((here >> 1) & (after >> 2) & 1);
    if (may != 0 && attempt(b)) return true;
    here = after;
  }
  return b < length && (here & kSingle) != 0 && attempt(b);
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
