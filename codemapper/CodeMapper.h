// The letter-code mapper: turns Urdu text into lines of decimal letter codes.
//
// The code table lives in the process-wide array `mapper`, one signed code
// per 16-bit character, 0 meaning "no code". It is filled by ReadPatterns
// from a 16-bit Unicode file of lines "<letter>:<code>" CR LF and read by
// GetValue, which maps one line of text:
//   - a character above U+00FF with a code becomes the decimal text of the
//     code (neighbouring codes are written back to back);
//   - a character U+0000-U+00FF other than CR is copied as one byte;
//   - anything else (CR, a character above U+00FF without a code) is dropped.
//
// Not thread-safe: the table is global and unguarded.

#ifndef URDULEX_CODEMAPPER_CODEMAPPER_H_
#define URDULEX_CODEMAPPER_CODEMAPPER_H_

#include <cstdint>
#include <string>

// Number of slots of the code table: one per 16-bit character.
constexpr int kMapperSlots = 0x10000;

// The code table, zero at program start.
extern int mapper[kMapperSlots];

// The code of slot `index` (a 16-bit character value); 0 outside the table.
int show(int index);

// Reads one decimal integer from the start of `text` (leading white space
// and a sign allowed, stops at the first other character). 0 when there is
// no number or it does not fit in 32 bits. An integer despite the name.
int convertToDouble(const std::string& text);

// Decimal text of `value`. On a stream failure writes "error" to standard
// output and returns the empty text.
std::string stringify(int value);

// Loads the code table file `name` into `mapper`. Returns true when the whole
// file was read; false when it is missing, lacks the byte-order mark or ends
// inside a line ending (codes stored before the failure stay). When
// `error` is given, a failure leaves the reader's report line there. When
// `unended_line` is given, a successful read leaves there the line where
// text after the last CR LF starts, which the reader dropped (see
// UnendedLineFinder), or 0; it is judged on the units this read loaded.
bool ReadPatterns(const char* name);
bool ReadPatterns(const char* name, std::string* error,
                  uint64_t* unended_line = nullptr);

// Maps one line; the result always ends with one LF.
std::string GetValue(std::wstring line);

// Appends the mapping of `line`, without the final LF, to `out`. The same
// mapping as GetValue without the copies, for callers mapping many lines.
void AppendValue(const std::wstring& line, std::string* out);

// Room MapCharacters needs: this many bytes per character, plus
// kMapSlack bytes at the end.
constexpr size_t kMaxMappedLength = 11;  // "-2147483648"
constexpr size_t kMapSlack = 16;

// Writes the mapping of the characters [begin, end) to `out` and returns the
// end of what was written. `out` must have room for
// kMaxMappedLength * (end - begin) + kMapSlack bytes.
char* MapCharacters(const wchar_t* begin, const wchar_t* end, char* out);

// --- The same on a table of the caller's ---
//
// The functions above work on the process-wide `mapper`; these take the
// table, so that a program may hold several, or share one between threads.
// The global ones are these on `mapper`.

// The decimal text of a code, kept beside the table so that mapping a
// character costs no number formatting. An entry is valid while its
// `code` equals the slot's code.
struct CodeText {
  int code = 0;
  unsigned char length = 0;
  char text[kMapSlack];  // copied whole; `length` bytes of it count
};

// ReadPatterns into `codes` (kMapperSlots entries).
bool ReadPatternsInto(int* codes, const char* name, std::string* error,
                      uint64_t* unended_line);
// Fills `texts` (kMapperSlots entries) for every code of `codes`.
void FillCodeTexts(const int* codes, CodeText* texts);
// MapCharacters through `codes` and the `texts` FillCodeTexts filled for
// them; reads both, writes neither.
char* MapCharactersWith(const int* codes, const CodeText* texts,
                        const wchar_t* begin, const wchar_t* end, char* out);

#endif  // URDULEX_CODEMAPPER_CODEMAPPER_H_
