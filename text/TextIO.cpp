#include "text/TextIO.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "foundation/Quote.h"
#include "foundation/Utf8.h"
#include "text/Encoding.h"

namespace urdulex::internal {

const char kStandardInput[] = "standard input";

namespace {

// Output is handed to the sink once this much has gathered.
// Room for the largest encoding of one unit, beyond the writer's block.
constexpr size_t kWriteSlack = 8;

constexpr char16_t kReplacement = 0xFFFD;

std::string Reason() { return std::strerror(errno); }

bool IsHigh(uint32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLow(uint32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

}  // namespace

// --- sources and sinks ---

FileSource::FileSource(const std::string& name) : name_(name) {
  if (name == "-") {
    name_ = kStandardInput;
    fd_ = 0;
  } else {
    // A named pipe would block the open until a writer comes; that is what
    // a pipe is for, so it is allowed.
    fd_ = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0)
      throw Error("cannot open " + QuoteName(name) + ": " + Reason());
    owned_ = true;
  }
  struct stat st;
  if (::fstat(fd_, &st) == 0) {
    if (S_ISDIR(st.st_mode)) {
      throw Error("cannot read " + MessageName(name_) + ": " +
                  std::strerror(EISDIR));
    }
    if (S_ISREG(st.st_mode)) {
      size_ = static_cast<int64_t>(st.st_size);
      // Standard input may have been read in part before the program.
      const off_t at = ::lseek(fd_, 0, SEEK_CUR);
      expected_ =
          static_cast<uint64_t>(size_ - (at > 0 && at <= size_ ? at : 0));
    }
  }
  watch_.Start(name == "-" ? std::string() : name, fd_);
}

FileSource::~FileSource() {
  if (owned_) ::close(fd_);
}

size_t FileSource::Read(unsigned char* buffer, size_t n) {
  while (true) {
    const ssize_t got = ::read(fd_, buffer, n);
    if (got > 0) {
      read_ += static_cast<uint64_t>(got);
      return static_cast<size_t>(got);
    }
    if (got == 0) {
      // Whatever the file became, the bytes read are not one version of it.
      // (Files that give bytes while their size says 0, as under /proc, are
      // judged by the watch alone.)
      if (n > 0 && size_ >= 0 &&
          ((size_ > 0 && read_ != expected_) || !watch_.Unchanged())) {
        throw Error(MessageName(name_) + " changed while being read");
      }
      return 0;
    }
    if (errno != EINTR) {
      throw Error("cannot read " + MessageName(name_) + ": " + Reason());
    }
  }
}

std::string FileSource::ReadAll(size_t limit) {
  std::string bytes;
  // A regular file's size, reserved at once: no doubling growth.
  if (Size() > 0) {
    bytes.reserve(std::min(static_cast<size_t>(Size()), limit));
  }
  std::unique_ptr<unsigned char[]> block(new unsigned char[1 << 16]);
  while (size_t got = Read(block.get(), 1 << 16)) {
    if (bytes.size() + got > limit) {
      throw Error(MessageName(name_) + ": larger than " +
                  std::to_string(limit) + " bytes");
    }
    bytes.append(reinterpret_cast<const char*>(block.get()), got);
  }
  return bytes;
}

size_t ViewSource::Read(unsigned char* buffer, size_t n) {
  const size_t k = std::min(n, bytes_.size() - at_);
  std::memcpy(buffer, bytes_.data() + at_, k);
  at_ += k;
  return k;
}

FileSink::FileSink(const std::string& name) : name_(name) {
  // Standard output, like any descriptor named, is written through a copy
  // of the descriptor (OutputFile).
  if (name == "-") name_ = "standard output";
  if (output_.Begin(name) != SafeOutput::kNone) {
    throw Error((name == "-" ? "cannot write " : "cannot create ") +
                MessageName(name_) + ": " + output_.reason());
  }
  // A copy of its own, whose close tells whether the bytes were stored.
  fd_ = ::fcntl(output_.fd(), F_DUPFD_CLOEXEC, 0);
  if (fd_ < 0) {
    const std::string why = Reason();
    output_.Abandon();
    throw Error("cannot create " + MessageName(name_) + ": " + why);
  }
  owned_ = true;
}

FileSink::~FileSink() { Discard(); }

void FileSink::Write(const char* data, size_t n) {
  while (n > 0) {
    const ssize_t put = ::write(fd_, data, n);
    if (put < 0) {
      if (errno == EINTR) continue;
      throw Error("cannot write " + MessageName(name_) + ": " + Reason());
    }
    data += put;
    n -= static_cast<size_t>(put);
  }
}

void FileSink::Close() {
  if (!owned_ || fd_ < 0) return;
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) {
    throw Error("cannot write " + MessageName(name_) + ": " + Reason());
  }
  owned_ = false;
  const SafeOutput::Failure failure = output_.Commit();
  if (failure != SafeOutput::kNone) {
    throw Error((failure == SafeOutput::kCannotWrite ? "cannot write "
                                                     : "cannot replace ") +
                MessageName(name_) + ": " + output_.reason());
  }
}

void FileSink::Discard() {
  if (!owned_) return;
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  output_.Abandon();
  owned_ = false;
}

void RunFiles::Input(const std::string& what, const std::string& name) {
  if (name == "-") {
    ids_.AddOpenInput(0, kStandardInput, what);
  } else {
    ids_.AddInput(name, what);
  }
}

void RunFiles::Output(const std::string& as, const std::string& name) {
  std::string what, input;
  if (name == "-") {
    if (ids_.ClashOpen(1, as, &what, &input)) {
      if (outputs_.count(what) != 0) {
        throw Error(what + " and " + as +
                    " are the same file: standard output");
      }
      throw Error(MessageName(input) + ": input file is output file");
    }
  } else if (ids_.Clash(name, as, &what, &input)) {
    throw Error(what + " and " + as + " are the same file: " + QuoteName(name));
  }
  outputs_.insert(as);
}

// --- decoding ---

int TextDecoder::DetectForm(const unsigned char* data, size_t n, bool final,
                            bool* ok, DecodeError* error) {
  const Utf32Mark utf32 = FindUtf32Mark(data, n, final);
  if (utf32 == Utf32Mark::kMaybe) return -1;
  if (utf32 != Utf32Mark::kNone) {
    *ok = false;
    error->line = 1;
    error->what = Utf32Refusal(utf32);
    error->encoding = "UTF-32";
    return -1;
  }
  static const unsigned char kUtf8Mark[3] = {0xEF, 0xBB, 0xBF};
  if (n < 3 && !final && std::memcmp(data, kUtf8Mark, n) == 0) return -1;
  if (n < 2 && !final && n == 1 && (data[0] == 0xFF || data[0] == 0xFE)) {
    return -1;
  }
  int mark = 0;
  if (n >= 3 && std::memcmp(data, kUtf8Mark, 3) == 0) {
    form_ = kUtf8;
    mark = 3;
  } else if (n >= 2 && data[0] == 0xFF && data[1] == 0xFE) {
    form_ = kUtf16LE;
    mark = 2;
  } else if (n >= 2 && data[0] == 0xFE && data[1] == 0xFF) {
    form_ = kUtf16BE;
    mark = 2;
  } else {
    form_ = kUtf8;
  }
  offset_ += static_cast<uint64_t>(mark);
  return mark;
}

size_t TextDecoder::Check(const unsigned char* data, size_t n, bool final,
                          size_t* mark, bool* ok, DecodeError* error) {
  *ok = true;
  *mark = 0;
  if (form_ == kUnknown) {
    const int m = DetectForm(data, n, final, ok, error);
    if (m < 0) return 0;
    *mark = static_cast<size_t>(m);
  }
  if (form_ != kUtf8) return *mark;
  return *mark + CheckUtf8(data + *mark, n - *mark, final, ok, error);
}

size_t TextDecoder::Decode(const unsigned char* data, size_t n, bool final,
                           Units* out, bool* ok, DecodeError* error) {
  *ok = true;
  size_t mark = 0;
  if (form_ == kUnknown) {
    const int m = DetectForm(data, n, final, ok, error);
    if (m < 0) return 0;
    mark = static_cast<size_t>(m);
  }
  const size_t used =
      form_ == kUtf8
          ? DecodeUtf8(data + mark, n - mark, final, out, ok, error)
          : DecodeUtf16(data + mark, n - mark, final, out, ok, error);
  return mark + used;
}

size_t TextDecoder::DecodeUtf8(const unsigned char* p, size_t n, bool final,
                               Units* out, bool* ok, DecodeError* error) {
  const size_t base = out->size();
  out->resize(base + n);  // never more units than bytes
  char16_t* o = out->data() + base;
  size_t i = 0;
  while (i < n) {
    char32_t c = 0;
    size_t valid = 0;
    const int len = utf8::NextCharacter(p + i, n - i, &c, &valid);
    if (len > 0) {
      lines_ += c == '\n';
      if (c < 0x10000) {
        *o++ = static_cast<char16_t>(c);
      } else {
        c -= 0x10000;
        *o++ = static_cast<char16_t>(0xD800 + (c >> 10));
        *o++ = static_cast<char16_t>(0xDC00 + (c & 0x3FF));
      }
      i += static_cast<size_t>(len);
      continue;
    }
    if (len == 0 && !final) break;  // cut by the end of the block
    if (!lenient_) {
      *ok = false;
      error->line = lines_ + 1;
      error->offset = offset_ + i;
      error->what = "invalid UTF-8";
      break;
    }
    *o++ = kReplacement;
    ++replaced_;
    i += valid > 0 ? valid : 1;
  }
  out->resize(static_cast<size_t>(o - out->data()));
  offset_ += i;
  return i;
}

size_t TextDecoder::CheckUtf8(const unsigned char* p, size_t n, bool final,
                              bool* ok, DecodeError* error) {
  // What DecodeUtf8 accepts, taken as far as it would take it, with its
  // line count and error. Text of ASCII and two-byte characters (most
  // text in the Arabic script) is checked sixteen bytes at a time (eight
  // without SSE2); anything else, from the sequence it starts with, one
  // character at a time.
  size_t i = 0;
  uint64_t lines = 0;
  bool open = false;  // the byte before i is the lead of a pair
  while (true) {
#if defined(__SSE2__)
    constexpr size_t kWidth = 16;
    while (i + 16 <= n) {
      const __m128i w =
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
      // A bit per byte, as below: its top bit, the next two down (moved
      // up within each eight bytes), and the two leads of an overlong pair.
      const unsigned high = static_cast<unsigned>(_mm_movemask_epi8(w));
      const unsigned b6 =
          static_cast<unsigned>(_mm_movemask_epi8(_mm_slli_epi64(w, 1)));
      const unsigned b5 =
          static_cast<unsigned>(_mm_movemask_epi8(_mm_slli_epi64(w, 2)));
      const unsigned overlong =
          static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(
              _mm_and_si128(w, _mm_set1_epi8('\xFE')), _mm_set1_epi8('\xC0'))));
      const unsigned cont = high & ~b6;
      const unsigned lead = high & b6;
      const unsigned want = ((lead << 1) | (open ? 1u : 0u)) & 0xFFFF;
      if ((lead & b5) != 0 || overlong != 0 || want != cont) break;
      lines += static_cast<unsigned>(__builtin_popcount(static_cast<unsigned>(
          _mm_movemask_epi8(_mm_cmpeq_epi8(w, _mm_set1_epi8('\n'))))));
      open = (lead >> 15) != 0;
      i += 16;
    }
#else
    constexpr size_t kWidth = 8;
    constexpr uint64_t kHigh = 0x8080808080808080ull;
    while (i + 8 <= n) {
      uint64_t w;
      std::memcpy(&w, p + i, 8);
      // Per byte, in its top bit: a continuation byte (10xxxxxx), the lead
      // of a pair (110xxxxx, not C0 or C1), a lead of a longer sequence
      // or worse (111xxxxx).
      const uint64_t cont = w & ~(w << 1) & kHigh;
      const uint64_t lead = w & (w << 1) & kHigh;
      const uint64_t longer = lead & (w << 2);
      const uint64_t overlong =
          lead & ~((w << 3) | (w << 4) | (w << 5) | (w << 6));
      // Little-endian: the byte after a lead is 8 bits up.
      const uint64_t want = (lead << 8) | (open ? 0x80u : 0u);
      if (longer != 0 || overlong != 0 || want != cont) break;
      lines += (utf8::LineFeedBytes(w) * 0x0101010101010101ull) >> 56;
      open = (lead >> 63) != 0;
      i += 8;
    }
#endif
    // One character at a time up to the end of the bytes that did not
    // pass, then a vector at a time again.
    if (open) --i;
    open = false;
    const size_t stop = std::min(n, i + kWidth);
    bool fault = false;
    while (i < stop) {
      char32_t c = 0;
      size_t valid = 0;
      const int len = utf8::NextCharacter(p + i, n - i, &c, &valid);
      if (len > 0) {
        lines += c == '\n';
        i += static_cast<size_t>(len);
        continue;
      }
      fault = true;
      if (len == 0 && !final) break;
      *ok = false;
      error->line = lines_ + lines + 1;
      error->offset = offset_ + i;
      error->what = "invalid UTF-8";
      break;
    }
    if (fault || i >= n) break;
  }
  lines_ += lines;
  offset_ += i;
  return i;
}

