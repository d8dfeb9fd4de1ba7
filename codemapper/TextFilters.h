// Line and character filters of the `urdu` program: removing combining
// marks, and the letter codes of `codemapper` for text that does not come
// from a 16-bit file.

#ifndef URDULEX_TOOLS_URDU_TEXTFILTERS_H_
#define URDULEX_TOOLS_URDU_TEXTFILTERS_H_

#include <cstddef>
#include <string>

namespace urdu {

// The Arabic-script combining marks: U+0610-U+061A, U+064B-U+065F, U+0670
// and U+06D6-U+06ED. Letters that carry a mark in their own code point
// (U+0622, U+0623, U+0624, U+0626, U+06C2, U+06D3) are not marks.
bool IsCombiningMark(char16_t c);

// Removes the combining marks from text[0, n) in place, all but the shadda
// (U+0651) when `keep_shadda`; returns the new length.
size_t StripMarks(char16_t* text, size_t n, bool keep_shadda);

// Appends to `out` the letter codes of one line (without its line end) as
// `codemapper` writes them for the same line: shadda doubling as the
// reader does it, then the mapping of the loaded code table (ReadPatterns).
// `scratch` is reused between calls.
void AppendLineCodes(const char16_t* line, size_t n, std::wstring* scratch,
                     std::string* out);

}  // namespace urdu

#endif  // URDULEX_TOOLS_URDU_TEXTFILTERS_H_
