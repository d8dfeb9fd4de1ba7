#include "text/Encoding.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "foundation/Quote.h"

namespace urdulex::internal {

namespace {

constexpr char kUtf8[] = "UTF-8";
constexpr char kReplacementUtf8[] = "\xEF\xBF\xBD";
const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);
constexpr size_t kFailed = static_cast<size_t>(-1);

// The largest piece of an input the guesses look at.
constexpr size_t kGuessSample = 1 << 16;
// Share of the characters of a sample that must be plausible in Urdu text
// for an encoding to be named.
constexpr double kPlausible = 0.9;
// Arabic-script characters a sample must give to be taken for Urdu text: a
// stray byte in ASCII text reads as one letter in a code page.
constexpr size_t kFewestArabic = 3;

struct Candidate {
  const char* encoding;  // as iconv names it
  const char* what;
};

// Tried in this order; of equally plausible ones the first is named.
const Candidate kCandidates[] = {
    {"UTF-16LE", "UTF-16LE without a byte-order mark"},
    {"UTF-16BE", "UTF-16BE without a byte-order mark"},
    {"UTF-32LE", "UTF-32LE without a byte-order mark"},
    {"UTF-32BE", "UTF-32BE without a byte-order mark"},
    {"CP1256", "the Windows Arabic code page CP1256"},
    {"ISO-8859-6", "the Arabic code page ISO-8859-6"},
};

bool IsArabic(uint32_t c) {
  return (c >= 0x0600 && c <= 0x06FF) || (c >= 0x0750 && c <= 0x077F) ||
         (c >= 0x08A0 && c <= 0x08FF) || (c >= 0xFB50 && c <= 0xFDFF) ||
         (c >= 0xFE70 && c <= 0xFEFF);
}

// What Urdu text is made of: Arabic script, printable ASCII, line ends,
// tabs, no-break space, guillemets and the general punctuation block
// (ZWNJ, dashes, quotes).
bool IsPlausible(uint32_t c) {
  return IsArabic(c) || (c >= 0x20 && c < 0x7F) || c == '\t' || c == '\n' ||
         c == '\r' || c == 0xA0 || c == 0xAB || c == 0xBB ||
         (c >= 0x2000 && c <= 0x206F);
}

// The share of plausible characters in what iconv makes of `data` in
// `encoding`; 0 when the bytes are not valid there or hold too few Arabic
// letters. A sequence cut by the end of the sample does not count against
// it.
double Plausibility(const char* encoding, const unsigned char* data, size_t n) {
  const iconv_t cd = ::iconv_open("UTF-32LE", encoding);
  if (cd == kNoConverter) return 0;
  std::vector<unsigned char> out(4 * n + 16);
  char* in = const_cast<char*>(reinterpret_cast<const char*>(data));
  size_t in_left = n;
  char* o = reinterpret_cast<char*>(out.data());
  size_t room = out.size();
  const size_t r = ::iconv(cd, &in, &in_left, &o, &room);
  const bool invalid = r == kFailed && errno != EINVAL;
  ::iconv_close(cd);
  if (invalid) return 0;
  const size_t count = (out.size() - room) / 4;
  size_t plausible = 0;
  size_t arabic = 0;
  for (size_t i = 0; i < count; ++i) {
    const unsigned char* p = out.data() + 4 * i;
    const uint32_t c = p[0] | p[1] << 8 | p[2] << 16 | uint32_t{p[3]} << 24;
    plausible += IsPlausible(c);
    arabic += IsArabic(c);
  }
  if (arabic < kFewestArabic) return 0;
  return static_cast<double>(plausible) / static_cast<double>(count);
}

}  // namespace

bool CanConvert(const std::string& encoding) {
  const iconv_t cd = ::iconv_open(kUtf8, encoding.c_str());
  if (cd == kNoConverter) return false;
  ::iconv_close(cd);
  return true;
}

ConvertingSource::ConvertingSource(ByteSource& source,
                                   const std::string& encoding, bool lenient)
    : source_(source),
      encoding_(encoding),
      lenient_(lenient),
      cd_(::iconv_open(kUtf8, encoding.c_str())),
      in_(new char[kInput]) {
  if (static_cast<iconv_t>(cd_) == kNoConverter) {
    throw Error(encoding + ": not an encoding the C library's iconv converts");
  }
}

