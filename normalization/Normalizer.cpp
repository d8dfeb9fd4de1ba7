#include "normalization/Normalizer.h"

#include <algorithm>
#include <cwchar>
#include <utility>

#include "foundation/FileReader.h"
#include "foundation/LineEnds.h"
#include "foundation/TARNIException.h"

namespace {

constexpr wchar_t kHehDoachashmee = 0x06BE;
constexpr wchar_t kColon = L':';
constexpr wchar_t kCarriageReturn = L'\r';

// The diacritics of the U+06BE step; U+064C, U+064D and U+0655 are not
// among them.
inline bool IsDiacritic(wchar_t c) {
  switch (c) {
    case 0x0610:
    case 0x0611:
    case 0x0612:
    case 0x0613:
    case 0x0614:
    case 0x0615:
    case 0x064B:
    case 0x064E:
    case 0x064F:
    case 0x0650:
    case 0x0651:
    case 0x0652:
    case 0x0653:
    case 0x0654:
    case 0x0656:
    case 0x0657:
    case 0x0658:
    case 0x0670:
      return true;
    default:
      return false;
  }
}

}  // namespace

Normalizer::Normalizer() {}

Normalizer::~Normalizer() { Clear(); }

bool Normalizer::IsDiac(wchar_t c) const { return IsDiacritic(c); }

namespace {

// The units of a rules file held in memory, read as FileReader reads a
// file: the mark is checked by the caller; a read past the end sets the
// end-of-file state, and a last byte alone counts as half a unit.
class MemoryUnits {
 public:
  MemoryUnits(const unsigned char* bytes, size_t n) : bytes_(bytes), n_(n) {}
  void Read(wchar_t* unit, int) {
    if (at_ + 2 > n_) {
      at_ = n_;
      eof_ = true;
      return;
    }
    *unit = static_cast<wchar_t>(bytes_[at_] | bytes_[at_ + 1] << 8);
    at_ += 2;
  }
  bool EoF() const { return eof_; }
  size_t Tell() const { return at_; }

 private:
  const unsigned char* bytes_;
  size_t n_;
  size_t at_ = 2;  // past the mark
  bool eof_ = false;
};

// Appends the rules of `reader`'s units to `rules`; the line where text
// after the last CR LF starts (or 0) goes to `*unended_line`.
template <typename Reader>
void ReadRules(Reader& reader, std::vector<NormRule>* rules,
               uint64_t* unended_line) {
  UnendedLineFinder line_ends;
  std::wstring buffer;
  NormRule rule;
  wchar_t unit = 0;
  reader.Read(&unit, 1);
  while (!reader.EoF()) {
    line_ends.Add(static_cast<uint32_t>(unit));
    if (unit == kColon) {
      rule.pattern = buffer;
      buffer.clear();
    } else if (unit == kCarriageReturn) {
      // The unit after CR (the LF of a well-formed line) is skipped
      // unseen.
      wchar_t skipped = 0;
      reader.Read(&skipped, 1);
      if (!reader.EoF()) line_ends.Add(static_cast<uint32_t>(skipped));
      rule.replacement = buffer;
      rules->push_back(rule);
      rule.replacement.clear();
      buffer.clear();
    } else {
      buffer.push_back(unit);
    }
    reader.Read(&unit, 1);
  }
  // An odd byte count: the last read took half a unit.
  *unended_line = line_ends.UnendedLine(reader.Tell() % 2 != 0);
}

}  // namespace

bool Normalizer::CanCutAfter(wchar_t c) const {
  return !IsDiacritic(c) && c != kHehDoachashmee &&
         fsm.CharSet().GetIndex(c) == CharSetMap::kAbsent;
}

bool Normalizer::ReadPatterns(const char* path) {
  last_error_.clear();
  unended_line_ = 0;
  try {
    FileReader reader;
    reader.Open(path, FileReader::UNICODE);
    ReadRules(reader, &rules, &unended_line_);
  } catch (IOException& e) {
    last_error_ = e.GetExceptionMsg();
    return false;
  }
  return true;
}

bool Normalizer::LoadNormRules(std::string path) {
  if (fsm.isDefined()) return true;
  return ReadPatterns(path.c_str()) && CompileRules();
}

bool Normalizer::LoadNormRules(const unsigned char* bytes, size_t n) {
  if (fsm.isDefined()) return true;
  last_error_.clear();
  unended_line_ = 0;
  if (n < 2 || bytes[0] != 0xFF || bytes[1] != 0xFE) {
    last_error_ = "The rules lack the byte-order mark FF FE.";
    return false;
  }
  MemoryUnits units(bytes, n);
  ReadRules(units, &rules, &unended_line_);
  return CompileRules();
}

