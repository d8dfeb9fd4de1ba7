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

#include "lexicon/Structs.h"
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

  // === Entry conversion (LexiconConversion.cpp) ===
  //
  // Each converter turns a record of the Unicode form into its UZT twin
  // (ConvertTo...) or back (ConvertFrom...), field by field: texts through
  // ConvertUnicode2UZT / ConvertUZT2Unicode, codes, identifiers and symbolic
  // diacritics copied, lists element by element in order. Records whose
  // texts are all empty convert without tables. A record converter catches
  // nothing: the errors of the text conversion and of the part-of-speech
  // converters pass through. If a part of speech of an entry fails, the ones
  // already converted for that entry are released before the error passes.
  WordRef_UZT ConvertToWordRef_UZT(const WordRef& in) const;
  WordRef ConvertFromWordRef_UZT(const WordRef_UZT& in) const;
  WordWithID_UZT ConvertToWordWithID_UZT(const WordWithID& in) const;
  WordWithID ConvertFromWordWithID_UZT(const WordWithID_UZT& in) const;
  IdiomRef_UZT ConvertToIdiomRef_UZT(const IdiomRef& in) const;
  IdiomRef ConvertFromIdiomRef_UZT(const IdiomRef_UZT& in) const;
  CompoundRef_UZT ConvertToCompoundRef_UZT(const CompoundRef& in) const;
  CompoundRef ConvertFromCompoundRef_UZT(const CompoundRef_UZT& in) const;
  WordPro_UZT ConvertToWordPro_UZT(const WordPro& in) const;
  WordPro ConvertFromWordPro_UZT(const WordPro_UZT& in) const;
  WordProRef_UZT ConvertToWordProRef_UZT(const WordProRef& in) const;
  WordProRef ConvertFromWordProRef_UZT(const WordProRef_UZT& in) const;
  Infl_UZT ConvertToInfl_UZT(const Infl& in) const;
  Infl ConvertFromInfl_UZT(const Infl_UZT& in) const;
  Example_UZT ConvertToExample_UZT(const Example& in) const;
  Example ConvertFromExample_UZT(const Example_UZT& in) const;
  SearchResult_UZT ConvertToSearchResult_UZT(const SearchResult& in) const;
  SearchResult ConvertFromSearchResult_UZT(const SearchResult_UZT& in) const;
  Sense_UZT ConvertToSense_UZT(const Sense& in) const;
  Sense ConvertFromSense_UZT(const Sense_UZT& in) const;
  SubSense_UZT ConvertToSubSense_UZT(const SubSense& in) const;
  SubSense ConvertFromSubSense_UZT(const SubSense_UZT& in) const;
  IdiomSense_UZT ConvertToIdiomSense_UZT(const IdiomSense& in) const;
  IdiomSense ConvertFromIdiomSense_UZT(const IdiomSense_UZT& in) const;
  IdiomSubSense_UZT ConvertToIdiomSubSense_UZT(const IdiomSubSense& in) const;
  IdiomSubSense ConvertFromIdiomSubSense_UZT(const IdiomSubSense_UZT& in) const;
  IdiomData_UZT ConvertToIdiomData_UZT(const IdiomData& in) const;
  IdiomData ConvertFromIdiomData_UZT(const IdiomData_UZT& in) const;
  CompoundInfo_UZT ConvertToCompoundInfo_UZT(const CompoundInfo& in) const;
  CompoundInfo ConvertFromCompoundInfo_UZT(const CompoundInfo_UZT& in) const;
  WordInfo_UZT ConvertToWordInfo_UZT(const WordInfo& in) const;
  WordInfo ConvertFromWordInfo_UZT(const WordInfo_UZT& in) const;
  // The parts of speech of the result are new objects that the caller owns.
  WordData_UZT ConvertToWordData_UZT(const WordData& in) const;
  WordData ConvertFromWordData_UZT(const WordData_UZT& in) const;

  // A new object of the class that `pos`'s name selects (its UZT twin, or
  // its Unicode class), which the caller owns, or null for a name of no
  // class. `pos` must not be null; it is only read. Throws:
  // MemoryAllocationException (code 0x20) when memory runs out; TARNIException
  // "Converting POS into UZT encoding: Error occurred while <step>." (code 0)
  // or "... into Unicode encoding: ..." (code 0x20) when a getter or setter
  // answers other than 1; and passes on an error of a text conversion with
  // " Converting POS into UZT encoding failed." (or "Unicode") appended.
  // Nothing is left allocated by a throw.
  POS_UZT* ConvertToPOS_UZT(POS* pos) const;
  POS* ConvertFromPOS_UZT(POS_UZT* pos) const;
  // === end: entry conversion ===

 private:
  // === conversion state ===
  // Borrowed from the caller of SetUnicodeUZTInterMapping; never freed here.
  UniChar2IndexMap* unicodeIndexMap = nullptr;
  unsigned char* uztByteTable = nullptr;
  unsigned char* plateClassTable = nullptr;
  unsigned short* uztUnicodeTable = nullptr;
  int mappingCount = 0;
  // === end: conversion state ===

  // Whether SetUnicodeUZTInterMapping gave every table and a count.
  bool HasMapping() const {
    return unicodeIndexMap != nullptr && uztByteTable != nullptr &&
           plateClassTable != nullptr && uztUnicodeTable != nullptr &&
           mappingCount != 0;
  }
};

#endif  // URDULEX_SCRIPT_LEXENIGNEUTILITY_H_