size_t TextDecoder::DecodeUtf16(const unsigned char* p, size_t n, bool final,
                                Units* out, bool* ok, DecodeError* error) {
  const bool le = form_ == kUtf16LE;
  const auto unit = [&](size_t i) -> uint32_t {
    return le ? (p[i] | (p[i + 1] << 8)) : ((p[i] << 8) | p[i + 1]);
  };
  const size_t base = out->size();
  out->resize(base + n / 2);
  char16_t* o = out->data() + base;
  size_t i = 0;
  const auto fail = [&](const char* what) {
    *ok = false;
    error->line = lines_ + 1;
    error->offset = offset_ + i;
    error->what = what;
  };
  while (i + 1 < n) {
    const uint32_t u = unit(i);
    if (!IsHigh(u) && !IsLow(u)) {
      lines_ += u == '\n';
      *o++ = static_cast<char16_t>(u);
      i += 2;
      continue;
    }
    if (IsHigh(u)) {
      if (i + 3 >= n && !final) break;
      if (i + 3 < n && IsLow(unit(i + 2))) {
        *o++ = static_cast<char16_t>(u);
        *o++ = static_cast<char16_t>(unit(i + 2));
        i += 4;
        continue;
      }
    }
    if (!lenient_) {
      fail("invalid UTF-16 (unpaired surrogate)");
      break;
    }
    *o++ = kReplacement;
    ++replaced_;
    i += 2;
  }
  if (*ok && final && i + 1 == n) {
    if (!lenient_) {
      fail("odd number of bytes in UTF-16");
    } else {
      // The unit array was sized for n / 2 units; the odd byte needs one
      // more.
      const size_t at = static_cast<size_t>(o - out->data());
      out->resize(at + 1);
      o = out->data() + at;
      *o++ = kReplacement;
      ++replaced_;
      ++i;
    }
  }
  out->resize(static_cast<size_t>(o - out->data()));
  offset_ += i;
  return i;
}

