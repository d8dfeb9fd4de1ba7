// FSM compiles a list of wide-string patterns into a character trie held as
// a table of states, and finds occurrences of the patterns in a text. The
// characters of the patterns are numbered densely by a CharSetMap, and each
// state has one row with a column per distinct pattern character.
//
// find reports the leftmost position where any pattern begins and, among
// the patterns that match there, the one with the smallest list index (not
// the longest). An empty pattern marks the root: findWhole("") is then true,
// but find never reports it. When a pattern is listed twice, the later index
// counts.
//
// State numbers, pattern indexes and column numbers are 16-bit, with 0xFFFF
// kept for "none"; a list that would go past one of the limits below is
// refused (allocFSM returns false and the automaton stays not defined).
//
// The automaton owns its rows; a copy is deep. find and findWhole do not
// change it. Nothing throws except std::bad_alloc, after which the automaton
// is not defined.

#ifndef URDULEX_NORMALIZATION_FSM_H_
#define URDULEX_NORMALIZATION_FSM_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "normalization/CharSetMap.h"

// The result of FSM::find.
struct FSMMatch {
  int position = -1;                     // where the match begins, or -1
  unsigned short patternIndex = 0xFFFF;  // the pattern, or 0xFFFF
};

class FSM {
 public:
  // "No pattern ends here" in accept, and "no match" in FSMMatch.
  static constexpr unsigned short kNoPattern = 0xFFFF;
  // States besides the root: state numbers are 16-bit and 0 is the root.
  static constexpr size_t kMaxStates = 65535;
  // Patterns: indexes 0 to 65534, since 0xFFFF means none.
  static constexpr size_t kMaxPatterns = 65535;
  // Distinct pattern characters: columns 0 to 65534, since 0xFFFF is the
  // index of a character the map does not know.
  static constexpr size_t kMaxChars = 65535;

  FSM();
  FSM(const FSM& other);
  FSM& operator=(const FSM& other);
  ~FSM();

  // Compiles `patterns` (pattern i gets index i) and returns true. Returns
  // false, leaving the automaton not defined, when the list goes past
  // kMaxPatterns, kMaxChars or kMaxStates. An earlier compilation is
  // discarded first in every case.
  bool allocFSM(std::vector<std::wstring> patterns);
  // Frees the table; the automaton is then not defined.
  void deAllocFSM();
  bool isDefined() const { return defined; }

  // First match at or after `start`; no match when `start` is at or past
  // the end of `text`, or the automaton is not defined. The position is a
  // 32-bit int: for longer texts use findIn.
  FSMMatch find(std::wstring text, unsigned int start) const;
  // True when `text` equals one of the patterns.
  bool findWhole(std::wstring text) const;

  // find without the copy of the text and with positions of full width:
  // searches text[start, length) and, on a match, sets `*position` and
  // `*pattern` and returns true. A `start` at or past `length` finds
  // nothing.
  bool findIn(const wchar_t* text, size_t length, size_t start,
              size_t* position, unsigned short* pattern) const;

  // The compiled table, for inspection.
  unsigned short NumChars() const { return numChars; }
  size_t NumStates() const { return rows.size(); }
  // Transition of state `state` on column `column` (0: none).
  unsigned short Transition(size_t state, unsigned short column) const {
    return rows[state][column];
  }
  unsigned short Accept(size_t state) const { return accept[state]; }
  const CharSetMap& CharSet() const { return charSet; }

 private:
  // Appends a state with no transitions and no pattern; returns its number.
  unsigned short NewState();
  void CopyFrom(const FSM& other);
  static uint32_t Low16(wchar_t c) { return static_cast<uint32_t>(c) & 0xFFFF; }

  unsigned short numChars;
  std::vector<unsigned short*> rows;
  std::vector<unsigned short> accept;
  CharSetMap charSet;
  bool defined;
  // The filter of the search: for each 16-bit value, kSingle when a
  // one-character pattern is that character, kFirst when a longer pattern
  // begins with it, kSecond when one has it second. A pattern can begin
  // at a place only where these say so, which one table read per
  // character tells.
  static constexpr uint8_t kSingle = 1;
  static constexpr uint8_t kFirst = 2;
  static constexpr uint8_t kSecond = 4;
  std::vector<uint8_t> filter_;
};

#endif  // URDULEX_NORMALIZATION_FSM_H_
