#include "tools/uztconv/UZTStream.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
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

UZTStreamDecoder::UZTStreamDecoder(const UZTMapping& mapping,
                                   const LexEnigneUtility& utility,
                                   size_t chunk)
    : utility_(utility), chunk_(chunk) {
  for (int b = 0; b < 256; ++b) {
    const bool fixed = b == 0xFE || b == 0xC0 || b == 0xC2 || b == 0xC5 ||
                       b == 'u' || b == 'y' || b == 'w';
    plain_[b] =
        !fixed && mapping.UnicodeForByte(static_cast<unsigned char>(b)) != 0;
  }
}

void UZTStreamDecoder::Put(const char* data, size_t n, std::wstring& out) {
  if (start_ > 0) {  // drop what was decoded, once per call
    pending_.erase(0, start_);
    scan_ -= start_;
    offset_ += static_cast<int64_t>(start_);
    start_ = 0;
  }
  pending_.append(data, n);
  while (Scan(false)) Emit(cut_, cut_ascii_, out);
}

void UZTStreamDecoder::Finish(std::wstring& out) {
  while (Scan(true)) Emit(cut_, cut_ascii_, out);
  if (start_ < pending_.size()) Emit(pending_.size(), ascii_, out);
}

// The steps below are those of LexEnigneUtility::ConvertUZT2Unicode: they
// must agree with it on where each step starts and what it needs.
bool UZTStreamDecoder::Scan(bool final) {
  const unsigned char* p =
      reinterpret_cast<const unsigned char*>(pending_.data());
  const size_t size = pending_.size();
  const size_t least = start_ + (chunk_ > 0 ? chunk_ : 1);
  // A chunk may end before any step at or after `least`, except before a
  // "w" of the UZT plate after a space: the decoder, seeing the whole text,
  // would join the two.
  const auto can_cut = [&](size_t at, bool ascii) {
    return at >= least && at < size && (ascii || p[at] != 'w' || prev_ != ' ');
  };
  while (scan_ < size) {
    const size_t i = scan_;
    const unsigned char b = p[i];
    if ((ascii_ && b != 0xFE) || (!ascii_ && plain_[b])) {
      // A run of one-byte steps that need no neighbour: in the ASCII plate
      // up to the next escape, in the UZT plate while the table decodes.
      size_t j;
      if (ascii_) {
        const void* escape = std::memchr(p + i, 0xFE, size - i);
        j = escape == nullptr
                ? size
                : static_cast<size_t>(
                      static_cast<const unsigned char*>(escape) - p);
      } else {
        j = i + 1;
        while (j < size && plain_[p[j]]) ++j;
      }
      // Inside the run every place is safe: a plain byte follows.
      const size_t c = std::max(i + 1, least);
      if (c < j) {
        prev_ = p[c - 1];
        scan_ = c;
        cut_ = c;
        cut_ascii_ = ascii_;
        return true;
      }
      prev_ = p[j - 1];
      scan_ = j;
    } else {
      const bool has_next = i + 1 < size;
      // These steps may look at the next byte; wait until it is known.
      if (!has_next && !final) return false;
      const unsigned char next = has_next ? p[i + 1] : 0;
      const int64_t at = offset_ + static_cast<int64_t>(i);
      size_t step = 1;
      if (b == 0xFE) {
        if (next == '0') {
          ascii_ = false;
        } else if (next == '1') {
          ascii_ = true;
        } else if (!has_next) {
          throw StreamError{at,
                            "code-plate escape 254 at the end of the input"};
        } else {
          throw StreamError{at, "code-plate escape 254 followed by " +
                                    ByteName(next) + " (expected '0' or '1')"};
        }
        step = 2;
      } else if (b == 'u') {
        if (next == 'C') step = 2;
      } else if (b == 'y') {
        if (next == 'w') step = 2;
      } else if (b == 'w') {
        if (prev_ == ' ' && next == ' ') step = 2;
      } else if (b != 0xC0 && b != 0xC2 && b != 0xC5) {
        throw StreamError{at, "byte " + ByteName(b) +
                                  " has no character in the UZT plate of the "
                                  "mapping"};
      }
      prev_ = b;
      scan_ += step;
    }
    if (can_cut(scan_, ascii_)) {
      cut_ = scan_;
      cut_ascii_ = ascii_;
      return true;
    }
  }
  return false;
}

void UZTStreamDecoder::Emit(size_t end, bool ascii_at_end, std::wstring& out) {
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
    throw StreamError{offset_ + static_cast<int64_t>(start_),
                      e.GetExceptionMsg()};
  }
  out.append(chunk_text_);
  start_ = end;
  start_ascii_ = ascii_at_end;
}