// --- reading ---

TextReader::TextReader(ByteSource& source, bool lenient, ReadProgress* progress,
                       const std::string& from, size_t block)
    : source_(source),
      decoder_(lenient),
      progress_(progress),
      block_(std::max(block, kSmallestBlock)),
      buffer_(new unsigned char[block_ + 8]) {
  if (!from.empty())
    converter_.reset(new ConvertingSource(source, from, lenient));
}

TextReader::~TextReader() = default;

uint64_t TextReader::replaced() const {
  return decoder_.replaced() + (converter_ ? converter_->replaced() : 0);
}

bool TextReader::Next(Units* units) {
  const size_t before = units->size();
  while (!done_) {
    ByteSource& input = converter_ ? *converter_ : source_;
    const size_t got = input.Read(buffer_.get() + left_, block_);
    if (progress_ != nullptr) {
      progress_->Advance(converter_ ? converter_->TakeRead() : got);
    }
    const bool final = got == 0;
    const size_t n = left_ + got;
    bool ok = true;
    DecodeError error;
    const size_t used =
        decoder_.Decode(buffer_.get(), n, final, units, &ok, &error);
    if (!ok) Fail(n, error);
    left_ = n - used;
    // At most a cut sequence is left over.
    std::memmove(buffer_.get(), buffer_.get() + used, left_);
    if (final) done_ = true;
    if (units->size() > before) return true;
  }
  return false;
}

