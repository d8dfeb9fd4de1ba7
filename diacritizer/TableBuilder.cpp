#include "diacritizer/TableBuilder.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <sstream>

#include "diacritizer/HashTable.h"
#include "diacritizer/TableFormat.h"
#include "foundation/Utf8.h"
#include "script/LexEnigneUtility.h"

namespace wordform {

namespace {

void PutInt32(std::string& out, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) {
    out[at + static_cast<size_t>(i)] =
        static_cast<char>((value >> (8 * i)) & 0xFF);
  }
}

// `word` with every fatha, kasra or damma that directly precedes a shadda
// moved behind it. Both orders are in use (Unicode's canonical order puts
// the vowel first); the merge writes the shadda first, and the two
// spellings are the same word.
std::wstring ShaddaFirst(std::wstring word) {
  for (size_t i = 0; i + 1 < word.size(); ++i) {
    wchar_t c = word[i];
    if ((c == 0x064E || c == 0x0650 || c == 0x064F) && word[i + 1] == 0x0651) {
      word[i] = 0x0651;
      word[i + 1] = c;
      ++i;
    }
  }
  return word;
}

constexpr wchar_t kKhariZabar = 0x0670;

bool IsSeparator(wchar_t c) { return c == L' ' || c == 0x200C || c == 0x200D; }

// The symbols that restore from `alias` the form that `key` and `symbols`
// restore, where `alias` is `key` less some khari zabars: each becomes a K
// on the letter before it, which has no other mark (X). False when there
// are none.
bool CanonicalSymbols(const std::wstring& key, const std::string& symbols,
                      const std::u16string& alias, std::string* out) {
  out->clear();
  size_t a = 0;             // in `alias`
  size_t j = 0;             // in `symbols`
  size_t bare = out->npos;  // the X of the letter just taken, if it has one
  for (wchar_t c : key) {
    const bool kept = a < alias.size() && alias[a] == c;
    if (IsSeparator(c)) {
      if (!kept) return false;
      ++a;
      bare = out->npos;
      continue;
    }
    const size_t n = j < symbols.size() && symbols[j] == 'S' ? 2 : 1;
    const std::string group = symbols.substr(std::min(j, symbols.size()), n);
    j += n;
    if (kept) {
      ++a;
      bare = group == "X" ? out->size() : out->npos;
      *out += group;
    } else if (c == kKhariZabar && group == "X" && bare != out->npos) {
      (*out)[bare] = 'K';
      bare = out->npos;
    } else {
      return false;
    }
  }
  return a == alias.size();
}

}  // namespace

Status DecodeTextLines(const std::string& bytes,
                       std::vector<std::wstring>* lines) {
  lines->clear();
  std::wstring text;
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const size_t n = bytes.size();
  size_t i = 0;
  if (n >= 2 &&
      ((p[0] == 0xFF && p[1] == 0xFE) || (p[0] == 0xFE && p[1] == 0xFF))) {
    const bool little = p[0] == 0xFF;
    if (n % 2 != 0) {
      return Status::Failure(" odd number of bytes in UTF-16");
    }
    for (i = 2; i + 1 < n; i += 2) {
      uint32_t u = little ? (p[i] | p[i + 1] << 8) : (p[i] << 8 | p[i + 1]);
      if (u >= 0xD800 && u <= 0xDBFF && i + 3 < n) {
        uint32_t lo =
            little ? (p[i + 2] | p[i + 3] << 8) : (p[i + 2] << 8 | p[i + 3]);
        if (lo >= 0xDC00 && lo <= 0xDFFF) {
          u = 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00);
          i += 2;
        }
      }
      text.push_back(static_cast<wchar_t>(u));
    }
  } else {
    if (n >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) i = 3;
    size_t line = 1;
    while (i < n) {
      char32_t c = 0;
      size_t valid = 0;
      const int used = utf8::DecodeSequence(p + i, n - i, &c, &valid);
      if (used <= 0) {
        return Status::Failure(std::to_string(line) + ": invalid UTF-8");
      }
      if (c == '\n') ++line;
      text.push_back(static_cast<wchar_t>(c));
      i += static_cast<size_t>(used);
    }
  }
  std::wstring current;
  for (wchar_t c : text) {
    if (c == L'\n') {
      lines->push_back(current);
      current.clear();
    } else {
      current.push_back(c);
    }
  }
  if (!current.empty()) lines->push_back(current);
  return Status();
}

}  // namespace wordform

