#include "script/UZTStream.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "foundation/Quote.h"
#include "foundation/TARNIException.h"
#include "foundation/TextIO.h"

namespace {

constexpr char kEscape = '\xFE';

std::string CodeName(char32_t c) {
  char text[16];
  std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned int>(c));
  return text;
}

std::string ByteName(unsigned char b) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%02X", b);
  return text;
}

}  // namespace

int UnicodeInput::DetectForm(const std::string& work, bool final) {
  const auto at = [&](size_t i) { return static_cast<unsigned char>(work[i]); };
  if (work.size() >= 2 && at(0) == 0xFF && at(1) == 0xFE) {
    form_ = kUtf16LE;
    return 2;
  }
  if (work.size() >= 2 && at(0) == 0xFE && at(1) == 0xFF) {
    form_ = kUtf16BE;
    return 2;
  }
  if (work.size() >= 3 && at(0) == 0xEF && at(1) == 0xBB && at(2) == 0xBF) {
    form_ = kUtf8;
    return 3;
  }
  // A short start may still become a mark.
  const bool could_be_mark =
      work.size() < 3 && !work.empty() &&
      (at(0) == 0xFF || at(0) == 0xFE ||
       (at(0) == 0xEF && (work.size() == 1 || at(1) == 0xBB)));
  if ((could_be_mark || work.empty()) && !final) return -1;
  form_ = kUtf8;
  return 0;
}

void UnicodeInput::Fail(int64_t offset, const std::string& what) const {
  throw StreamError{offset, what, lines_ + 1, chars_ - line_start_ + 1};
}

bool SubstituteForByte(const UZTMapping& mapping, unsigned char byte,
                       wchar_t* character) {
  const unsigned char cls = mapping.PlateClass(static_cast<wchar_t>(byte));
  if (byte != 0 && (cls == 'A' || cls == 'N')) {
    *character = static_cast<wchar_t>(byte);
    return true;
  }
  const unsigned short c = mapping.UnicodeForByte(byte);
  if (c == 0 || mapping.PlateClass(static_cast<wchar_t>(c)) != 'U') {
    return false;
  }
  *character = static_cast<wchar_t>(c);
  return true;
}

namespace {

// Moves `line` and `column` over the characters text[0, n).
template <typename Char>
void Advance(const Char* text, size_t n, int64_t* line, int64_t* column) {
  int64_t lines = 0;
  size_t after_last = 0;  // one past the last line end
  for (size_t i = 0; i < n; ++i) {
    const bool end = text[i] == '\n';
    lines += end;
    after_last = end ? i + 1 : after_last;
  }
  *line += lines;
  *column = lines == 0 ? *column + static_cast<int64_t>(n)
                       : 1 + static_cast<int64_t>(n - after_last);
}

}  // namespace

void UZTStreamEncoder::Reject(wchar_t c, int64_t offset, size_t k,
                              const wchar_t* chars, size_t m) const {
  int64_t line = line_, column = column_;
  Advance(text_.data(), k, &line, &column);
  Advance(chars, m, &line, &column);
  throw StreamError{
      offset,
      CodeName(static_cast<char32_t>(c)) + " has no UZT form in the mapping",
      line, column};
}

void UZTStreamEncoder::Put(const wchar_t* chars, const int64_t* offsets,
                           size_t n, std::string& out) {
  if (on_error_.mode != OnError::kFail) {
    // What cannot be converted is settled before the library sees it.
    kept_chars_.clear();
    kept_offsets_.clear();
    for (size_t i = 0; i < n; ++i) {
      wchar_t c = chars[i];
      if (static_cast<uint32_t>(c) > 0xFFFF ||
          mapping_.PlateClass(c) == UZTMapping::kNoClass) {
        ++replaced_;
        if (on_error_.mode == OnError::kSkip) continue;
        c = on_error_.substitute;
      }
      kept_chars_.push_back(c);
      kept_offsets_.push_back(offsets[i]);
    }
    chars = kept_chars_.data();
    offsets = kept_offsets_.data();
    n = kept_chars_.size();
  }
  for (size_t i = 0; i < n; ++i) {
    // The library would look such a character up by its low 16 bits.
    if (static_cast<uint32_t>(chars[i]) <= 0xFFFF) continue;
    // An unknown character before it, pending or in this call, comes first.
    for (size_t k = 0; k < text_.size(); ++k) {
      if (mapping_.PlateClass(text_[k]) == UZTMapping::kNoClass) {
        Reject(text_[k], offsets_[k], k);
      }
    }
    for (size_t k = 0; k < i; ++k) {
      if (mapping_.PlateClass(chars[k]) == UZTMapping::kNoClass) {
        Reject(chars[k], offsets[k], text_.size(), chars, k);
      }
    }
    Reject(chars[i], offsets[i], text_.size(), chars, i);
  }
  size_t i = 0;
  while (i < n) {
    if (text_.size() < chunk_) {
      const size_t j = i + std::min(n - i, chunk_ - text_.size());
      text_.append(chars + i, j - i);
      offsets_.insert(offsets_.end(), offsets + i, offsets + j);
      i = j;
      continue;
    }
    // Long enough: cut before the next character that selects a plate.
    size_t j = i;
    while (j < n && !StartsPlate(chars[j])) ++j;
    text_.append(chars + i, j - i);
    offsets_.insert(offsets_.end(), offsets + i, offsets + j);
    i = j;
    if (i < n) {
      if (!text_.empty()) Flush(out, text_.size());
      text_.push_back(chars[i]);
      offsets_.push_back(offsets[i]);
      ++i;
    } else if (text_.size() >= kMaxPendingChunks * chunk_) {
      // No such character for long (a run of digits, spaces, brackets):
      // cut where the whole text is in the UZT plate, which gives the same
      // bytes too.
      const size_t k = LastUztPlace();
      if (k > 0) Flush(out, k);
    }
  }
}