void TextReader::Fail(size_t n, const DecodeError& error) const {
  // Text that is not UTF-8 may be in another encoding that reads it.
  EncodingGuess guess;
  if (error.encoding != nullptr) {
    guess.encodings.push_back(error.encoding);
  } else if (decoder_.form() == TextDecoder::kUtf8) {
    guess = GuessEncoding(buffer_.get(), n);
  }
  throw Error(MessageName(source_.name()) + ": line " +
                  std::to_string(error.line) + ", byte offset " +
                  std::to_string(error.offset) + ": " + error.what + guess.what,
              std::move(guess.encodings));
}

bool TextReader::NextUtf8(Utf8Bytes* bytes) {
  while (!done_ && !converter_ && !decoder_.lenient() &&
         (decoder_.form() == TextDecoder::kUnknown ||
          decoder_.form() == TextDecoder::kUtf8)) {
    const size_t got = source_.Read(buffer_.get() + left_, block_);
    if (progress_ != nullptr) progress_->Advance(got);
    const bool final = got == 0;
    const size_t n = left_ + got;
    bool ok = true;
    DecodeError error;
    size_t mark = 0;
    const size_t used =
        decoder_.Check(buffer_.get(), n, final, &mark, &ok, &error);
    if (!ok) Fail(n, error);
    if (decoder_.form() != TextDecoder::kUtf8 &&
        decoder_.form() != TextDecoder::kUnknown) {
      // 16-bit text: its mark is gone, the rest is for Next.
      left_ = n - used;
      std::memmove(buffer_.get(), buffer_.get() + used, left_);
      if (final && left_ == 0) done_ = true;
      break;
    }
    bytes->insert(bytes->end(), buffer_.get() + mark, buffer_.get() + used);
    left_ = n - used;
    std::memmove(buffer_.get(), buffer_.get() + used, left_);
    if (final) done_ = true;
    if (used > mark) return true;
  }
  if (done_ && left_ == 0 && units_.empty()) return false;
  units_.clear();
  if (!Next(&units_)) return false;
  StringSink sink;
  TextWriter writer(sink, TextWriter::kUtf8);
  writer.Put(units_.data(), units_.size());
  writer.Finish();
  bytes->insert(bytes->end(), sink.bytes.begin(), sink.bytes.end());
  units_.clear();
  return true;
}