ConvertingSource::~ConvertingSource() {
  ::iconv_close(static_cast<iconv_t>(cd_));
}

uint64_t ConvertingSource::TakeRead() {
  const uint64_t read = read_;
  read_ = 0;
  return read;
}

size_t ConvertingSource::Read(unsigned char* buffer, size_t n) {
  const iconv_t cd = static_cast<iconv_t>(cd_);
  char* out = reinterpret_cast<char*>(buffer);
  size_t room = n;
  // Either bytes that are not valid in the encoding, or a sequence cut by
  // the end of the input: an error, or one U+FFFD for a byte.
  const auto invalid = [&](bool cut) {
    if (!lenient_) {
      throw Error(MessageName(name()) + ": byte offset " +
                  std::to_string(offset_) + ": " +
                  (cut ? encoding_ + " sequence cut by the end of the input"
                       : "invalid " + encoding_));
    }
    if (room < 3) return false;  // next time
    std::memcpy(out, kReplacementUtf8, 3);
    out += 3;
    room -= 3;
    ++replaced_;
    ++at_;
    --left_;
    ++offset_;
    return true;
  };
  while (room == n) {
    bool cut = false;
    if (left_ > 0) {
      char* in = in_.get() + at_;
      size_t in_left = left_;
      const size_t r = ::iconv(cd, &in, &in_left, &out, &room);
      const size_t used = left_ - in_left;
      at_ += used;
      left_ = in_left;
      offset_ += used;
      if (r == kFailed) {
        if (errno == E2BIG) break;
        if (errno == EILSEQ) {
          if (!invalid(false)) break;
          continue;
        }
        cut = errno == EINVAL;
      }
    }
    if (room != n) break;
    if (end_) {
      if (left_ > 0) {
        if (!invalid(true)) break;
        continue;
      }
      if (!flushed_) {  // the shift state of a stateful encoding
        flushed_ = true;
        ::iconv(cd, nullptr, nullptr, &out, &room);
        continue;
      }
      break;
    }
    if (left_ == 0 || cut) {
      std::memmove(in_.get(), in_.get() + at_, left_);
      at_ = 0;
      const size_t got = source_.Read(
          reinterpret_cast<unsigned char*>(in_.get()) + left_, kInput - left_);
      read_ += got;
      left_ += got;
      end_ = got == 0;
    }
  }
  return n - room;
}

Utf32Mark FindUtf32Mark(const unsigned char* data, size_t n, bool final) {
  static const unsigned char kLittle[4] = {0xFF, 0xFE, 0x00, 0x00};
  static const unsigned char kBig[4] = {0x00, 0x00, 0xFE, 0xFF};
  const size_t k = std::min<size_t>(n, 4);
  const bool little = std::memcmp(data, kLittle, k) == 0;
  const bool big = std::memcmp(data, kBig, k) == 0;
  if (n >= 4) {
    return little ? Utf32Mark::kLittleEndian
           : big  ? Utf32Mark::kBigEndian
                  : Utf32Mark::kNone;
  }
  return (little || big) && !final ? Utf32Mark::kMaybe : Utf32Mark::kNone;
}

const char* Utf32Refusal(Utf32Mark mark) {
  return mark == Utf32Mark::kBigEndian
             ? "UTF-32 text (byte-order mark 00 00 FE FF)"
             : "UTF-32 text (byte-order mark FF FE 00 00)";
}

EncodingGuess GuessEncoding(const unsigned char* data, size_t n) {
  n = std::min(n, kGuessSample);
  const Candidate* best = nullptr;
  double best_score = kPlausible;
  bool tie = false;
  for (const Candidate& candidate : kCandidates) {
    const double score = Plausibility(candidate.encoding, data, n);
    tie = best != nullptr && score == best_score;
    if (score > best_score || (best == nullptr && score == best_score)) {
      best = &candidate;
      best_score = score;
    }
  }
  if (best == nullptr) return EncodingGuess();
  // Text of the letters the two code pages share reads alike in both; the
  // last two candidates are the code pages.
  if (tie && best == &kCandidates[4]) {
    return {"; it looks like a legacy Arabic code page",
            {"CP1256", "ISO-8859-6"}};
  }
  return {std::string("; it looks like ") + best->what, {best->encoding}};
}

}  // namespace urdulex::internal
