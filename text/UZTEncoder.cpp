#include "text/UZTEncoder.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "foundation/TARNIException.h"
#include "foundation/Utf8.h"

namespace urdulex::internal {

using uzt_stream::Advance;
using uzt_stream::AdvanceLines;
using uzt_stream::kEscape;
using uzt_stream::kPiece;
using uzt_stream::kReadBlock;
using uzt_stream::kWriteBlock;

namespace {

std::string CodeName(char32_t c) {
  char text[16];
  std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned int>(c));
  return text;
}

}  // namespace

int UnicodeInput::DetectForm(const unsigned char* data, size_t n, bool final,
                             Form* form) {
  if (n >= 2 && data[0] == 0xFF && data[1] == 0xFE) {
    *form = kUtf16LE;
    return 2;
  }
  if (n >= 2 && data[0] == 0xFE && data[1] == 0xFF) {
    *form = kUtf16BE;
    return 2;
  }
  if (n >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF) {
    *form = kUtf8;
    return 3;
  }
  // A short start may still become a mark.
  const bool could_be_mark = n < 3 && n > 0 &&
                             (data[0] == 0xFF || data[0] == 0xFE ||
                              (data[0] == 0xEF && (n == 1 || data[1] == 0xBB)));
  if ((could_be_mark || n == 0) && !final) return -1;
  *form = kUtf8;
  return 0;
}

size_t UnicodeInput::Decode(const unsigned char* p, size_t n, bool final,
                            bool* ok) {
  units_.clear();
  urdulex::internal::DecodeError error;
  return decoder_.Decode(p, n, final, &units_, ok, &error);
}

void UnicodeInput::Fail(int64_t offset, const unsigned char* p,
                        size_t n) const {
  // The decoder says where; what is wrong there, in this reader's words.
  const char* what = nullptr;
  if (form_ != kUtf8) {
    what = n == 1 ? "odd byte at the end of UTF-16 input"
                  : "unpaired UTF-16 surrogate";
  } else {
    char32_t c = 0;
    size_t valid = 0;
    const int len = utf8::DecodeSequence(p, n, &c, &valid);
    what = len == 0     ? "UTF-8 sequence cut by the end of the input"
           : valid == 0 ? "invalid UTF-8 byte"
                        : "invalid UTF-8 sequence";
  }
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

namespace {

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

// The UTF-16 unit at p[0, 2), in the byte order of kForm.
template <int kForm>
inline uint32_t Utf16Unit(const unsigned char* p) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  uint16_t v;
  std::memcpy(&v, p, 2);
  return kForm == kFormUtf16LE ? v : __builtin_bswap16(v);
#else
  return kForm == kFormUtf16LE ? (p[0] | p[1] << 8) : (p[0] << 8 | p[1]);
#endif
}

// The character at p[i] of the input p[0, n), its length in `*length`:
// false when it is to be left to the stream reader (ill-formed, above
// U+FFFF, or, with *length 0, cut by the end). For UTF-16, i + 1 < n.
template <int kForm>
inline bool CharAt(const unsigned char* p, size_t i, size_t n, uint32_t* u,
                   size_t* length) {
  if (kForm != kFormUtf8) {
    *u = Utf16Unit<kForm>(p + i);
    *length = 2;
    return true;
  }
  char32_t c = 0;
  size_t valid = 0;
  const int len = utf8::NextCharacter(p + i, n - i, &c, &valid);
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
    AdvanceLines(
        n / 2, [p](size_t i) { return Utf16Unit<kForm>(p + 2 * i); }, line,
        column);
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
      w[0] = kEscape;
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
      w[0] = kEscape;
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
  // The form, from the first three bytes (or all there are).
  size_t held = 0;
  bool ended = false;
  while (held < 3 && !ended) {
    const size_t got = read(reinterpret_cast<char*>(in.get()) + held, 3 - held);
    held += got;
    ended = got == 0;
  }
  UnicodeInput::Form form = UnicodeInput::kUtf8;
  const size_t mark = static_cast<size_t>(
      UnicodeInput::DetectForm(in.get(), held, true, &form));
  if (form == UnicodeInput::kUtf16LE) {
    return EncodeDirect<kFormUtf16LE>(mapping, stream, read, write,
                                      std::move(in), capacity, held, mark,
                                      ended);
  }
  if (form == UnicodeInput::kUtf16BE) {
    return EncodeDirect<kFormUtf16BE>(mapping, stream, read, write,
                                      std::move(in), capacity, held, mark,
                                      ended);
  }
  return EncodeDirect<kFormUtf8>(mapping, stream, read, write, std::move(in),
                                 capacity, held, mark, ended);
}

}  // namespace urdulex::internal