// --- writing ---

TextWriter::TextWriter(ByteSink& sink, Encoding encoding, bool crlf,
                       size_t block)
    : sink_(sink),
      encoding_(encoding),
      crlf_(crlf),
      block_(std::max(block, kSmallestBlock)),
      buffer_(new char[block_ + kWriteSlack]) {
  if (encoding_ == kUtf16) {
    buffer_[0] = '\xFF';
    buffer_[1] = '\xFE';
    used_ = 2;
  }
}

void TextWriter::Flush() {
  sink_.Write(buffer_.get(), used_);
  used_ = 0;
}

// The units of text in memory, and of UTF-16LE bytes at any alignment.
struct TextWriter::Units16 {
  const char16_t* p;
  uint32_t operator[](size_t i) const { return p[i]; }
  Units16 operator+(size_t n) const { return Units16{p + n}; }
};
struct TextWriter::BytesLE {
  const unsigned char* p;
  uint32_t operator[](size_t i) const { return p[2 * i] | p[2 * i + 1] << 8; }
  BytesLE operator+(size_t n) const { return BytesLE{p + 2 * n}; }
};

void TextWriter::Put(const char16_t* units, size_t n) {
  PutUnits(Units16{units}, n);
}

void TextWriter::PutUtf16LE(const unsigned char* bytes, size_t units) {
  // A short run (a word) as UTF-8 with no check per unit but for
  // surrogates, which go the general way.
  constexpr size_t kShort = 256;
  if (encoding_ == kUtf8 && high_ == 0 && units <= kShort) {
    if (block_ - used_ < 3 * kShort) Flush();
    char* p = buffer_.get() + used_;
    size_t i = 0;
    // Four units at a time while all four take two bytes (U+0080 to
    // U+07FF: the Arabic block and its marks): each 16-bit lane becomes
    // its lead byte and, above it, its continuation byte.
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    for (; i + 4 <= units; i += 4) {
      uint64_t v;
      std::memcpy(&v, bytes + 2 * i, 8);
      constexpr uint64_t kLanes = 0x0001000100010001ull;
      const uint64_t wide = v & (0xF800 * kLanes);
      // Bit 15 of a lane is set when its bits 7 to 10 are not all zero.
      const uint64_t above =
          ((v & (0x0780 * kLanes)) + 0x7F80 * kLanes) & (0x8000 * kLanes);
      if (wide != 0 || above != 0x8000 * kLanes) break;
      const uint64_t out = (0xC0 * kLanes) | ((v >> 6) & (0x1F * kLanes)) |
                           (0x8000 * kLanes) | ((v & (0x3F * kLanes)) << 8);
      std::memcpy(p, &out, 8);
      p += 8;
    }
#endif
    for (; i < units; ++i) {
      const uint32_t u = bytes[2 * i] | bytes[2 * i + 1] << 8;
      // ASCII and the Arabic block first, then the surrogates.
      if (u < 0x800) {
        p = utf8::EncodeSequence(u, p);
      } else if (u - 0xD800u < 0x800u) {
        break;
      } else {
        p = utf8::EncodeSequence(u, p);
      }
    }
    used_ = static_cast<size_t>(p - buffer_.get());
    bytes += 2 * i;
    units -= i;
  }
  PutUnits(BytesLE{bytes}, units);
}

