// Fuzz target for the normalization rules reader and the normalizer. The
// input is written to a scratch file and read with ReadPatterns and
// LoadNormRules; the rules must agree with a plain model of the reading
// rules that works on the bytes in memory. A line is then normalized and
// compared with a naive model: the U+06BE step as stated, then a search
// that tries every position and every rule; the list of changes, applied
// to the line, must give the same result. A difference aborts. The line
// goes through the Urdu front as well: U+0647 read by its place and then
// the rules, whose changes must also give its result.
//
// Input layout: the rules file (mark included, or not), then optionally
// 0x00 0x00 0x00 0x00 and a 16-bit little-endian line to normalize.
//
// Built with libFuzzer under clang; otherwise with the replay main of
// fuzz/FuzzReplayMain.cpp.

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "fuzz/FuzzUtil.h"
#include "normalization/Normalizer.h"
#include "text/ArabicHeh.h"
#include "text/LoadNormalization.h"

namespace {

// The naive search is quadratic; small inputs find the faults as well.
constexpr size_t kMaxInput = 1 << 12;

struct Model {
  bool ok = false;
  std::vector<NormRule> rules;
};

Model ModelRead(const uint8_t* data, size_t size) {
  Model model;
  if (size < 2 || data[0] != 0xFF || data[1] != 0xFE) return model;
  const size_t units = (size - 2) / 2;
  std::wstring buffer;
  NormRule rule;
  for (size_t k = 0; k < units; ++k) {
    const wchar_t c =
        static_cast<wchar_t>(data[2 + 2 * k] | (data[3 + 2 * k] << 8));
    if (c == L':') {
      rule.pattern = buffer;
      buffer.clear();
    } else if (c == L'\r') {
      rule.replacement = buffer;
      model.rules.push_back(rule);
      buffer.clear();
      // No unit to skip after the CR: the next read fails.
      if (k + 1 >= units) return model;
      ++k;
    } else {
      buffer.push_back(c);
    }
  }
  model.ok = true;
  return model;
}

bool IsDiac(wchar_t c) {
  static const wchar_t kDiacritics[] = {
      0x0610, 0x0611, 0x0612, 0x0613, 0x0614, 0x0615, 0x064B, 0x064E, 0x064F,
      0x0650, 0x0651, 0x0652, 0x0653, 0x0654, 0x0656, 0x0657, 0x0658, 0x0670};
  for (wchar_t d : kDiacritics) {
    if (c == d) return true;
  }
  return false;
}

bool SameUnit(wchar_t a, wchar_t b) {
  return (static_cast<uint32_t>(a) & 0xFFFF) ==
         (static_cast<uint32_t>(b) & 0xFFFF);
}

std::wstring ModelNormalize(const std::vector<NormRule>& rules,
                            const std::wstring& text) {
  std::wstring moved;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == 0x06BE && i > 0 && IsDiac(moved.back())) {
      long j = static_cast<long>(i) - 1;
      while (j >= 0 && IsDiac(text[j])) --j;
      moved.insert(moved.begin() + (j + 1), 0x06BE);
    } else {
      moved.push_back(text[i]);
    }
  }
  // The index that the automaton keeps for a pattern is its last one.
  auto last_index = [&](size_t i) {
    for (size_t k = rules.size(); k-- > i;) {
      const std::wstring& a = rules[k].pattern;
      const std::wstring& b = rules[i].pattern;
      if (a.size() != b.size()) continue;
      bool same = true;
      for (size_t m = 0; m < a.size() && same; ++m) same = SameUnit(a[m], b[m]);
      if (same) return k;
    }
    return i;
  };
  std::wstring out;
  size_t at = 0;
  while (at < moved.size()) {
    size_t best = rules.size();
    for (size_t i = 0; i < rules.size(); ++i) {
      const std::wstring& p = rules[i].pattern;
      if (p.empty() || p.size() > moved.size() - at) continue;
      bool match = true;
      for (size_t m = 0; m < p.size() && match; ++m) {
        match = SameUnit(p[m], moved[at + m]);
      }
      if (match && last_index(i) < best) best = last_index(i);
    }
    if (best == rules.size()) {
      out.push_back(moved[at++]);
      continue;
    }
    out += rules[best].replacement;
    at += rules[best].pattern.size();
  }
  return out;
}

void Check(bool condition, const char* what) {
  if (!condition) {
    fprintf(stderr, "normalizer fuzzer: %s\n", what);
    abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > kMaxInput) return 0;
  std::wstring line;
  const size_t rules_size = urdulex::fuzz::SplitFileAndLine(data, size, &line);

  Normalizer reader;
  Normalizer normalizer;
  bool read, loaded;
  {
    urdulex::fuzz::ScratchFile file("normalizer_fuzz");
    file.Write(data, rules_size);
    read = reader.ReadPatterns(file.path().c_str());
    loaded = normalizer.LoadNormRules(file.path().c_str());
  }

  const Model model = ModelRead(data, rules_size);
  Check(read == model.ok, "read result differs");
  Check(loaded == model.ok, "load result differs");
  Check(reader.rules.size() == model.rules.size(), "number of rules differs");
  for (size_t i = 0; i < model.rules.size(); ++i) {
    Check(reader.rules[i].pattern == model.rules[i].pattern &&
              reader.rules[i].replacement == model.rules[i].replacement,
          "rule differs");
  }

  const std::wstring got = normalizer.NormalizeString(line);
  const std::vector<NormRule> none;
  Check(got == ModelNormalize(loaded ? model.rules : none, line),
        "normalized line differs");

  // The changes listed, applied in order, give the same line.
  const auto apply = [&](const std::vector<NormChange>& changes) {
    std::wstring applied;
    size_t at = 0;
    for (const NormChange& change : changes) {
      Check(change.position >= at && change.position <= line.size() &&
                line.compare(change.position, change.before.size(),
                             change.before) == 0,
            "change out of order or not in the line");
      applied.append(line, at, change.position - at);
      applied += change.after;
      at = change.position + change.before.size();
    }
    applied.append(line, at, std::wstring::npos);
    return applied;
  };
  std::wstring listed;
  std::vector<NormChange> changes;
  normalizer.NormalizeWithChanges(line, &listed, &changes);
  Check(listed == got, "line normalized with its changes differs");
  Check(apply(changes) == got,
        "applied changes differ from the normalized line");

  // The Urdu front: the reading of U+0647 changes nothing else.
  std::wstring aspirated = line;
  urdulex::internal::AspirateArabicHehs(aspirated.data(), aspirated.size());
  for (size_t i = 0; i < line.size(); ++i) {
    Check(aspirated[i] == line[i] ||
              (line[i] == 0x0647 && aspirated[i] == 0x06BE),
          "the reading of U+0647 changed another unit");
  }
  std::wstring urdu = line;
  urdulex::internal::NormalizeUrdu(normalizer, urdu, &urdu);
  Check(urdu == normalizer.NormalizeString(aspirated),
        "Urdu front differs from the reading and the rules");
  urdulex::internal::NormalizeUrduWithChanges(normalizer, line, &listed,
                                              &changes);
  Check(listed == urdu, "Urdu line normalized with its changes differs");
  Check(apply(changes) == urdu,
        "applied Urdu changes differ from the normalized line");
  return 0;
}