size_t UZTStreamEncoder::LastUztPlace() {
  size_t last = 0;
  for (; walked_ < text_.size(); ++walked_) {
    if (walked_ > 0 && !walk_ascii_) last = walked_;
    const wchar_t c = text_[walked_];
    const unsigned char cls = mapping_.PlateClass(c);
    if (cls == 'A') {
      walk_ascii_ = true;
    } else if (cls == 'U' || (cls == 'X' && StartsPlate(c))) {
      walk_ascii_ = false;
    }
  }
  return walk_ascii_ ? last : text_.size();
}

void UZTStreamEncoder::Flush(std::string& out, size_t end) {
  const bool whole = end >= text_.size();
  if (!whole) head_.assign(text_, 0, end);
  try {
    utility_.ConvertUnicode2UZT(whole ? text_ : head_, bytes_);
  } catch (const TARNIException& e) {
    // Find the character the library refused; the mapping loader admits
    // only classes the library knows, so it is one the mapping lacks.
    for (size_t i = 0; i < text_.size(); ++i) {
      if (mapping_.PlateClass(text_[i]) == UZTMapping::kNoClass) {
        Reject(text_[i], offsets_[i], i);
      }
    }
    throw StreamError{offsets_.empty() ? -1 : offsets_[0], e.GetExceptionMsg(),
                      line_, column_};
  }
  Advance(text_.data(), whole ? text_.size() : end, &line_, &column_);
  if (whole) {
    text_.clear();
    offsets_.clear();
    walked_ = 0;
    walk_ascii_ = false;
  } else {
    text_.erase(0, end);
    offsets_.erase(offsets_.begin(),
                   offsets_.begin() + static_cast<std::ptrdiff_t>(end));
    walked_ -= end;
  }
  size_t begin = 0;
  if (closing_switch_held_) {
    // The last chunk closed the ASCII plate. Where this one opens it again,
    // the text as a whole would have stayed in it: drop both switches.
    if (bytes_.size() >= 2 && bytes_[0] == kEscape && bytes_[1] == '1') {
      begin = 2;
    } else {
      out.push_back(kEscape);
      out.push_back('0');
    }
    closing_switch_held_ = false;
  }
  size_t stop = bytes_.size();
  // A closing 254 '0' is the only way a chunk can end in those two bytes.
  if (stop - begin >= 2 && bytes_[stop - 2] == kEscape &&
      bytes_[stop - 1] == '0') {
    stop -= 2;
    closing_switch_held_ = true;
  }
  out.append(bytes_, begin, stop - begin);
}

void UZTStreamEncoder::Finish(std::string& out) {
  if (!text_.empty()) Flush(out, text_.size());
  if (closing_switch_held_) {
    out.push_back(kEscape);
    out.push_back('0');
    closing_switch_held_ = false;
  }
}

UZTStreamDecoder::UZTStreamDecoder(const UZTMapping& mapping,
                                   const LexEnigneUtility& utility,
                                   size_t chunk)
    : mapping_(mapping), utility_(utility), chunk_(chunk < 1 ? 1 : chunk) {}

namespace {

// True when a step that starts with byte `a` may take the byte `b` after it
// too: the escape always does, and "u", "y", "w" of the UZT plate do before
// "C", "w" and " " respectively.
bool MayJoin(unsigned char a, unsigned char b) {
  return a == 0xFE || (a == 'u' && b == 'C') || (a == 'y' && b == 'w') ||
         (a == 'w' && b == ' ');
}

}  // namespace

void UZTStreamDecoder::Put(const char* data, size_t n, std::wstring& out) {
  if (start_ > 0) {  // drop what was decoded, once per call
    Advance(pending_.data(), start_, &line_, &column_);
    pending_.erase(0, start_);
    offset_ += static_cast<int64_t>(start_);
    start_ = 0;
  }
  pending_.append(data, n);
  const unsigned char* p =
      reinterpret_cast<const unsigned char*>(pending_.data());
  const size_t size = pending_.size();
  // A chunk may end at k when the byte before k cannot join the byte at k:
  // it is then either a step of one byte or the second byte of a step, and
  // both end at k. A " " before a "w" is avoided too, for the decoder reads
  // a "w" by the byte before it.
  size_t k = start_ + chunk_;
  for (; k < size; ++k) {
    if (MayJoin(p[k - 1], p[k]) || (p[k - 1] == ' ' && p[k] == 'w')) {
      continue;
    }
    // In a string the decoder accepts, every 254 is an escape: the last
    // one before k tells the plate there.
    const void* escape = memrchr(p + start_, 0xFE, k - start_);
    const bool ascii =
        escape == nullptr ? start_ascii_
                          : static_cast<const unsigned char*>(escape)[1] == '1';
    Emit(k, ascii, out);
    k = start_ + chunk_ - 1;
  }
  // Bytes where no such place shows (long runs of escapes or of "w " pairs)
  // are walked step by step, so that they cannot pile up.
  while (size - start_ > kMaxPendingChunks * chunk_) {
    bool ascii;
    BadStep bad;
    const size_t cut = Walk(size, false, &ascii,
                            on_error_.mode == OnError::kFail ? nullptr : &bad);
    if (bad.found) {
      Emit(bad.index + 1, bad.ascii, out);  // settles the refused byte
      continue;
    }
    if (cut > start_) Emit(cut, ascii, out);
    break;
  }
}