template <typename Units>
void TextWriter::PutUnits(Units units, size_t n) {
  // Each unit takes at most 4 bytes here (a CR LF, or the replacement of
  // a lone surrogate and a three-byte character); pieces are sized so that
  // the buffer never overflows, with no check per unit.
  constexpr size_t kMostPerUnit = 4;
  while (n > 0) {
    if (block_ - used_ < kMostPerUnit * 64) Flush();
    const size_t piece = std::min(n, (block_ - used_) / kMostPerUnit);
    char* p = buffer_.get() + used_;
    if (encoding_ == kUtf8) {
      p = EncodeUtf8(units, piece, p);
    } else {
      for (size_t i = 0; i < piece; ++i) {
        const char16_t u = static_cast<char16_t>(units[i]);
        if (u == '\n' && crlf_ && last_ != '\r') {
          *p++ = '\r';
          *p++ = 0;
        }
        *p++ = static_cast<char>(u & 0xFF);
        *p++ = static_cast<char>(u >> 8);
        last_ = u;
      }
    }
    used_ = static_cast<size_t>(p - buffer_.get());
    units = units + piece;
    n -= piece;
  }
}

template <typename Units>
char* TextWriter::EncodeUtf8(Units units, size_t n, char* p) {
  for (size_t i = 0; i < n; ++i) {
    const uint32_t u = units[i];
    if (high_ != 0) {
      const uint32_t high = high_;
      high_ = 0;
      if (IsLow(u)) {
        p = utf8::EncodeSequence(
            0x10000 + ((high - 0xD800u) << 10) + (u - 0xDC00u), p);
        continue;
      }
      p = utf8::EncodeSequence(kReplacement, p);
    }
    // ASCII and the Arabic block first, then the surrogates.
    if (u < 0x800) {
      p = utf8::EncodeSequence(u, p);
    } else if (!IsHigh(u) && !IsLow(u)) {
      p = utf8::EncodeSequence(u, p);
    } else if (IsHigh(u)) {
      high_ = static_cast<char16_t>(u);
    } else {
      p = utf8::EncodeSequence(kReplacement, p);
    }
  }
  return p;
}

