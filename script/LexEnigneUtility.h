// LexEnigneUtility: the Urdu script services of the library.
//
// One class for the script operations: symbolic diacritics, UZT conversion,
// the search alphabet and label sets, and the raw Unicode buffer layouts and
// file copy. Its only state is the UZT conversion tables, which it borrows
// from the caller that installs them; callers that need no conversion use a
// default-constructed object.

#ifndef URDULEX_SCRIPT_LEXENIGNEUTILITY_H_
#define URDULEX_SCRIPT_LEXENIGNEUTILITY_H_

#include <string>

#include "script/UrduCharSet.h"

class LexEnigneUtility {
 public:
  // === Symbolic diacritics (LexEnigneUtility.cpp) ===
  //
  // A bare word travels with a symbolic string of one capital letter per
  // letter: Z fatha, R kasra, P damma, J sukun, K superscript alef,
  // D fathatan, S shadda (always followed by the letter's vowel or X),
  // M madda, X no mark. Space, ZWJ and ZWNJ own no symbol. None of these
  // touch the conversion state and none throws.

  // One of U+064E, U+0650, U+064F, U+0652, U+0670, U+064B, U+0651, U+0653.
  bool IsDiacritic(wchar_t c) const;
  bool DoesContainDiacritics(std::wstring word) const;
  // Splits `word` into its bare letters and their symbols; both outputs are
  // cleared first. Always true.
  bool SeparateSymbolicDiacritics(std::wstring word, std::wstring& bare,
                                  std::string& symbols) const;
  // Puts the marks of `symbols` back after the letters of `bare`. Surplus
  // symbols are ignored; letters past the last symbol are copied bare.
  std::wstring MergeSymbolicDiacritics(std::wstring bare,
                                       std::string symbols) const;
  // True when `candidate` fits `pattern`, X in the pattern standing for any
  // one letter's marks; always true when `match` is false.
  bool MatchSymbolicDiacritics(std::string pattern, std::string candidate,
                               bool match) const;
  // Drops fatha, kasra, damma, sukun, shadda and maddah above (superscript
  // alef and fathatan stay); hamza followed by waw becomes U+0624.
  std::wstring RemoveDiacritics(std::wstring word) const;
  // === end: symbolic diacritics ===

  // === UZT conversion, search strings, labels, buffers (other .cpp files) ===

  // UZT conversion (UZTConversion.cpp). The tables are borrowed: the caller
  // keeps them alive and unchanged while conversions run (UZTMapping owns a
  // set for its holder). `tables[0]` is the UZT byte of every character index,
  // `tables[1]` its plate class ('A', 'U', 'N' or 'X'); `uztToUnicode` has 256
  // entries, 0 for a byte without a character. No check is made here; the
  // tables must cover every index that `indexMap` hands out.
  void SetUnicodeUZTInterMapping(UniChar2IndexMap* indexMap,
                                 unsigned char** tables, int count,
                                 unsigned short* uztToUnicode);
  // Both return true; every failure is thrown as TARNIException or
  // InvalidFormatException with module "LexEnigneUtility". An empty input
  // converts without tables.
  bool ConvertUnicode2UZT(const std::wstring& text, std::string& uzt) const;
  bool ConvertUZT2Unicode(const std::string& uzt, std::wstring& text) const;

  // Search strings and label sets (SearchStrings.cpp). A character is valid
  // below `limit` when the map gives it an index smaller than `limit`.
  bool ValidateSearchString(UniChar2IndexMap map, int limit, std::wstring text);
  // As ValidateSearchString, but '+', '(' and ')' are always accepted.
  bool ValidatePronunciationString(UniChar2IndexMap map, int limit,
                                   std::wstring text);
  // Erases every character not valid below `limit`; always true.
  bool RemoveInvalidSearchChars(UniChar2IndexMap& map, int limit,
                                std::wstring& text);
  // Only 'a'-'z', 'A'-'Z', '-' and space.
  bool ValidateEnglishSearchString(std::wstring text);
  // '-' becomes a space; "'s", "'", '(' and ')' vanish; ASCII letters are
  // lower-cased.
  std::wstring NormalizeEnglishSearchString(std::wstring text);
  // Label sets: `n` 16-bit codes, 0 for an empty slot. An all-zero `first`
  // matches any `second`.
  bool IsLabelZero(unsigned short* labels, int n);
  bool OrLabels(unsigned short* first, unsigned short* second, int n);
  bool AndLabels(unsigned short* first, unsigned short* second, int n);

  // Raw Unicode buffers and file copy (BufferLayouts.cpp). The value is the
  // number of bytes per unit; units are little-endian and no byte-order mark
  // is written or skipped.
  enum __QIV_UNICODE_FILE_FORMAT { UNICODE_16BIT = 2, UNICODE_32BIT = 4 };
  // Return 1 with a new[] array that the caller owns, or 0 with a null
  // array and a count of 0. A trailing partial unit fails the whole call.
  int __ConvertCharBuf2WCharBuf(const unsigned char* bytes, int byteCount,
                                wchar_t*& chars, int& charCount,
                                __QIV_UNICODE_FILE_FORMAT format);
  int __ConvertWCharBuf2CharBuf(const wchar_t* chars, int charCount,
                                unsigned char*& bytes, int& byteCount,
                                __QIV_UNICODE_FILE_FORMAT format);
  // 1 when `target` holds an exact copy of `source`, else 0; never throws.
  // A failure after the target was opened may leave it partly written.
  int __QivCopyFile(const std::string& source, const std::string& target);

  // === end: UZT conversion, search strings, labels, buffers ===

 private:
  // === conversion state ===
  // Borrowed from the caller of SetUnicodeUZTInterMapping; never freed here.
  UniChar2IndexMap* unicodeIndexMap = nullptr;
  unsigned char* uztByteTable = nullptr;
  unsigned char* plateClassTable = nullptr;
  unsigned short* uztUnicodeTable = nullptr;
  int mappingCount = 0;
  // === end: conversion state ===
};

#endif  // URDULEX_SCRIPT_LEXENIGNEUTILITY_H_