void UZTStreamDecoder::Finish(std::wstring& out) {
  if (start_ < pending_.size()) Emit(pending_.size(), false, out);
}

bool UZTStreamDecoder::DecodeRange(size_t end, std::wstring& out,
                                   std::string* failure) {
  if (end <= start_) return true;
  chunk_bytes_.clear();
  // The library starts every string in the UZT plate.
  if (start_ascii_)
    chunk_bytes_.append(
        "\xFE"
        "1");
  chunk_bytes_.append(pending_, start_, end - start_);
  try {
    utility_.ConvertUZT2Unicode(chunk_bytes_, chunk_text_);
  } catch (const TARNIException& e) {
    *failure = e.GetExceptionMsg();
    return false;
  }
  out.append(chunk_text_);
  return true;
}

void UZTStreamDecoder::Emit(size_t end, bool ascii_at_end, std::wstring& out) {
  std::string failure;
  bool settled = false;
  while (!DecodeRange(end, out, &failure)) {
    BadStep bad;
    bool ascii;
    // Throws at the byte refused, unless it is to be settled.
    Walk(end, true, &ascii, on_error_.mode == OnError::kFail ? nullptr : &bad);
    // Not found again: report the chunk.
    if (!bad.found || !DecodeRange(bad.index, out, &failure)) {
      Fail(start_, failure);
    }
    // The bytes around a refused one decode as they would with it there: it
    // joins no step, and stands where no plate changes.
    ++replaced_;
    if (on_error_.mode == OnError::kSubstitute) {
      out.push_back(on_error_.substitute);
    }
    start_ = bad.index + 1;
    start_ascii_ = bad.ascii;
    settled = true;
  }
  if (settled) {
    // The escape that the caller took the plate at `end` from may have been
    // a refused one; every escape left decoded is sound.
    const void* escape =
        start_ < end ? memrchr(pending_.data() + start_, 0xFE, end - start_)
                     : nullptr;
    ascii_at_end = escape == nullptr
                       ? start_ascii_
                       : static_cast<const unsigned char*>(escape)[1] == '1';
  }
  start_ = end;
  start_ascii_ = ascii_at_end;
}

void UZTStreamDecoder::Fail(size_t index, const std::string& message) const {
  int64_t line = line_, column = column_;
  Advance(pending_.data(), index, &line, &column);
  throw StreamError{offset_ + static_cast<int64_t>(index), message, line,
                    column};
}

// The steps below are those of LexEnigneUtility::ConvertUZT2Unicode: they
// must agree with it on where each step starts and what it needs.
size_t UZTStreamDecoder::Walk(size_t end, bool final, bool* ascii_at,
                              BadStep* bad) const {
  const unsigned char* p =
      reinterpret_cast<const unsigned char*>(pending_.data());
  bool ascii = start_ascii_;
  unsigned char prev = 0;
  size_t cut = 0;
  *ascii_at = ascii;
  for (size_t i = start_; i < end;) {
    const unsigned char b = p[i];
    const bool has_next = i + 1 < end;
    // Every step may look at the next byte; wait until it is known.
    if (!has_next && !final) break;
    const unsigned char next = has_next ? p[i + 1] : 0;
    size_t step = 1;
    std::string refused;
    if (b == 0xFE) {
      if (next == '0') {
        ascii = false;
      } else if (next == '1') {
        ascii = true;
      } else if (!has_next) {
        refused = "code-plate escape 254 at the end of the input";
      } else {
        refused = "code-plate escape 254 followed by " + ByteName(next) +
                  " (expected '0' or '1')";
      }
      step = 2;
    } else if (ascii) {
      // every other byte stands for itself
    } else if (b == 'u') {
      if (next == 'C') step = 2;
    } else if (b == 'y') {
      if (next == 'w') step = 2;
    } else if (b == 'w') {
      if (prev == ' ' && next == ' ') step = 2;
    } else if (b != 0xC0 && b != 0xC2 && b != 0xC5 &&
               mapping_.UnicodeForByte(b) == 0) {
      refused = "byte " + ByteName(b) +
                " has no character in the UZT plate of the mapping";
    }
    if (!refused.empty()) {
      if (bad == nullptr) Fail(i, refused);
      *bad = BadStep{true, i, ascii};
      return cut;
    }
    prev = b;
    i += step;
    if (i < end && (ascii || p[i] != 'w' || prev != ' ')) {
      cut = i;
      *ascii_at = ascii;
    }
  }
  return cut;
}