void TextWriter::PutUtf8(const char* bytes, size_t n) {
  if (encoding_ == kUtf8 && high_ == 0) {
    while (n > 0) {
      if (used_ == block_) Flush();
      const size_t piece = std::min(n, block_ - used_);
      std::memcpy(buffer_.get() + used_, bytes, piece);
      used_ += piece;
      bytes += piece;
      n -= piece;
    }
    return;
  }
  char16_t block[256];
  const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes);
  size_t i = 0;
  while (i < n) {
    size_t k = 0;
    while (i < n && k + 2 <= sizeof(block) / sizeof(block[0])) {
      char32_t c = 0;
      size_t valid = 0;
      const int len = utf8::DecodeSequence(p + i, n - i, &c, &valid);
      if (len <= 0) {  // not for this writer: kept visible, not dropped
        c = kReplacement;
        i += 1;
      } else {
        i += static_cast<size_t>(len);
      }
      if (c < 0x10000) {
        block[k++] = static_cast<char16_t>(c);
      } else {
        c -= 0x10000;
        block[k++] = static_cast<char16_t>(0xD800 + (c >> 10));
        block[k++] = static_cast<char16_t>(0xDC00 + (c & 0x3FF));
      }
    }
    Put(block, k);
  }
}

void TextWriter::PutLatin1(const char* text, size_t n) {
  if (encoding_ == kUtf8 && high_ == 0) {
    // ASCII as it is, the rest of Latin-1 as its pair.
    while (n > 0) {
      if (block_ - used_ < 2 * 64) Flush();
      const size_t piece = std::min(n, (block_ - used_) / 2);
      char* p = buffer_.get() + used_;
      for (size_t i = 0; i < piece; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
          *p++ = static_cast<char>(c);
        } else {
          *p++ = static_cast<char>(0xC0 | c >> 6);
          *p++ = static_cast<char>(0x80 | (c & 0x3F));
        }
      }
      used_ = static_cast<size_t>(p - buffer_.get());
      text += piece;
      n -= piece;
    }
    return;
  }
  char16_t block[256];
  while (n > 0) {
    const size_t k = std::min(n, sizeof(block) / sizeof(block[0]));
    for (size_t i = 0; i < k; ++i) {
      block[i] = static_cast<unsigned char>(text[i]);
    }
    Put(block, k);
    text += k;
    n -= k;
  }
}

void TextWriter::Finish() {
  if (high_ != 0) {
    char* p = buffer_.get() + used_;
    p = utf8::EncodeSequence(kReplacement, p);
    used_ = static_cast<size_t>(p - buffer_.get());
    high_ = 0;
  }
  Flush();
  sink_.Close();
}

std::string ToUtf8(const char16_t* units, size_t n) {
  // As a TextWriter would write them, without its buffer: a string is
  // often a word.
  std::string out(3 * n, '\0');  // a pair of units takes 4 bytes
  char* p = &out[0];
  for (size_t i = 0; i < n; ++i) {
    char32_t c = units[i];
    if (c - 0xD800u < 0x800u) {
      if (c < 0xDC00 && i + 1 < n && units[i + 1] - 0xDC00u < 0x400u) {
        c = 0x10000 + ((c - 0xD800) << 10) + (units[++i] - 0xDC00u);
      } else {
        c = kReplacement;
      }
    }
    p = utf8::EncodeSequence(c, p);
  }
  out.resize(static_cast<size_t>(p - out.data()));
  return out;
}

}  // namespace urdulex::internal
