#include "foundation/Quote.h"

#include <cstdio>

namespace urdulex::internal {

namespace {

// The length of the UTF-8 sequence of a printable character at
// `s[i, n)`, or 0 for a byte that starts none (or starts a control
// character, U+0080 to U+009F).
size_t PrintableSequence(const unsigned char* s, size_t i, size_t n) {
  const unsigned char c = s[i];
  if (c < 0x80) return c >= 0x20 && c != 0x7F ? 1 : 0;
  size_t length;
  unsigned long code;
  if (c >= 0xC2 && c <= 0xDF) {
    length = 2;
    code = c & 0x1F;
  } else if (c >= 0xE0 && c <= 0xEF) {
    length = 3;
    code = c & 0x0F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    length = 4;
    code = c & 0x07;
  } else {
    return 0;
  }
  if (n - i < length) return 0;
  for (size_t k = 1; k < length; ++k) {
    if ((s[i + k] & 0xC0) != 0x80) return 0;
    code = code << 6 | (s[i + k] & 0x3F);
  }
  const bool shortest = length == 2   ? code >= 0x80
                        : length == 3 ? code >= 0x800
                                      : code >= 0x10000;
  if (!shortest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF) ||
      (code >= 0x80 && code <= 0x9F)) {
    return 0;
  }
  return length;
}

// Whether the ASCII character `c` at `i` of a name of `n` bytes leaves it
// as a shell would take it.
bool IsPlain(unsigned char c, size_t i, size_t n) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
      (c >= '0' && c <= '9')) {
    return true;
  }
  switch (c) {
    case '%':
    case '+':
    case ',':
    case '-':
    case '.':
    case '/':
    case ':':
    case '@':
    case '_':
    case ']':
      return true;
    case '#':
    case '~':
      return i > 0;
    case '{':
    case '}':
      return n > 1;
    default:
      return false;
  }
}

// The escape of byte `c` within $'...'.
std::string Escape(unsigned char c) {
  switch (c) {
    case '\a':
      return "\\a";
    case '\b':
      return "\\b";
    case '\t':
      return "\\t";
    case '\n':
      return "\\n";
    case '\v':
      return "\\v";
    case '\f':
      return "\\f";
    case '\r':
      return "\\r";
    default: {
      char octal[8];
      std::snprintf(octal, sizeof(octal), "\\%03o", c);
      return octal;
    }
  }
}

}  // namespace

std::string QuoteName(const std::string& name) {
  const unsigned char* s = reinterpret_cast<const unsigned char*>(name.data());
  const size_t n = name.size();
  bool plain = n > 0;
  bool printable = true;    // no byte needs an escape
  bool single = false;      // holds a single quote
  bool double_safe = true;  // nothing that double quotes would change
  for (size_t i = 0; i < n;) {
    const size_t length = PrintableSequence(s, i, n);
    if (length == 0) {
      plain = false;
      printable = false;
      ++i;
      continue;
    }
    if (length == 1) {
      const unsigned char c = s[i];
      if (!IsPlain(c, i, n)) plain = false;
      if (c == '\'') single = true;
      if (c == '"' || c == '$' || c == '`' || c == '\\' || c == '!') {
        double_safe = false;
      }
    }
    i += length;
  }
  if (plain) return name;
  if (single && printable && double_safe) return "\"" + name + "\"";
  // Runs of escapes share one $'...'; a single quote is \' between the
  // quoted parts.
  std::string out = "'";
  enum { kNone, kQuoted, kEscapes } state = kQuoted;
  for (size_t i = 0; i < n;) {
    const size_t length = PrintableSequence(s, i, n);
    if (length == 0) {
      if (state == kQuoted) out += '\'';
      if (state != kEscapes) out += "$'";
      out += Escape(s[i]);
      state = kEscapes;
      ++i;
      continue;
    }
    if (length == 1 && s[i] == '\'') {
      if (state != kNone) out += '\'';
      out += "\\'";
      state = kNone;
    } else {
      if (state == kEscapes) out += '\'';
      if (state != kQuoted) out += '\'';
      state = kQuoted;
      out.append(name, i, length);
    }
    i += length;
  }
  if (state != kNone) out += '\'';
  return out;
}

std::string MessageName(const std::string& name) {
  if (name == "standard input" || name == "standard output") return name;
  return QuoteName(name);
}

}  // namespace urdulex::internal