namespace {

// Input is read in blocks of this size; output is written once this much
// has gathered.
constexpr size_t kReadBlock = 1 << 20;
constexpr size_t kWriteBlock = 1 << 20;

// The direct conversions below work through a block in pieces of this many
// input bytes, each converted into a local buffer and appended to the
// output at once.
constexpr size_t kPiece = 4096;

void AppendUtf8(const std::wstring& text, std::string& out) {
  for (const wchar_t wc : text) {
    char bytes[4];  // at most U+FFFF here
    out.append(bytes, utf8::EncodeSequence(static_cast<char32_t>(wc), bytes));
  }
}

// The low 16 bits of each character, low byte first (decoded text has no
// character above U+FFFF).
void AppendUtf16LE(const std::wstring& text, std::string& out) {
  const size_t at = out.size();
  out.resize(at + 2 * text.size());
  char* p = &out[at];
  for (const wchar_t wc : text) {
    const uint32_t c = static_cast<uint32_t>(wc);
    *p++ = static_cast<char>(c & 0xFF);
    *p++ = static_cast<char>((c >> 8) & 0xFF);
  }
}

// The unit at p[0, kUnit): a byte, or a UTF-16 unit in the byte order.
template <size_t kUnit, bool kLE>
uint32_t UnitAt(const unsigned char* p) {
  if (kUnit == 1) return p[0];
  return kLE ? (p[0] | p[1] << 8) : (p[0] << 8 | p[1]);
}

// Moves `line` and `column` over the units p[0, n), each kUnit bytes.
template <size_t kUnit, bool kLE = true>
void AdvanceUnits(const unsigned char* p, size_t n, int64_t* line,
                  int64_t* column) {
  int64_t ends = 0;
  for (size_t i = 0; i < n; ++i) {
    ends += UnitAt<kUnit, kLE>(p + kUnit * i) == '\n';
  }
  if (ends == 0) {
    *column += static_cast<int64_t>(n);
    return;
  }
  *line += ends;
  size_t k = n;  // one past the last line end
  while (UnitAt<kUnit, kLE>(p + kUnit * (k - 1)) != '\n') --k;
  *column = 1 + static_cast<int64_t>(n - k);
}

// The steps of LexEnigneUtility::ConvertUZT2Unicode, from the bytes straight
// to UTF-16LE or UTF-8, for as long as no step fails; the stream decoder
// takes over at the first that does, so that what is left, failures
// included, is handled as before. The whole input is one string to it:
// the plate and the steps go on from one block to the next.
//
// Every step is one table entry per plate and byte: the character, and the
// bytes after it that make it a longer step ("u" "C", "y" "w", and " " "w"
// " ", the hamza, whose space the reference takes back), compared without
// branching. Only the escape and bytes without a character leave the loop.
class DirectDecoder {
 public:
  explicit DirectDecoder(const UZTMapping& mapping) {
    for (int b = 0; b < 256; ++b) {
      Set(&table_[1][b], static_cast<uint32_t>(b));
      Set(&table_[0][b], mapping.UnicodeForByte(static_cast<unsigned char>(b)));
      if (table_[0][b].unit == 0) table_[0][b].special = true;
    }
    table_[0][0xFE].special = table_[1][0xFE].special = true;
    Set(&table_[0][0xC0], '[');
    Set(&table_[0][0xC2], ']');
    Set(&table_[0][0xC5], '|');
    Entry* const uzt = table_[0];
    Set(&uzt[0x75], 0x06C1);                   // "u"
    Join(&uzt[0x75], 'C', 0x00FF, 0x06C2, 2);  // "uC"
    Set(&uzt[0x79], 0x06D2);                   // "y"
    Join(&uzt[0x79], 'w', 0x00FF, 0x06D3, 2);  // "yw"
    Set(&uzt[0x77], 0x0626);                   // "w"
    if (!uzt[0x20].special) {                  // " w "
      Join(&uzt[0x20], 'w' | ' ' << 8, 0xFFFF, 0x0621, 3);
    }
  }

  // Decodes steps of p[0, n), appending their text to `out`, and returns
  // the bytes taken. It stops before a step that fails (`*failed` set) and,
  // unless `final`, before the last two bytes, which a step may need; when
  // `final`, p[n] and p[n + 1] must be readable zeros.
  template <bool kUtf8>
  size_t Run(const unsigned char* p, size_t n, bool final, std::string& out,
             bool* failed);

  // The plate after the bytes taken.
  bool ascii() const { return ascii_; }

 private:
  struct Entry {
    uint32_t utf8 = 0;   // the character's UTF-8 bytes, first lowest
    uint32_t jutf8 = 0;  // the joined step's
    uint16_t unit = 0;
    uint16_t junit = 0;
    uint16_t mask = 0;       // of the two bytes after
    uint16_t want = 0xFFFF;  // never matched unless set
    uint8_t len = 0;
    uint8_t jlen = 0;
    uint8_t jstep = 1;
    bool special = false;
  };

  static void Encode(uint32_t u, uint32_t* bytes, uint8_t* len) {
    char w[4] = {};
    *len = static_cast<uint8_t>(utf8::EncodeSequence(u, w) - w);
    std::memcpy(bytes, w, 4);
  }
  static void Set(Entry* e, uint32_t u) {
    e->unit = static_cast<uint16_t>(u);
    Encode(u, &e->utf8, &e->len);
    e->special = false;
  }
  static void Join(Entry* e, uint16_t want, uint16_t mask, uint32_t u,
                   uint8_t step) {
    e->want = want;
    e->mask = mask;
    e->junit = static_cast<uint16_t>(u);
    Encode(u, &e->jutf8, &e->jlen);
    e->jstep = step;
  }

  template <bool kUtf8>
  static char* Put(char* w, uint16_t unit, uint32_t utf8, uint8_t len) {
    if (kUtf8) {
      std::memcpy(w, &utf8, 4);
      return w + len;
    }
    w[0] = static_cast<char>(unit & 0xFF);
    w[1] = static_cast<char>(unit >> 8);
    return w + 2;
  }

