// Line and character filters of the programs and the public API: removing
// combining marks, the report of a normalization's changes, and the letter
// codes of `codemapper` for text that does not come from a 16-bit file.

#ifndef URDULEX_TEXT_TEXTFILTERS_H_
#define URDULEX_TEXT_TEXTFILTERS_H_

#include <cstddef>
#include <string>

#include "codemapper/CodeMapper.h"
#include "normalization/Normalizer.h"
#include "text/TextIO.h"

namespace urdulex::internal {

// The Arabic-script combining marks: U+0610-U+061A, U+064B-U+065F, U+0670
// and U+06D6-U+06ED. Letters that carry a mark in their own code point
// (U+0622, U+0623, U+0624, U+0626, U+06C2, U+06D3) are not marks.
inline bool IsCombiningMark(char16_t c) {
  return (c >= 0x0610 && c <= 0x061A) || (c >= 0x064B && c <= 0x065F) ||
         c == 0x0670 || (c >= 0x06D6 && c <= 0x06ED);
}

// Removes the combining marks from text[0, n) in place, all but the shadda
// (U+0651) when `keep_shadda`; returns the new length. A letter written as
// a base and a combining hamza or madda is composed first
// (ComposeArabicLetters), so that it keeps its hamza or madda.
size_t StripMarks(char16_t* text, size_t n, bool keep_shadda);

// Where the last letter of text[0, n) begins with the marks after it: text
// before it strips the same whatever comes after `n`, so a block may be
// stripped up to there and the rest given again with the next block. A run
// of marks too long to be a letter's is not held back.
size_t StripSafeEnd(const char16_t* text, size_t n);

// One change a normalization makes: "WHERE:COLUMN: U+0627 U+0653 ->
// U+0622", where WHERE is NAME:LINE and COLUMN counts the characters of
// `line` (a surrogate pair is one) up to the change, from 1. An empty side
// is written as "nothing". The column is counted on from `cursor`, which
// is left at the change: describing the changes of a line in order costs
// the line's length once, however many there are.
struct ColumnCursor {
  size_t position = 0;  // in `line`
  uint64_t column = 1;  // of that position
};
std::string DescribeChange(const std::string& where, const std::wstring& line,
                           const NormChange& change, ColumnCursor* cursor);

// Writes UTF-8 `text` (a message, a file name) to `out`.
void PutUtf8(const std::string& text, TextWriter& out);

// A line a normalization changes, before and after: "-WHERE: before" and
// "+WHERE: after", each ended by LF.
void PutLineDiff(const std::string& where, const std::wstring& before,
                 const std::wstring& after, TextWriter& out);

// Appends to `out` the letter codes of one line (without its line end) as
// `codemapper` writes them for the same line: shadda doubling as the
// reader does it, then the mapping of the loaded code table (ReadPatterns).
// `scratch` is reused between calls.
void AppendLineCodes(const char16_t* line, size_t n, std::wstring* scratch,
                     std::string* out);
// The same through the table `codes` and its `texts` (FillCodeTexts), or
// through `mapper` when `texts` is null.
void AppendLineCodes(const int* codes, const CodeText* texts,
                     const char16_t* line, size_t n, std::wstring* scratch,
                     std::string* out);
// The mapping alone, of `units` with the shaddas already doubled.
void AppendCodes(const int* codes, const CodeText* texts,
                 const std::wstring& units, std::string* out);

// Loads the code table file `path` into `codes` (kMapperSlots entries);
// throws Error with a one-line message naming the file.
void LoadCodeTable(const std::string& path, int* codes);

// Whether a line may be cut before line[i] (i > 0) for AppendLineCodes:
// the codes of the two parts joined are those of the whole. A shadda
// doubles the letter before it, and after U+06BE the one before that too,
// so no part may start with either.
inline bool CodesCanCutBefore(const char16_t* line, size_t i) {
  return line[i] != 0x0651 && line[i] != 0x06BE;
}

}  // namespace urdulex::internal

#endif  // URDULEX_TEXT_TEXTFILTERS_H_
