#include "script/LexEnigneUtility.h"

// Symbolic diacritics. The other script services live in their own files.

namespace {

constexpr wchar_t kFatha = 0x064E;
constexpr wchar_t kKasra = 0x0650;
constexpr wchar_t kDamma = 0x064F;
constexpr wchar_t kSukun = 0x0652;
constexpr wchar_t kSuperscriptAlef = 0x0670;
constexpr wchar_t kFathatan = 0x064B;
constexpr wchar_t kShadda = 0x0651;
constexpr wchar_t kMaddahAbove = 0x0653;
constexpr wchar_t kAlefWithMadda = 0x0622;
constexpr wchar_t kHamza = 0x0621;
constexpr wchar_t kWaw = 0x0648;
constexpr wchar_t kWawWithHamza = 0x0624;
constexpr wchar_t kSpace = 0x0020;
constexpr wchar_t kZeroWidthNonJoiner = 0x200C;
constexpr wchar_t kZeroWidthJoiner = 0x200D;

// Characters that sit between words or letter groups and own no symbol.
bool IsSeparator(wchar_t c) {
  return c == kSpace || c == kZeroWidthJoiner || c == kZeroWidthNonJoiner;
}

// The mark a vowel symbol stands for, or 0 for any other byte.
wchar_t VowelMark(char symbol) {
  switch (symbol) {
    case 'Z':
      return kFatha;
    case 'R':
      return kKasra;
    case 'P':
      return kDamma;
    default:
      return 0;
  }
}

// The mark a single-mark symbol (Z, R, P, J, K, D) stands for, or 0.
wchar_t SingleMark(char symbol) {
  switch (symbol) {
    case 'J':
      return kSukun;
    case 'K':
      return kSuperscriptAlef;
    case 'D':
      return kFathatan;
    default:
      return VowelMark(symbol);
  }
}

}  // namespace

bool LexEnigneUtility::IsDiacritic(wchar_t c) const {
  switch (c) {
    case kFatha:
    case kKasra:
    case kDamma:
    case kSukun:
    case kSuperscriptAlef:
    case kFathatan:
    case kShadda:
    case kMaddahAbove:
      return true;
    default:
      return false;
  }
}

bool LexEnigneUtility::DoesContainDiacritics(std::wstring word) const {
  for (wchar_t c : word) {
    if (IsDiacritic(c)) return true;
  }
  return false;
}

bool LexEnigneUtility::SeparateSymbolicDiacritics(std::wstring word,
                                                  std::wstring& bare,
                                                  std::string& symbols) const {
  bare.clear();
  symbols.clear();
  // True while the last letter placed in `bare` still waits for its symbol.
  bool open = false;
  for (wchar_t c : word) {
    switch (c) {
      case kFatha:
        symbols.push_back('Z');
        open = false;
        break;
      case kKasra:
        symbols.push_back('R');
        open = false;
        break;
      case kDamma:
        symbols.push_back('P');
        open = false;
        break;
      case kSukun:
        symbols.push_back('J');
        open = false;
        break;
      case kShadda:
        if (!open && !symbols.empty()) {
          // The vowel was typed before the shadda: S goes in front of it.
          char vowel = symbols.back();
          symbols.back() = 'S';
          symbols.push_back(vowel);
        } else {
          symbols.push_back('S');
          open = true;
        }
        break;
      case kMaddahAbove:
        symbols.push_back('M');
        open = false;
        break;
      case kAlefWithMadda:
        if (open) symbols.push_back('X');
        symbols.push_back('M');
        bare.push_back(c);
        open = false;
        break;
      default:
        if (open) symbols.push_back('X');
        bare.push_back(c);
        open = !IsSeparator(c);
        break;
    }
  }
  if (open) symbols.push_back('X');
  return true;
}

std::wstring LexEnigneUtility::MergeSymbolicDiacritics(
    std::wstring bare, std::string symbols) const {
  std::wstring out;
  out.reserve(bare.size() * 2);
  size_t j = 0;
  const size_t n = symbols.size();
  for (wchar_t c : bare) {
    out.push_back(c);
    if (IsSeparator(c)) continue;
    char symbol = j < n ? symbols[j] : '\0';
    if (wchar_t mark = SingleMark(symbol)) {
      out.push_back(mark);
      j += 1;
      continue;
    }
    if (symbol == 'S') {
      out.push_back(kShadda);
      wchar_t vowel = j + 1 < n ? VowelMark(symbols[j + 1]) : 0;
      if (vowel != 0) out.push_back(vowel);
      j += 2;
    } else {
      j += 1;  // M, X, an unknown byte, or no symbol left
    }
  }
  return out;
}

bool LexEnigneUtility::MatchSymbolicDiacritics(std::string pattern,
                                               std::string candidate,
                                               bool match) const {
  if (!match) return true;
  size_t i = 0;
  size_t j = 0;
  while (i < pattern.size() && j < candidate.size()) {
    if (pattern[i] != candidate[j]) {
      if (pattern[i] != 'X') return false;
      // The wildcard covers a shadda together with the vowel after it.
      if (candidate[j] == 'S') ++j;
    }
    ++i;
    ++j;
  }
  return i == pattern.size() && j == candidate.size();
}

std::wstring LexEnigneUtility::RemoveDiacritics(std::wstring word) const {
  std::wstring out;
  out.reserve(word.size());
  for (size_t i = 0; i < word.size(); ++i) {
    wchar_t c = word[i];
    if (c == kHamza && i + 1 < word.size() && word[i + 1] == kWaw) {
      out.push_back(kWawWithHamza);
      ++i;
      continue;
    }
    switch (c) {
      case kFatha:
      case kKasra:
      case kDamma:
      case kSukun:
      case kShadda:
      case kMaddahAbove:
        break;
      default:
        out.push_back(c);
        break;
    }
  }
  return out;
}