  Entry table_[2][256];  // [ascii plate][byte]
  bool ascii_ = false;
};

template <bool kUtf8>
size_t DirectDecoder::Run(const unsigned char* p, size_t n, bool final,
                          std::string& out, bool* failed) {
  char buffer[4 * kPiece];  // a byte gives at most one character
  const size_t limit = final ? n : (n < 2 ? 0 : n - 2);
  const Entry* table = table_[ascii_];
  size_t i = 0;
  while (i < limit && !*failed) {
    const size_t piece_end = std::min(limit, i + kPiece);
    char* w = buffer;
    while (i < piece_end) {
      const Entry& e = table[p[i]];
      if (e.special) {
        const unsigned char next = p[i + 1];
        if (p[i] != 0xFE || (next != '0' && next != '1')) {
          *failed = true;
          break;
        }
        ascii_ = next == '1';
        table = table_[ascii_];
        i += 2;
        continue;
      }
      const uint16_t after = static_cast<uint16_t>(p[i + 1] | p[i + 2] << 8);
      // A branch, not a select: joined steps are rare, and the next
      // byte's place then need not wait for this byte's table entry.
      if (__builtin_expect((after & e.mask) == e.want, 0)) {
        w = Put<kUtf8>(w, e.junit, e.jutf8, e.jlen);
        i += e.jstep;
      } else {
        w = Put<kUtf8>(w, e.unit, e.utf8, e.len);
        ++i;
      }
    }
    out.append(buffer, static_cast<size_t>(w - buffer));
  }
  return i;
}

// What ConvertUnicode2UZT does with a character, by its 16-bit value: an
// entry of the encoder's table is the UZT byte, bit kIsAscii for class A,
// bit kIsNeutral for class N (class U has neither), and in the bits from
// kSpecialShift one of the kinds below for the others.
constexpr uint32_t kIsAscii = 1u << 8;
constexpr uint32_t kIsNeutral = 1u << 9;
constexpr int kSpecialShift = 12;
enum SpecialKind : uint8_t {
  kPlain,    // class A, U or N
  kFails,    // unknown to the mapping, or a surrogate
  kBracket,  // [ ] |
  kTatweel,
  kYehHamzaSeq,
  kHamzaSeq,
  kYehBarreeHamzaSeq,
  kHehGoalHamzaSeq,
};

// Input forms of the direct encoder.
enum InputForm { kFormUtf16LE, kFormUtf16BE, kFormUtf8 };

// The character at p[i] of the input p[0, n), its length in `*length`:
// false when it is to be left to the stream reader (ill-formed, above
// U+FFFF, or, with *length 0, cut by the end). For UTF-16, i + 1 < n.
template <int kForm>
inline bool CharAt(const unsigned char* p, size_t i, size_t n, uint32_t* u,
                   size_t* length) {
  if (kForm != kFormUtf8) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    uint16_t v;
    std::memcpy(&v, p + i, 2);
    *u = kForm == kFormUtf16LE ? v : __builtin_bswap16(v);
#else
    *u =
        kForm == kFormUtf16LE ? (p[i] | p[i + 1] << 8) : (p[i] << 8 | p[i + 1]);
#endif
    *length = 2;
    return true;
  }
  // ASCII and two-byte characters (Arabic letters) without a branch
  // between them, for they alternate with every word.
  const uint32_t b0 = p[i];
  const uint32_t b1 = i + 1 < n ? p[i + 1] : 0;
  const bool two = b0 - 0xC2 <= 0xDF - 0xC2 && (b1 & 0xC0) == 0x80;
  if (b0 < 0x80 || two) {
    *u = two ? (b0 & 0x1F) << 6 | (b1 & 0x3F) : b0;
    *length = 1 + two;
    return true;
  }
  char32_t c = 0;
  size_t valid = 0;
  const int len = utf8::DecodeSequence(p + i, n - i, &c, &valid);
  *u = static_cast<uint32_t>(c);
  *length = len == 0 ? 0 : len > 0 ? static_cast<size_t>(len) : 1;
  return len > 0 && c <= 0xFFFF;
}

// Moves `line` and `column` over the characters of the input bytes p[0, n)
// in the form kForm, all well-formed.
template <int kForm>
void AdvanceChars(const unsigned char* p, size_t n, int64_t* line,
                  int64_t* column) {
  if (kForm != kFormUtf8) {
    AdvanceUnits<2, kForm == kFormUtf16LE>(p, n / 2, line, column);
    return;
  }
  const int64_t ends = std::count(p, p + n, '\n');
  size_t after_last = 0;  // one past the last line end
  if (ends > 0) {
    after_last = static_cast<size_t>(
        static_cast<const unsigned char*>(memrchr(p, '\n', n)) - p + 1);
  }
  int64_t chars = 0;  // after the last line end: bytes that start one
  for (size_t i = after_last; i < n; ++i) chars += (p[i] & 0xC0) != 0x80;
  *line += ends;
  *column = ends == 0 ? *column + chars : 1 + chars;
}

