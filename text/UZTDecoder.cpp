#include "text/UZTDecoder.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "foundation/TARNIException.h"
#include "foundation/Utf8.h"

namespace urdulex::internal {

using uzt_stream::Advance;
using uzt_stream::kPiece;
using uzt_stream::kReadBlock;
using uzt_stream::kWriteBlock;

namespace {

std::string ByteName(unsigned char b) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%02X", b);
  return text;
}

}  // namespace

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

}  // namespace

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
      Advance(p, done, &line, &column);
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

}  // namespace urdulex::internal
