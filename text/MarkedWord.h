// A word of running text as its lookup sees it: the letters of its
// canonical key (text/CanonicalKey.h), each with the units of the word that
// write it and the marks it carries. Two spellings of one word split into
// the same letters, so the marks of a table form can be put on the letters
// the text wrote, and the marks a writer gave compared with a form's.
//
// The marks compared and carried over are fatha, damma, kasra, shadda,
// sukun, khari zabar and a madda that is not part of a letter. Every other
// mark (the tanweens, a hamza that makes no letter) belongs to the key, as
// it does to the table's keys.

#ifndef URDULEX_TEXT_MARKEDWORD_H_
#define URDULEX_TEXT_MARKEDWORD_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace urdulex::internal {

enum MarkBit : uint8_t {
  kFathaBit = 1,
  kDammaBit = 2,
  kKasraBit = 4,
  kShaddaBit = 8,
  kSukunBit = 16,
  kMaddaBit = 32,
  kKhariZabarBit = 64,
};

// The bit of a mark carried over, or 0.
uint8_t MarkBitOf(char16_t c);

struct MarkedLetter {
  uint32_t begin;      // its first unit in the word
  uint32_t end;        // one past its last (the marks after it included)
  uint32_t base;       // the unit of the letter itself
  uint32_t composed;   // a hamza or madda that is part of it, or kNone
  uint32_t key;        // its units in the key: [key, key + key_units)
  uint32_t key_units;  // a letter and the marks that stay in the key
  uint8_t marks;       // MarkBit
  bool shared;         // one unit of the word writes it with others (a
                       // ligature): no mark can be put on it
  bool arabic_heh;     // written U+0647: either heh of a form fits it
  uint8_t order_size;  // its marks as written, up to four
  char16_t order[4];
};

class MarkedWord {
 public:
  static constexpr uint32_t kNone = UINT32_MAX;

  // Splits word[0, n).
  void Assign(const char16_t* word, size_t n);

  // The canonical key without its marks: what the word is looked up by.
  const std::u16string& key() const { return key_; }
  size_t size() const { return letters_.size(); }
  const MarkedLetter& operator[](size_t i) const { return letters_[i]; }
  // Whether a letter carries a mark.
  bool marked() const { return marked_; }
  // The key with every U+0647 read as heh goal (U+06C1), for the few words
  // that have heh goal where the reading by place gives U+06BE; empty when
  // no U+0647 was so read.
  const std::u16string& heh_goal_key() const { return heh_goal_key_; }

 private:
  std::u16string key_;
  std::vector<MarkedLetter> letters_;
  bool marked_ = false;
  std::u16string heh_goal_key_;
  std::u16string expanded_;     // the word, presentation forms unfolded
  std::vector<uint32_t> from_;  // the unit of the word each one came from
};

// Whether `reading` (a table form) gives the letters of `word` and marks
// that include the writer's: the same mark on the same letter. A sukun
// where the reading has no vowel agrees, and a kasra on the last letter
// (the izafat) never disagrees. The last letter may be U+06C2 or U+06D3 in
// the word where the reading has U+06C1 or U+06D2.
bool Aligned(const MarkedWord& word, const MarkedWord& reading);
bool Agrees(const MarkedWord& word, const MarkedWord& reading);

// Appends to `out` the word `units` (split into `word`) with the marks of
// `reading` (Aligned with it) put on its letters; its letters, its other
// units and the marks it had stay. A letter given no new mark is copied
// as it came.
void PutMarks(const char16_t* units, const MarkedWord& word,
              const MarkedWord& reading, std::u16string* out);

// Whether `c` joins no letter after it: a cut after it is where two words
// written without a space meet.
bool IsNonJoiningLetter(char16_t c);

}  // namespace urdulex::internal

#endif  // URDULEX_TEXT_MARKEDWORD_H_