// The steps of LexEnigneUtility::ConvertUnicode2UZT, from UTF-16 or UTF-8
// bytes straight to UZT, for as long as every character is known; the stream
// encoder takes over from the last place before a failure where the
// encoding may be cut (before a character that selects a plate, or in the
// UZT plate), so that what is left is handled as before.
class DirectEncoder {
 public:
  explicit DirectEncoder(const UZTMapping& mapping)
      : table_(0x10000, static_cast<uint16_t>(kFails << kSpecialShift)) {
    for (uint32_t c = 0; c < 0x10000; ++c) {
      if (c >= 0xD800 && c <= 0xDFFF) continue;
      const wchar_t wc = static_cast<wchar_t>(c);
      uint32_t entry = mapping.ByteFor(wc);
      switch (mapping.PlateClass(wc)) {
        case 'U':
          break;
        case 'A':
          entry |= kIsAscii;
          break;
        case 'N':
          entry |= kIsNeutral;
          break;
        case 'X':
          entry = (c == 0x0640   ? kTatweel
                   : c == 0x0626 ? kYehHamzaSeq
                   : c == 0x0621 ? kHamzaSeq
                   : c == 0x06D3 ? kYehBarreeHamzaSeq
                   : c == 0x06C2 ? kHehGoalHamzaSeq
                                 : kBracket)
                  << kSpecialShift;
          break;
        default:
          entry = kFails << kSpecialShift;
          break;
      }
      table_[c] = static_cast<uint16_t>(entry);
    }
  }

  // A place where the encoding may be cut: input index, output size and
  // the plate before it.
  struct Cut {
    size_t in = 0;
    size_t out = 0;
    bool ascii = false;
  };

  // Encodes the characters of p[from, n) (whole ones only), appending to
  // `out`, and returns where it stopped: before a character that fails or
  // is left to the stream reader (`*failed` set), or before one cut by the
  // end. `*cut` is moved on.
  template <int kForm>
  size_t Run(const unsigned char* p, size_t from, size_t n, std::string& out,
             bool* failed, Cut* cut);

  bool ascii() const { return ascii_; }

 private:
  // Encodes the characters that start in p[i, end) through a local buffer; with
  // kTrack, notes in `*cut` every place where the encoding may be cut, which a
  // piece that ends in the UZT plate and does not fail has no need of.
  template <int kForm, bool kTrack>
  size_t Piece(const unsigned char* p, size_t i, size_t end, size_t n,
               std::string& out, bool* failed, Cut* cut);

  std::vector<uint16_t> table_;  // kind << 8 | UZT byte
  bool ascii_ = false;
};

template <int kForm, bool kTrack>
size_t DirectEncoder::Piece(const unsigned char* p, size_t i, size_t end,
                            size_t n, std::string& out, bool* failed,
                            Cut* cut) {
  constexpr char kEsc = '\xFE';
  char buffer[5 * kPiece];  // a character gives at most five bytes
  const uint16_t* const table = table_.data();
  bool ascii = ascii_;
  Cut c = *cut;
  const size_t base = out.size();
  char* w = buffer;
  for (size_t length = 0; i < end; i += length) {
    uint32_t u = 0;
    if (!CharAt<kForm>(p, i, n, &u, &length)) {
      *failed = length > 0;
      break;
    }
    const uint32_t entry = table[u];
    const char byte = static_cast<char>(entry & 0xFF);
    // Most of Urdu text: classes U and N in the UZT plate, one byte each.
    if (!ascii && (entry & ~(kIsNeutral | 0xFFu)) == 0) {
      if (kTrack) c = Cut{i, base + static_cast<size_t>(w - buffer), false};
      *w++ = byte;
      continue;
    }
    const uint32_t kind = entry >> kSpecialShift;
    if (kind == kPlain) {
      // Without branching on the class, which alternates with every word
      // of Urdu text.
      const bool neutral = (entry & kIsNeutral) != 0;
      const bool want = ((entry & kIsAscii) != 0) | (neutral & ascii);
      if (kTrack) {
        const bool can_cut = !(ascii & neutral);
        const size_t at = base + static_cast<size_t>(w - buffer);
        c.in = can_cut ? i : c.in;
        c.out = can_cut ? at : c.out;
        c.ascii = can_cut ? ascii : c.ascii;
      }
      // The switch is written always and kept only when the plate
      // changes.
      w[0] = kEsc;
      w[1] = static_cast<char>('0' + want);
      w += 2 * static_cast<size_t>(want != ascii);
      *w++ = byte;
      ascii = want;
      continue;
    }
    if (kind == kFails) {
      *failed = true;
      break;
    }
    if (kTrack && (!ascii || kind >= kYehHamzaSeq)) {
      c = Cut{i, base + static_cast<size_t>(w - buffer), ascii};
    }
    if (kind == kBracket) {
      *w++ = ascii      ? static_cast<char>(u)
             : u == '[' ? '\xC0'
             : u == ']' ? '\xC2'
                        : '\xC5';
      continue;
    }
    if (kind == kTatweel) continue;  // UZT has no byte for it
    if (ascii) {
      w[0] = kEsc;
      w[1] = '0';
      w += 2;
      ascii = false;
    }
    switch (kind) {
      case kYehHamzaSeq:
        *w++ = 'w';
        break;
      case kHamzaSeq:
        w[0] = ' ';
        w[1] = 'w';
        w[2] = ' ';
        w += 3;
        break;
      case kYehBarreeHamzaSeq:
        w[0] = 'y';
        w[1] = 'w';
        w += 2;
        break;
      default:  // kHehGoalHamzaSeq
        w[0] = 'u';
        w[1] = 'C';
        w += 2;
        break;
    }
  }
  out.append(buffer, static_cast<size_t>(w - buffer));
  ascii_ = ascii;
  *cut = c;
  return i;
}

