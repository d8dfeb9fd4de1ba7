// Normalizer rewrites text by replacement rules read from a rules file.
// NormalizeString works in two fixed steps: it moves every U+06BE (heh
// doachashmee) in front of the diacritics between it and its base letter,
// then makes one left-to-right pass replacing every occurrence of a rule
// pattern by the rule's replacement. Replacements are never searched again.
//
// The rules file is 16-bit Unicode with the mark FF FE; each rule is a line
// "pattern:replacement" ended by CR LF (doc/normalization.md gives the
// reading rules in full). Nothing is thrown out of this class except
// std::bad_alloc: a file that cannot be read makes ReadPatterns and
// LoadNormRules return false, and GetLastError says why.
//
// The normalizer owns its rules and automaton; it is not thread-safe while
// loading, and NormalizeString only reads it.

#ifndef URDULEX_NORMALIZATION_NORMALIZER_H_
#define URDULEX_NORMALIZATION_NORMALIZER_H_

#include <cstdint>
#include <string>
#include <vector>

#include "normalization/fsm.h"

struct NormRule {
  std::wstring pattern;
  std::wstring replacement;
};

// One change NormalizeString makes: the units text[position, position +
// before.size()) of its input become `after`. Changes touching the same
// units (a U+06BE moved and a rule applied over it) are one change; the
// changes of a text are in order and do not overlap.
struct NormChange {
  size_t position;
  std::wstring before;
  std::wstring after;
};

class Normalizer {
 public:
  Normalizer();
  ~Normalizer();

  // Appends the rules of the file `path` to `rules` (the list is not emptied
  // first). False when the file cannot be opened, lacks the mark, or a read
  // fails; the rules read before the failure stay in the list.
  bool ReadPatterns(const char* path);
  // Reads the file and compiles the automaton, once: when the automaton is
  // already defined, returns true without reading. False when ReadPatterns
  // fails or the rules go past the automaton's limits (FSM::kMaxPatterns,
  // kMaxChars, kMaxStates); the automaton then stays not defined.
  bool LoadNormRules(std::string path);
  // The same with the bytes of a rules file held in memory (mark
  // included), such as rules built into a program.
  bool LoadNormRules(const unsigned char* bytes, size_t n);

  // Step 1 and then step 2.
  std::wstring NormalizeString(std::wstring text);
  // Step 1: each U+06BE that follows a run of diacritics goes in front of
  // the run. The result has the length of `text`.
  std::wstring DiacriticHehDoChasmee(std::wstring text);
  // Step 2, in place.
  void ReplaceMatches(std::wstring& text);
  // True for the 18 diacritics of the U+06BE step.
  bool IsDiac(wchar_t c) const;
  // Whether a text may be cut right after `c`: NormalizeString of the
  // parts joined is NormalizeString of the whole. So it is when `c` is in
  // no rule pattern, is no diacritic and not U+06BE: no match then holds
  // it, and no U+06BE moves across it.
  bool CanCutAfter(wchar_t c) const;
  // Discards the automaton and the rules.
  void Clear();

  // NormalizeString of `text` into `*out`, which may be the same string;
  // `text` is used as scratch space and left with unspecified contents.
  void NormalizeInto(std::wstring& text, std::wstring* out) const;

  // NormalizeString of `text` into `*out` (a distinct string), and the
  // changes it made in `*changes`, recorded as each step makes them:
  // replacing every change's `before` by its `after` in `text` gives
  // `*out`. A rule whose replacement equals its pattern changes nothing
  // and is not listed.
  void NormalizeWithChanges(const std::wstring& text, std::wstring* out,
                            std::vector<NormChange>* changes) const;

  // Why the last ReadPatterns or LoadNormRules returned false; empty after
  // a success.
  const std::string& GetLastError() const { return last_error_; }

  // After a successful ReadPatterns: the line of its file where text after
  // the last CR LF starts, which the reading rules drop (see
  // UnendedLineFinder), or 0. Judged on the units that read loaded, so the
  // file need not, and must not, be read again to check it.
  uint64_t UnendedLine() const { return unended_line_; }

  FSM fsm;
  std::vector<NormRule> rules;

 private:
  // Compiles the automaton of `rules`; false past its limits.
  bool CompileRules();
  // A stretch text[start, end) that a step rewrote; for step 2 `rule` is
  // the rule applied there.
  struct Edit {
    size_t start;
    size_t end;
    size_t rule;
  };
  // Step 1 on `text` itself; each U+06BE moved adds the stretch from the
  // run's start to the U+06BE's old place to `moved`, when given.
  static void MoveHehInPlace(std::wstring& text,
                             std::vector<Edit>* moved = nullptr);
  // Step 2 from `text` into `*out` (distinct strings); false, with `*out`
  // untouched, when nothing matches. Each match is added to `matches`, when
  // given.
  bool ReplaceInto(const std::wstring& text, std::wstring* out,
                   std::vector<Edit>* matches = nullptr) const;

  std::string last_error_;
  uint64_t unended_line_ = 0;
};

#endif  // URDULEX_NORMALIZATION_NORMALIZER_H_
