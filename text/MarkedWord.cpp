#include "text/MarkedWord.h"

#include <algorithm>

#include "script/ArabicComposition.h"
#include "text/ArabicHeh.h"
#include "text/CanonicalKey.h"
#include "text/WordKey.h"

namespace urdulex::internal {

namespace {

constexpr char16_t kKhariZabar = 0x0670;
constexpr char16_t kMadda = 0x0653;
constexpr char16_t kHamzaAbove = 0x0654;
constexpr char16_t kHamzaBelow = 0x0655;
constexpr uint8_t kVowelBits =
    kFathaBit | kDammaBit | kKasraBit | kKhariZabarBit;

// The letter `base` makes with the hamza or madda `mark`, or 0.
char16_t Composed(char16_t base, char16_t mark) {
  switch (mark) {
    case kMadda:
      return base == 0x0627 ? 0x0622 : 0;
    case kHamzaBelow:
      return base == 0x0627 ? 0x0625 : 0;
    case kHamzaAbove:
      switch (base) {
        case 0x0627:
          return 0x0623;
        case 0x0648:
          return 0x0624;
        case 0x06CC:
          return 0x0626;
        case 0x06C1:
          return 0x06C2;
        case 0x06D2:
          return 0x06D3;
        case 0x06D5:
          return 0x06C0;
        default:
          return 0;
      }
    default:
      return 0;
  }
}

// The word's final heh or yeh with its hamza, as the izafat writes it, and
// the letter without it.
char16_t WithoutIzafatHamza(char16_t c) {
  return c == 0x06C2 ? 0x06C1 : c == 0x06D3 ? 0x06D2 : c;
}

bool IsUrduHeh(char16_t c) { return c == kHehGoal || c == kHehDoachashmee; }

bool SameLetter(const MarkedWord& a, size_t i, const MarkedWord& b, size_t j,
                bool last) {
  const MarkedLetter& x = a[i];
  const MarkedLetter& y = b[j];
  if (x.key_units != y.key_units) return false;
  for (uint32_t k = 0; k < x.key_units; ++k) {
    char16_t p = a.key()[x.key + k];
    char16_t q = b.key()[y.key + k];
    if (last && k == 0) {
      p = WithoutIzafatHamza(p);
      q = WithoutIzafatHamza(q);
    }
    if (k == 0 && (x.arabic_heh || y.arabic_heh) && IsUrduHeh(p) &&
        IsUrduHeh(q)) {
      continue;
    }
    if (p != q) return false;
  }
  return true;
}

}  // namespace

uint8_t MarkBitOf(char16_t c) {
  if (c >= 0x064E && c <= 0x0653)
    return static_cast<uint8_t>(1u << (c - 0x064E));
  return c == kKhariZabar ? kKhariZabarBit : 0;
}

void MarkedWord::Assign(const char16_t* word, size_t n) {
  key_.clear();
  letters_.clear();
  marked_ = false;
  expanded_.clear();
  from_.clear();
  for (size_t i = 0; i < n; ++i) {
    if (IsPresentationForm(word[i])) {
      AppendPresentationLetters(word[i], &expanded_);
    } else {
      expanded_.push_back(word[i]);
    }
    from_.resize(expanded_.size(), static_cast<uint32_t>(i));
  }
  heh_goal_key_.clear();
  std::vector<uint32_t> aspirated;  // expanded_ units made U+06BE
  bool any = false;
  for (char16_t c : expanded_) any = any || c == kArabicHeh;
  if (any) {
    const std::u16string before = expanded_;
    AspirateArabicHehs(expanded_.data(), expanded_.size());
    for (size_t e = 0; e < before.size(); ++e) {
      if (before[e] != expanded_[e])
        aspirated.push_back(static_cast<uint32_t>(e));
    }
  }
  std::vector<uint32_t> aspirated_keys;  // their places in key_
  // Marks before the first letter belong to it.
  uint8_t pending = 0;
  char16_t pending_order[4];
  uint8_t pending_size = 0;
  std::u16string pending_key;
  size_t base = 0;  // in expanded_, of the last letter
  for (size_t e = 0; e < expanded_.size(); ++e) {
    const char16_t c = expanded_[e];
    const uint32_t unit = from_[e];
    if (c == u' ') continue;  // a blank of a phrase ligature
    MarkedLetter* letter = letters_.empty() ? nullptr : &letters_.back();
    if (letter != nullptr) letter->end = unit + 1;
    if (IsIgnorable(c)) continue;
    const unsigned mark_class = ArabicCombiningClass(c);
    if (mark_class != 0 && letter != nullptr && letter->composed == kNone) {
      const char16_t made = Composed(key_[letter->key], c);
      // A mark of the same class in between keeps them apart; khari zabar,
      // tatweels and directional marks are not in the key at all.
      bool blocked = false;
      for (size_t k = base + 1; made != 0 && k < e; ++k) {
        const char16_t m = expanded_[k];
        if (m != kKhariZabar && !IsIgnorable(m) &&
            ArabicCombiningClass(m) == mark_class) {
          blocked = true;
        }
      }
      if (made != 0 && !blocked) {
        key_[letter->key] = made;
        letter->composed = unit;
        continue;
      }
    }
    const uint8_t bit = MarkBitOf(c);
    if (bit != 0) {
      uint8_t& marks = letter != nullptr ? letter->marks : pending;
      uint8_t& size = letter != nullptr ? letter->order_size : pending_size;
      char16_t* order = letter != nullptr ? letter->order : pending_order;
      marks |= bit;
      if (size < 4) order[size++] = c;
      marked_ = true;
      continue;
    }
    if (mark_class != 0 || (c >= 0x064B && c <= 0x065F)) {
      // A mark that stays in the key.
      if (letter == nullptr) {
        pending_key.push_back(c);
      } else {
        key_.push_back(c);
        ++letter->key_units;
      }
      continue;
    }
    MarkedLetter next{};
    next.begin = letters_.empty() ? 0 : unit;
    next.end = unit + 1;
    next.base = unit;
    next.composed = kNone;
    next.key = static_cast<uint32_t>(key_.size());
    next.arabic_heh = word[unit] == kArabicHeh;
    next.shared = !letters_.empty() && letters_.back().base == unit;
    if (next.shared) letters_.back().shared = true;
    if (!letters_.empty() && !next.shared) letters_.back().end = unit;
    if (letters_.empty()) {
      key_ += pending_key;
      next.marks = pending;
      next.order_size = pending_size;
      for (uint8_t k = 0; k < pending_size; ++k)
        next.order[k] = pending_order[k];
    }
    if (!aspirated.empty() &&
        std::binary_search(aspirated.begin(), aspirated.end(),
                           static_cast<uint32_t>(e))) {
      aspirated_keys.push_back(static_cast<uint32_t>(key_.size()));
    }
    key_.push_back(UrduLetter(c));
    next.key_units = static_cast<uint32_t>(key_.size()) - next.key;
    letters_.push_back(next);
    base = e;
  }
  if (!letters_.empty()) letters_.back().end = static_cast<uint32_t>(n);
  if (!aspirated_keys.empty()) {
    heh_goal_key_ = key_;
    for (uint32_t k : aspirated_keys) heh_goal_key_[k] = kHehGoal;
  }
}

bool Aligned(const MarkedWord& word, const MarkedWord& reading) {
  if (word.size() != reading.size()) return false;
  for (size_t i = 0; i < word.size(); ++i) {
    if (!SameLetter(word, i, reading, i, i + 1 == word.size())) return false;
  }
  return true;
}

bool Agrees(const MarkedWord& word, const MarkedWord& reading) {
  if (!Aligned(word, reading)) return false;
  for (size_t i = 0; i < word.size(); ++i) {
    const uint8_t had = reading[i].marks;
    uint8_t extra = word[i].marks & ~had;
    if ((had & kVowelBits) == 0) extra &= ~kSukunBit;
    if (i + 1 == word.size()) extra &= ~kKasraBit;
    if (extra != 0) return false;
  }
  return true;
}

void PutMarks(const char16_t* units, const MarkedWord& word,
              const MarkedWord& reading, std::u16string* out) {
  uint32_t at = 0;  // the next unit of `units` to write
  for (size_t i = 0; i < word.size(); ++i) {
    const MarkedLetter& w = word[i];
    const MarkedLetter& r = reading[i];
    const uint8_t added = r.marks & ~w.marks;
    if (w.end <= at) continue;  // written with the letter before
    if (added == 0 || w.shared) {
      out->append(units + at, units + w.end);
      at = w.end;
      continue;
    }
    // The letter, the reading's marks in its order, then the other units
    // of the letter as they came (the writer's marks the reading lacks
    // among them).
    for (uint32_t k = at; k < w.end; ++k) {
      if (k == w.composed || (MarkBitOf(units[k]) & r.marks) != 0) continue;
      out->push_back(units[k]);
      if (k != w.base) continue;
      if (w.composed != MarkedWord::kNone) out->push_back(units[w.composed]);
      for (uint8_t m = 0; m < r.order_size; ++m) out->push_back(r.order[m]);
    }
    at = w.end;
  }
}

bool IsNonJoiningLetter(char16_t c) {
  switch (c) {
    case 0x0621:  // hamza
    case 0x0622:
    case 0x0623:
    case 0x0624:
    case 0x0625:
    case 0x0627:  // alef
    case 0x062F:  // dal
    case 0x0630:  // thal
    case 0x0631:  // reh
    case 0x0632:  // zain
    case 0x0648:  // waw
    case 0x0671:
    case 0x0688:  // ddal
    case 0x0691:  // rreh
    case 0x0698:  // jeh
    case 0x06D2:  // yeh barree
    case 0x06D3:
      return true;
    default:
      return false;
  }
}

}  // namespace urdulex::internal
