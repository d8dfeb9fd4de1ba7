#include "tools/uztconv/UZTStream.h"

#include <cstdio>
#include <string>

#include "foundation/TARNIException.h"

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

void UnicodeInput::Fail(int64_t offset, const std::string& what) {
  throw StreamError{offset, what};
}

void UZTStreamEncoder::Reject(char32_t c, int64_t offset) {
  throw StreamError{offset, CodeName(c) + " has no UZT form in the mapping"};
}

void UZTStreamEncoder::Flush(std::string& out) {
  try {
    utility_.ConvertUnicode2UZT(text_, bytes_);
  } catch (const TARNIException& e) {
    // Every character was checked against the mapping on its way in.
    throw StreamError{-1, e.GetExceptionMsg()};
  }
  text_.clear();
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
  size_t end = bytes_.size();
  // A closing 254 '0' is the only way a chunk can end in those two bytes.
  if (end - begin >= 2 && bytes_[end - 2] == kEscape &&
      bytes_[end - 1] == '0') {
    end -= 2;
    closing_switch_held_ = true;
  }
  out.append(bytes_, begin, end - begin);
}

void UZTStreamEncoder::Finish(std::string& out) {
  if (!text_.empty()) Flush(out);
  if (closing_switch_held_) {
    out.push_back(kEscape);
    out.push_back('0');
    closing_switch_held_ = false;
  }
}

void UZTStreamDecoder::Put(const char* data, size_t n, std::wstring& out) {
  pending_.append(data, n);
  for (;;) {
    Scan(false);
    if (cut_ == 0) return;
    Emit(cut_, cut_ascii_, out);
  }
}

void UZTStreamDecoder::Finish(std::wstring& out) {
  Scan(true);
  if (!pending_.empty()) Emit(pending_.size(), ascii_, out);
}

// The steps below are those of LexEnigneUtility::ConvertUZT2Unicode: they
// must agree with it on where each step starts and what it needs.
void UZTStreamDecoder::Scan(bool final) {
  const unsigned char* p =
      reinterpret_cast<const unsigned char*>(pending_.data());
  const size_t size = pending_.size();
  cut_ = 0;
  while (scan_ < size) {
    const size_t i = scan_;
    const bool has_next = i + 1 < size;
    // Every step may look at the next byte; wait until it is known.
    if (!has_next && !final) break;
    const unsigned char b = p[i];
    const unsigned char next = has_next ? p[i + 1] : 0;
    const int64_t at = offset_ + static_cast<int64_t>(i);
    size_t step = 1;
    if (b == 0xFE) {
      if (next == '0') {
        ascii_ = false;
      } else if (next == '1') {
        ascii_ = true;
      } else if (!has_next) {
        throw StreamError{at, "code-plate escape 254 at the end of the input"};
      } else {
        throw StreamError{at, "code-plate escape 254 followed by " +
                                  ByteName(next) + " (expected '0' or '1')"};
      }
      step = 2;
    } else if (!ascii_) {
      switch (b) {
        case 0xC0:
        case 0xC2:
        case 0xC5:
          break;
        case 'u':
          if (next == 'C') step = 2;
          break;
        case 'y':
          if (next == 'w') step = 2;
          break;
        case 'w':
          if (prev_ == ' ' && next == ' ') step = 2;
          break;
        default:
          if (mapping_.UnicodeForByte(b) == 0) {
            throw StreamError{at, "byte " + ByteName(b) +
                                      " has no character in the UZT plate "
                                      "of the mapping"};
          }
      }
    }
    prev_ = b;
    scan_ += step;
    // A chunk may end here unless the decoder, seeing this place in the
    // whole text, would join the byte after it to the step before ("w"
    // after a space).
    if (scan_ >= chunk_ && scan_ < size && !(p[scan_] == 'w' && prev_ == ' ')) {
      cut_ = scan_;
      cut_ascii_ = ascii_;
      return;
    }
  }
}

void UZTStreamDecoder::Emit(size_t end, bool ascii_at_end, std::wstring& out) {
  chunk_bytes_.clear();
  // The library starts every string in the UZT plate.
  if (start_ascii_)
    chunk_bytes_.append(
        "\xFE"
        "1");
  chunk_bytes_.append(pending_, 0, end);
  try {
    utility_.ConvertUZT2Unicode(chunk_bytes_, chunk_text_);
  } catch (const TARNIException& e) {
    throw StreamError{offset_, e.GetExceptionMsg()};
  }
  out.append(chunk_text_);
  pending_.erase(0, end);
  offset_ += static_cast<int64_t>(end);
  scan_ -= end;
  start_ascii_ = ascii_at_end;
  cut_ = 0;
}
