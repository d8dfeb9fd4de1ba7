// String and number helpers for the two string kinds of the library: wide
// strings (one code point per element) and narrow strings (bytes).
// Characters are compared by value; no locale is consulted. Nothing here
// throws except the standard allocation failure.

#ifndef URDULEX_FOUNDATION_UTILITY_H_
#define URDULEX_FOUNDATION_UTILITY_H_

#include <string>

// Space, LF, CR and TAB.
bool IsWhitespace(wchar_t c);
// True if any character is '*' or '?'.
bool DoesContainWildcardChars(const std::wstring& s);
// True if every character is an ASCII digit (also for the empty string).
bool IsNumber(const std::wstring& s);
// Appends to `out` (not cleared) (c << 8) | (c >> 8) for every c of `in`,
// computed on 32 bits with the right shift propagating the sign.
void ConvertLittleEndian2BigEndian(const std::wstring& in, std::wstring& out);
// `s` without U+0020, U+200C, U+200D, CR, LF and TAB.
std::wstring RemoveWhitespaces(const std::wstring& s);
// `s` without U+064E, U+064F, U+0650, U+0651, U+0652 and U+0653.
std::wstring RemoveDiacritics(const std::wstring& s);

// One wide character per byte of the zero-terminated `p`; bytes are taken
// as unsigned, so 0x80-0xFF become U+0080-U+00FF.
std::wstring CharString2Wstring(const char* p);
// The first `n` elements of `p`, stopping early at a 0 element.
std::wstring CharString2Wstring(const wchar_t* p, int n);
// The first `n` bytes of `p`, stopping early at a zero byte.
std::string CharString2String(const char* p, int n);
// One wide character per byte of `s` (bytes taken as unsigned).
std::wstring String2Wstring(const std::string& s);
// One byte per character of `s`: its low 8 bits.
std::string WString2String(const std::wstring& s);

// Remove leading and trailing white space. The string forms replace their
// argument with the trimmed text and return a copy; the array form moves the
// kept characters to the start of `p`, terminates them and returns `p`.
std::wstring Trim(std::wstring& s);
std::string Trim(std::string& s);
char* Trim(char* p);

// Reads a decimal integer as atoi does (leading white space, optional sign,
// digits up to the first non-digit; 0 without digits) from the low 8 bits of
// each character. Values outside the 32-bit range saturate at INT_MIN or
// INT_MAX, as strtol does.
int wstring2int(const std::wstring& s);
// Decimal text of n, as "%i" prints it.
std::wstring int2wstring(int n);
// Decimal text of n with every character moved up by 0x6C0, so the digits
// become U+06F0..U+06F9 (a leading '-' becomes U+06ED).
std::wstring int2UrduNumerals(int n);
// Levenshtein distance: insertion, deletion and substitution cost 1.
int EditDistance(const std::wstring& a, const std::wstring& b);

#endif  // URDULEX_FOUNDATION_UTILITY_H_