bool Normalizer::CompileRules() {
  std::vector<std::wstring> patterns;
  patterns.reserve(rules.size());
  for (const NormRule& rule : rules) patterns.push_back(rule.pattern);
  if (!fsm.allocFSM(std::move(patterns))) {
    last_error_ = "Too many rules, pattern states or pattern characters.";
    return false;
  }
  return true;
}

void Normalizer::MoveHehInPlace(std::wstring& text, std::vector<Edit>* moved) {
  // Worked in place: text[0, i) is the result so far and text[i, n) still
  // the input. The run of diacritics is looked up in the input, which the
  // result differs from only at and before the last U+06BE moved; that
  // U+06BE is not a diacritic, so the run never reaches past it.
  const size_t n = text.size();
  if (n == 0) return;
  wchar_t* s = &text[0];
  size_t barrier = 0;  // one past the input position of the last move
  for (size_t i = 1; i < n; ++i) {
    // Most text has no U+06BE at all; wmemchr passes over it quickly.
    const wchar_t* heh = std::wmemchr(s + i, kHehDoachashmee, n - i);
    if (heh == nullptr) break;
    i = static_cast<size_t>(heh - s);
    if (!IsDiacritic(s[i - 1])) continue;
    size_t j = i;  // the run is [j, i)
    while (j > barrier && IsDiacritic(s[j - 1])) --j;
    for (size_t k = i; k > j; --k) s[k] = s[k - 1];
    s[j] = kHehDoachashmee;
    barrier = i + 1;
    if (moved != nullptr) moved->push_back(Edit{j, i + 1, 0});
  }
}

std::wstring Normalizer::DiacriticHehDoChasmee(std::wstring text) {
  MoveHehInPlace(text);
  return text;
}

bool Normalizer::ReplaceInto(const std::wstring& text, std::wstring* out,
                             std::vector<Edit>* matches) const {
  const wchar_t* data = text.data();
  const size_t n = text.size();
  size_t position = 0;
  unsigned short index = 0;
  if (!fsm.findIn(data, n, 0, &position, &index)) return false;
  // What follows a replacement is the input's own rest, so searching on in
  // the input past the pattern is searching the result past the
  // replacement.
  out->clear();
  size_t copied = 0;
  do {
    const NormRule& rule = rules[index];
    out->append(data + copied, position - copied);
    out->append(rule.replacement);
    copied = position + rule.pattern.size();
    if (matches != nullptr) matches->push_back(Edit{position, copied, index});
  } while (fsm.findIn(data, n, copied, &position, &index));
  out->append(data + copied, n - copied);
  return true;
}

void Normalizer::ReplaceMatches(std::wstring& text) {
  std::wstring out;
  if (ReplaceInto(text, &out)) text.swap(out);
}

void Normalizer::NormalizeInto(std::wstring& text, std::wstring* out) const {
  MoveHehInPlace(text);
  if (out == &text) {
    std::wstring replaced;
    if (ReplaceInto(text, &replaced)) text.swap(replaced);
  } else if (!ReplaceInto(text, out)) {
    out->swap(text);
  }
}

void Normalizer::NormalizeWithChanges(const std::wstring& text,
                                      std::wstring* out,
                                      std::vector<NormChange>* changes) const {
  changes->clear();
  std::wstring moved_text = text;
  std::vector<Edit> moved, matches;
  MoveHehInPlace(moved_text, &moved);
  if (!ReplaceInto(moved_text, out, &matches)) *out = moved_text;
  // Step 1 keeps every unit where it was outside the stretches it rotates,
  // so the stretches of both steps are places in `text`: stretches that
  // overlap make one change, whose result is the moved text with the
  // replacements of its matches.
  size_t m = 0, r = 0;
  while (m < moved.size() || r < matches.size()) {
    const bool from_moved =
        r == matches.size() ||
        (m < moved.size() && moved[m].start <= matches[r].start);
    const Edit& first = from_moved ? moved[m++] : matches[r++];
    const size_t start = first.start;
    size_t end = first.end;
    std::wstring after;
    size_t copied = start;
    if (!from_moved) {
      after = rules[first.rule].replacement;
      copied = end;
    }
    while (true) {
      if (m < moved.size() && moved[m].start < end) {
        end = std::max(end, moved[m++].end);
      } else if (r < matches.size() && matches[r].start < end) {
        const Edit& match = matches[r++];
        after.append(moved_text, copied, match.start - copied);
        after.append(rules[match.rule].replacement);
        copied = match.end;
        end = std::max(end, match.end);
      } else {
        break;
      }
    }
    after.append(moved_text, copied, end - copied);
    std::wstring before = text.substr(start, end - start);
    if (before != after) {
      changes->push_back(
          NormChange{start, std::move(before), std::move(after)});
    }
  }
}

std::wstring Normalizer::NormalizeString(std::wstring text) {
  MoveHehInPlace(text);
  ReplaceMatches(text);
  return text;
}

void Normalizer::Clear() {
  if (fsm.isDefined()) fsm.deAllocFSM();
  rules.clear();
}