template <int kForm>
size_t DirectEncoder::Run(const unsigned char* p, size_t from, size_t n,
                          std::string& out, bool* failed, Cut* cut) {
  constexpr size_t kShortest = kForm == kFormUtf8 ? 1 : 2;
  size_t i = from;
  while (i + kShortest <= n && !*failed) {
    const size_t end = std::min(n + 1 - kShortest, i + kPiece);
    const size_t out_before = out.size();
    const bool ascii_before = ascii_;
    size_t next = Piece<kForm, false>(p, i, end, n, out, failed, cut);
    if (!*failed && !ascii_) {
      *cut = Cut{next, out.size(), false};  // in the UZT plate
    } else {
      // The piece again, noting each place where the encoding may be cut.
      out.resize(out_before);
      ascii_ = ascii_before;
      *failed = false;
      next = Piece<kForm, true>(p, i, end, n, out, failed, cut);
    }
    if (next < end && !*failed) return next;  // a character cut by the end
    i = next;
  }
  return i;
}

// EncodeUZTStream's conversion through UnicodeInput and UZTStreamEncoder,
// which read every form and settle every failure.
class StreamEncode {
 public:
  StreamEncode(const UZTMapping& mapping, const LexEnigneUtility& utility,
               const OnError& on_error)
      : encoder_(mapping, utility),
        chars_(new wchar_t[kMost]),
        offsets_(new int64_t[kMost]) {
    encoder_.SetOnError(on_error);
  }

  // Goes on at input byte `offset` in the form `form` (see
  // UZTStreamEncoder::Resume).
  void Resume(UnicodeInput::Form form, int64_t offset, int64_t line,
              int64_t column, bool ascii) {
    input_.Resume(form, offset, line, column);
    encoder_.Resume(line, column, ascii);
  }

  // Converts the next `n` input bytes; `final` at the end of the input.
  void Put(const unsigned char* data, size_t n, bool final, std::string& out) {
    do {
      const size_t m = std::min(n, kReadBlock);
      PutBlock(data, m, final && m == n, out);
      data += m;
      n -= m;
    } while (n > 0);
    if (final) encoder_.Finish(out);
  }

  uint64_t replaced() const { return encoder_.replaced(); }

 private:
  // One block gives at most one character a byte, plus the bytes of a
  // sequence left unfinished by the block before.
  static constexpr size_t kMost = kReadBlock + 4;

  void PutBlock(const unsigned char* data, size_t n, bool final,
                std::string& out) {
    wchar_t* next_char = chars_.get();
    int64_t* next_offset = offsets_.get();
    const auto sink = [&](char32_t c, int64_t offset) {
      *next_char++ = static_cast<wchar_t>(c);
      *next_offset++ = offset;
    };
    try {
      input_.Put(data, n, final, sink);
    } catch (const StreamError&) {
      // Malformed input; a character before it without a UZT form, pending
      // or decoded from this block, is the first failure and is named.
      encoder_.Put(chars_.get(), offsets_.get(),
                   static_cast<size_t>(next_char - chars_.get()), out);
      encoder_.Finish(out);
      throw;
    }
    encoder_.Put(chars_.get(), offsets_.get(),
                 static_cast<size_t>(next_char - chars_.get()), out);
  }

  UnicodeInput input_;
  UZTStreamEncoder encoder_;
  std::unique_ptr<wchar_t[]> chars_;
  std::unique_ptr<int64_t[]> offsets_;
};

}  // namespace

namespace {

// EncodeUZTStream on the input in[0, held), read so far, in the form kForm
// with a mark of `mark` bytes; `ended` when the input has ended.
template <int kForm>
uint64_t EncodeDirect(const UZTMapping& mapping, StreamEncode& stream,
                      const ReadBytes& read, const WriteBytes& write,
                      std::unique_ptr<unsigned char[]> in, size_t capacity,
                      size_t held, size_t mark, bool ended) {
  DirectEncoder direct(mapping);
  std::string out;
  // The input gathers in `in` from the last place where the encoding may
  // be cut (usually the last character or so), followed by a new block.
  DirectEncoder::Cut cut{mark, 0, false};  // in `in`, and in `out`
  size_t done = mark;                      // bytes of `in` encoded
  int64_t offset = 0;                      // input offset of in[0]
  int64_t line = 1, column = 1;            // of in[mark]
  bool last = false, failed = false;
  while (!last && !failed) {
    if (held + kReadBlock > capacity) {
      capacity = 2 * (held + kReadBlock);
      std::unique_ptr<unsigned char[]> more(new unsigned char[capacity]);
      std::memcpy(more.get(), in.get(), held);
      in.swap(more);
    }
    const size_t n =
        ended ? 0 : read(reinterpret_cast<char*>(in.get()) + held, kReadBlock);
    last = n == 0;
    held += n;
    done = direct.Run<kForm>(in.get(), done, held, out, &failed, &cut);
    failed |= last && done < held;  // bytes cut by the end
    if (failed) break;
    // Keep the input from the last cut; write the output before it.
    const size_t from = cut.in;
    if (from > mark) {
      AdvanceChars<kForm>(in.get() + mark, from - mark, &line, &column);
    }
    if (from > 0) std::memmove(in.get(), in.get() + from, held - from);
    offset += static_cast<int64_t>(from);
    held -= from;
    done -= from;
    cut.in = 0;
    mark = 0;
    if (cut.out >= kWriteBlock) {
      if (cut.out == out.size()) {
        write(out);
        out.clear();
      } else {
        write(out.substr(0, cut.out));
        out.erase(0, cut.out);
      }
      cut.out = 0;
    }
  }
  if (!failed) {
    if (direct.ascii()) {
      out.append(
          "\xFE"
          "0");
    }
    if (!out.empty()) write(out);
    return 0;
  }
  // The stream encoder goes on from the last cut, with its plate.
  out.resize(cut.out);
  AdvanceChars<kForm>(in.get() + mark, cut.in - mark, &line, &column);
  stream.Resume(kForm == kFormUtf8      ? UnicodeInput::kUtf8
                : kForm == kFormUtf16LE ? UnicodeInput::kUtf16LE
                                        : UnicodeInput::kUtf16BE,
                offset + static_cast<int64_t>(cut.in), line, column, cut.ascii);
  stream.Put(in.get() + cut.in, held - cut.in, last, out);
  while (!last) {
    const size_t n = read(reinterpret_cast<char*>(in.get()), kReadBlock);
    last = n == 0;
    stream.Put(in.get(), n, last, out);
    if (out.size() >= kWriteBlock) {
      write(out);
      out.clear();
    }
  }
  if (!out.empty()) write(out);
  return stream.replaced();
}

}  // namespace

