#include "script/UZTStream.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

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

}  // namespace

uint64_t EncodeUZTStream(const UZTMapping& mapping,
                         const LexEnigneUtility& utility, const ReadBytes& read,
                         const WriteBytes& write, const OnError& on_error) {
  UnicodeInput input;
  UZTStreamEncoder encoder(mapping, utility);
  encoder.SetOnError(on_error);
  // One block gives at most one character a byte, plus the bytes of a
  // sequence left unfinished by the block before.
  const size_t most = kReadBlock + 4;
  std::unique_ptr<char[]> block(new char[kReadBlock]);
  std::unique_ptr<wchar_t[]> chars(new wchar_t[most]);
  std::unique_ptr<int64_t[]> offsets(new int64_t[most]);
  wchar_t* next_char;
  int64_t* next_offset;
  const auto sink = [&](char32_t c, int64_t offset) {
    *next_char++ = static_cast<wchar_t>(c);
    *next_offset++ = offset;
  };
  std::string out;
  bool last = false;
  while (!last) {
    const size_t n = read(block.get(), kReadBlock);
    last = n == 0;
    next_char = chars.get();
    next_offset = offsets.get();
    try {
      input.Put(reinterpret_cast<const unsigned char*>(block.get()), n, last,
                sink);
    } catch (const StreamError&) {
      // Malformed input; a character before it without a UZT form, pending
      // or decoded from this block, is the first failure and is named.
      encoder.Put(chars.get(), offsets.get(),
                  static_cast<size_t>(next_char - chars.get()), out);
      encoder.Finish(out);
      throw;
    }
    encoder.Put(chars.get(), offsets.get(),
                static_cast<size_t>(next_char - chars.get()), out);
    if (out.size() >= kWriteBlock) {
      write(out);
      out.clear();
    }
  }
  encoder.Finish(out);
  if (!out.empty()) write(out);
  return encoder.replaced();
}

uint64_t DecodeUZTStream(const UZTMapping& mapping,
                         const LexEnigneUtility& utility, bool utf8,
                         const ReadBytes& read, const WriteBytes& write,
                         const OnError& on_error) {
  UZTStreamDecoder decoder(mapping, utility);
  decoder.SetOnError(on_error);
  std::unique_ptr<char[]> block(new char[kReadBlock]);
  std::wstring text;
  std::string bytes = utf8 ? "" : "\xFF\xFE";
  // Written in large pieces of our own making.
  const auto flush = [&] {
    if (utf8) {
      AppendUtf8(text, bytes);
    } else {
      AppendUtf16LE(text, bytes);
    }
    if (!bytes.empty()) write(bytes);
    bytes.clear();
    text.clear();
  };
  while (const size_t n = read(block.get(), kReadBlock)) {
    decoder.Put(block.get(), n, text);
    if (text.size() >= kWriteBlock) flush();
  }
  decoder.Finish(text);
  flush();
  return decoder.replaced();
}

namespace urdu {

std::string StreamErrorMessage(const std::string& name,
                               const StreamError& error) {
  if (error.offset < 0) return name + ": " + error.message;
  std::string where;
  if (error.line > 0) where += "line " + std::to_string(error.line) + ", ";
  if (error.column > 0) {
    where += "column " + std::to_string(error.column) + ", ";
  }
  return name + ": " + where + "byte offset " + std::to_string(error.offset) +
         ": " + error.message;
}

void LoadMappingFile(const std::string& path, UZTMapping* mapping) {
  try {
    mapping->Load(path);
  } catch (const IOException& e) {
    throw Error(e.GetExceptionMsg());  // names the file already
  } catch (const TARNIException& e) {
    throw Error(path + ": " + e.GetExceptionMsg());
  }
}

}  // namespace urdu