const char* urdulex::SkipReasonName(SkipReason reason) {
  switch (reason) {
    case SkipReason::kNoLetters:
      return "no letters";
    case SkipReason::kNotRestorable:
      return "not restorable";
    case SkipReason::kLongKey:
      return "key over 20 units";
    case SkipReason::kLongSymbols:
      return "symbols over 20 bytes";
    case SkipReason::kAtSign:
      return "key starting with @";
    case SkipReason::kWideCharacter:
      return "character outside 16 bits";
    case SkipReason::kDuplicate:
      return "duplicate";
  }
  return "unknown";
}

namespace wordform {

std::optional<SkipReason> WordFormTableBuilder::Add(const std::wstring& word,
                                                    uint32_t id, uint8_t tag,
                                                    uint8_t flag) {
  for (wchar_t c : word) {
    if (c == 0 || static_cast<uint32_t>(c) > 0xFFFF) {
      return SkipReason::kWideCharacter;
    }
  }
  LexEnigneUtility utility;
  Entry entry{std::wstring(), std::string(), id, tag, flag};
  utility.SeparateSymbolicDiacritics(word, entry.key, entry.symbols);
  if (entry.key.empty()) return SkipReason::kNoLetters;
  if (utility.MergeSymbolicDiacritics(entry.key, entry.symbols) !=
      ShaddaFirst(word)) {
    return SkipReason::kNotRestorable;
  }
  if (entry.key.size() > static_cast<size_t>(kKeyUnits)) {
    return SkipReason::kLongKey;
  }
  if (entry.symbols.size() > static_cast<size_t>(kSymbolBytes)) {
    return SkipReason::kLongSymbols;
  }
  if (entry.key[0] == L'@') return SkipReason::kAtSign;
  if (!seen_.insert({entry.key, entry.symbols}).second) {
    return SkipReason::kDuplicate;
  }
  entries_.push_back(std::move(entry));
  if (canonical_key_ != nullptr) AddCanonical(entries_.back());
  return std::nullopt;
}

void WordFormTableBuilder::AddCanonical(const Entry& entry) {
  const std::u16string key(entry.key.begin(), entry.key.end());
  std::u16string alias;
  if (!canonical_key_(key.data(), key.size(), &alias) || alias.empty()) return;
  Entry second{std::wstring(alias.begin(), alias.end()), std::string(),
               entry.id, entry.tag, entry.flag};
  if (!CanonicalSymbols(entry.key, entry.symbols, alias, &second.symbols)) {
    return;
  }
  // What the lookups write must be the form itself.
  LexEnigneUtility utility;
  if (utility.MergeSymbolicDiacritics(second.key, second.symbols) !=
      utility.MergeSymbolicDiacritics(entry.key, entry.symbols)) {
    return;
  }
  if (!seen_.insert({second.key, second.symbols}).second) return;
  canonical_.push_back(std::move(second));
}

int64_t WordFormTableBuilder::SlotsForLoad(double load) const {
  const size_t records = entries_.size() + canonical_.size();
  const double forms = static_cast<double>(records);
  const double wanted = std::ceil(forms / load);
  // A tiny load asks for more slots than any table may have; converting
  // such a count (or an infinite one) to an integer would be undefined.
  if (!(wanted <= static_cast<double>(kMaxTableSlots))) {
    return static_cast<int64_t>(kMaxTableSlots) + 1;
  }
  int64_t slots = static_cast<int64_t>(wanted);
  if (slots < static_cast<int64_t>(records)) {
    slots = static_cast<int64_t>(records);
  }
  return slots < 1 ? 1 : slots;
}

Status WordFormTableBuilder::Build(int64_t slots, std::string* bytes) const {
  // The forms under their own keys, then the second records.
  std::vector<const Entry*> records;
  records.reserve(entries_.size() + canonical_.size());
  for (const Entry& entry : entries_) records.push_back(&entry);
  for (const Entry& entry : canonical_) records.push_back(&entry);
  if (slots < 1 || slots < static_cast<int64_t>(records.size())) {
    return Status::Failure(std::to_string(slots) + " slots cannot hold " +
                           std::to_string(records.size()) + " forms");
  }
  if (slots > kMaxTableSlots) {
    return Status::Failure(std::to_string(slots) +
                           " slots are more than the limit of " +
                           std::to_string(kMaxTableSlots));
  }
  const int32_t n = static_cast<int32_t>(slots);
  const HomeSlotHash home(n);
  std::vector<int32_t> at(records.size(), kUnusedSlot);     // entry -> slot
  std::vector<int64_t> holder(static_cast<size_t>(n), -1);  // slot -> entry
  std::vector<int32_t> next(static_cast<size_t>(n), kUnusedSlot);
  // Tail of the chain that starts at each home slot.
  std::vector<int32_t> tail(static_cast<size_t>(n), kUnusedSlot);

  // First the earliest form of every home slot goes home, so that no later
  // form can take a slot some chain has to start at. Then the rest, in list
  // order, go to the end of their home's chain, into free slots from the
  // top. Chains never mix homes, and the forms of one bare word follow
  // each other in list order along their chain.
  std::vector<int32_t> homes(records.size());
  for (size_t e = 0; e < records.size(); ++e) {
    const std::wstring& key = records[e]->key;
    int32_t h = static_cast<int32_t>(home(key.data(), key.size()));
    homes[e] = h;
    if (holder[h] < 0) {
      holder[h] = static_cast<int64_t>(e);
      at[e] = h;
      next[h] = kEndOfChain;
      tail[h] = h;
    }
  }
  int32_t free_slot = n - 1;
  for (size_t e = 0; e < records.size(); ++e) {
    if (at[e] != kUnusedSlot) continue;
    while (holder[free_slot] >= 0) --free_slot;
    int32_t s = free_slot;
    int32_t h = homes[e];
    holder[s] = static_cast<int64_t>(e);
    at[e] = s;
    next[tail[h]] = s;
    next[s] = kEndOfChain;
    tail[h] = s;
  }

  bytes->assign(
      kMarkSize + kHeaderWordSize + static_cast<size_t>(n) * kRecordSize, '\0');
  (*bytes)[0] = static_cast<char>(0xFF);
  (*bytes)[1] = static_cast<char>(0xFE);
  PutInt32(*bytes, kMarkSize, static_cast<uint32_t>(n));
  for (int32_t s = 0; s < n; ++s) {
    const size_t base =
        kMarkSize + kHeaderWordSize + static_cast<size_t>(s) * kRecordSize;
    const size_t tail_at = base + kKeyBytes;
    PutInt32(*bytes, tail_at + kNextOffset, static_cast<uint32_t>(next[s]));
    if (holder[s] < 0) continue;
    const Entry& entry = *records[static_cast<size_t>(holder[s])];
    for (size_t u = 0; u < entry.key.size(); ++u) {
      uint32_t c = static_cast<uint32_t>(entry.key[u]);
      (*bytes)[base + 2 * u] = static_cast<char>(c & 0xFF);
      (*bytes)[base + 2 * u + 1] = static_cast<char>(c >> 8);
    }
    for (size_t b = 0; b < entry.symbols.size(); ++b) {
      (*bytes)[tail_at + b] = entry.symbols[b];
    }
    PutInt32(*bytes, tail_at + kIdOffset, entry.id);
    (*bytes)[tail_at + kTagOffset] = static_cast<char>(entry.tag);
    (*bytes)[tail_at + kFlagOffset] = static_cast<char>(entry.flag);
  }
  return Status();
}

std::string ToUtf8(const std::wstring& text) {
  std::string out;
  for (wchar_t wc : text) {
    char32_t c = static_cast<char32_t>(wc);
    if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) c = 0xFFFD;
    char bytes[4];
    out.append(bytes, utf8::EncodeSequence(c, bytes));
  }
  return out;
}