uint64_t EncodeUZTStream(const UZTMapping& mapping,
                         const LexEnigneUtility& utility, const ReadBytes& read,
                         const WriteBytes& write, const OnError& on_error) {
  StreamEncode stream(mapping, utility, on_error);
  const size_t capacity = kReadBlock + 4096;
  std::unique_ptr<unsigned char[]> in(new unsigned char[capacity]);
  // The form, from the first bytes as UnicodeInput tells it.
  size_t held = 0;
  bool ended = false;
  while (held < 3 && !ended) {
    const size_t got = read(reinterpret_cast<char*>(in.get()) + held, 3 - held);
    held += got;
    ended = got == 0;
  }
  const unsigned char* b = in.get();
  if (held >= 2 && b[0] == 0xFF && b[1] == 0xFE) {
    return EncodeDirect<kFormUtf16LE>(mapping, stream, read, write,
                                      std::move(in), capacity, held, 2, ended);
  }
  if (held >= 2 && b[0] == 0xFE && b[1] == 0xFF) {
    return EncodeDirect<kFormUtf16BE>(mapping, stream, read, write,
                                      std::move(in), capacity, held, 2, ended);
  }
  const size_t mark =
      held == 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF ? 3 : 0;
  return EncodeDirect<kFormUtf8>(mapping, stream, read, write, std::move(in),
                                 capacity, held, mark, ended);
}

uint64_t DecodeUZTStream(const UZTMapping& mapping,
                         const LexEnigneUtility& utility, bool utf8,
                         const ReadBytes& read, const WriteBytes& write,
                         const OnError& on_error) {
  DirectDecoder direct(mapping);
  // Set once a step fails: it decodes the rest.
  std::unique_ptr<UZTStreamDecoder> decoder;
  // Each block is read behind room for the bytes of a step the block
  // before left unfinished.
  constexpr size_t kRoom = 16;
  std::unique_ptr<char[]> space(new char[kRoom + kReadBlock]);
  char* const block = space.get() + kRoom;
  std::wstring text;
  std::string bytes = utf8 ? "" : "\xFF\xFE";
  size_t held = 0;  // bytes before `block` not decoded yet
  int64_t offset = 0, line = 1, column = 1;  // of the first of them
  bool last = false;
  while (!last) {
    const size_t n = read(block, kReadBlock);
    last = n == 0;
    if (decoder != nullptr) {
      decoder->Put(block, n, text);
    } else {
      const unsigned char* p =
          reinterpret_cast<const unsigned char*>(block) - held;
      const size_t size = held + n;
      if (last) block[0] = block[1] = 0;  // read past the end as zeros
      bool failed = false;
      const size_t done =
          utf8 ? direct.Run<true>(p, size, last, bytes, &failed)
               : direct.Run<false>(p, size, last, bytes, &failed);
      AdvanceUnits<1>(p, done, &line, &column);
      offset += static_cast<int64_t>(done);
      held = size - done;
      if (failed) {
        decoder.reset(new UZTStreamDecoder(mapping, utility));
        decoder->SetOnError(on_error);
        decoder->Resume(offset, line, column, direct.ascii());
        decoder->Put(reinterpret_cast<const char*>(p + done), held, text);
        held = 0;
      } else {
        std::memmove(block - held, p + done, held);
      }
    }
    if (decoder != nullptr && last) decoder->Finish(text);
    if (utf8) {
      AppendUtf8(text, bytes);
    } else {
      AppendUtf16LE(text, bytes);
    }
    text.clear();
    if (bytes.size() >= kWriteBlock) {
      write(bytes);
      bytes.clear();
    }
  }
  if (!bytes.empty()) write(bytes);
  return decoder != nullptr ? decoder->replaced() : 0;
}

namespace urdu {

std::string StreamErrorMessage(const std::string& name,
                               const StreamError& error) {
  if (error.offset < 0) return MessageName(name) + ": " + error.message;
  std::string where;
  if (error.line > 0) where += "line " + std::to_string(error.line) + ", ";
  if (error.column > 0) {
    where += "column " + std::to_string(error.column) + ", ";
  }
  return MessageName(name) + ": " + where + "byte offset " +
         std::to_string(error.offset) + ": " + error.message;
}

void LoadMappingFile(const std::string& path, UZTMapping* mapping) {
  try {
    mapping->Load(path);
  } catch (const IOException& e) {
    throw Error(e.GetExceptionMsg());  // names the file already
  } catch (const TARNIException& e) {
    throw Error(QuoteName(path) + ": " + e.GetExceptionMsg());
  }
}

}  // namespace urdu