namespace {

bool IsBlank(wchar_t c) {
  return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n';
}

std::wstring TrimBlanks(const std::wstring& s) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

// Parses a decimal field within [low, high].
bool ParseNumber(const std::wstring& field, long long low, long long high,
                 long long* value) {
  std::string text;
  for (wchar_t c : TrimBlanks(field)) {
    if (c > 0x7F) return false;
    text.push_back(static_cast<char>(c));
  }
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  long long v = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || v < low || v > high) return false;
  *value = v;
  return true;
}

}  // namespace

Status BuildTableFromList(const std::string& list_name,
                          const std::string& list_bytes, int64_t slots,
                          double load, ListBuild* build,
                          uint8_t leave_out_flags,
                          CanonicalKeyFunction canonical_key) {
  std::vector<std::wstring> lines;
  const Status decoded = DecodeTextLines(list_bytes, &lines);
  if (!decoded.ok())
    return Status::Failure(list_name + ":" + decoded.message());
  WordFormTableBuilder builder(canonical_key);
  for (size_t n = 0; n < lines.size(); ++n) {
    std::vector<std::wstring> fields(1);
    for (wchar_t c : lines[n]) {
      if (c == L'\t') {
        fields.emplace_back();
      } else {
        fields.back().push_back(c);
      }
    }
    const std::wstring word = TrimBlanks(fields[0]);
    const std::string where = list_name + ":" + std::to_string(n + 1) + ": ";
    if (word.empty() && fields.size() == 1) {
      ++build->blank_lines;
      continue;
    }
    long long id = 0xFFFFFFFFll, tag = 0, flag = 0;
    std::string error;
    if (fields.size() > 4) {
      error = where + "more than four fields";
    } else if (fields.size() > 1 &&
               !ParseNumber(fields[1], -1, 0xFFFFFFFFll, &id)) {
      error = where + "id is not a number from -1 to 4294967295";
    } else if (fields.size() > 2 && !ParseNumber(fields[2], 0, 255, &tag)) {
      error = where + "tag is not a number from 0 to 255";
    } else if (fields.size() > 3 && !ParseNumber(fields[3], 0, 255, &flag)) {
      error = where + "flag is not a number from 0 to 255";
    } else if ((flag & leave_out_flags) != 0) {
      ++build->left_out;
      continue;
    } else {
      const std::optional<SkipReason> reason =
          builder.Add(word, static_cast<uint32_t>(id),
                      static_cast<uint8_t>(tag), static_cast<uint8_t>(flag));
      if (!reason) {
        ++build->stored;
      } else {
        ++build->skipped[static_cast<int>(*reason)];
        build->skipped_lines.push_back(SkippedLine{n + 1, word, *reason});
      }
      continue;
    }
    return Status::Failure(error);
  }
  build->forms = builder.size();
  build->canonical_forms = builder.canonical_forms();
  build->slots = slots != 0
                     ? slots
                     : builder.SlotsForLoad(load != 0 ? load : kDefaultLoad);
  return builder.Build(build->slots, &build->bytes);
}

std::string BuildSummary(const ListBuild& build, const std::string& output) {
  std::ostringstream summary;
  summary << build.forms << " forms in " << build.slots << " slots (load "
          << static_cast<double>(build.forms + build.canonical_forms) /
                 static_cast<double>(build.slots);
  if (build.canonical_forms != 0) {
    summary << "; " << build.canonical_forms << " more under canonical keys";
  }
  summary << ") written to " << output;
  size_t total_skipped = 0;
  for (size_t count : build.skipped) total_skipped += count;
  summary << "; skipped " << total_skipped;
  for (int r = 0; r < 7; ++r) {
    if (build.skipped[r] != 0) {
      summary << ", " << build.skipped[r] << " "
              << SkipReasonName(static_cast<SkipReason>(r));
    }
  }
  if (build.blank_lines != 0) {
    summary << "; " << build.blank_lines << " blank lines";
  }
  if (build.left_out != 0) summary << "; left out " << build.left_out;
  return summary.str();
}

std::string SkippedLineText(const std::string& list_name,
                            const SkippedLine& skipped) {
  return list_name + ":" + std::to_string(skipped.line) + ": " +
         ToUtf8(skipped.word) + ": " + SkipReasonName(skipped.reason) + "\n";
}

}  // namespace wordform
