#include "text/LoadNormalization.h"

#include <cstdint>
#include <utility>

#include "foundation/Quote.h"
#include "foundation/TARNIException.h"
#include "text/ArabicHeh.h"
#include "text/TextIO.h"

namespace urdulex::internal {

void LoadNormalization(const std::string& config,
                       Normalization* normalization) {
  try {
    if (!normalization->Initialize(config)) {
      throw Error(normalization->GetLastError());
    }
    // The rules reader adds a rule only at its CR: a last line cut short
    // would be lost without a word. The read that loaded the rules saw it.
    if (const uint64_t line = normalization->NfcRulesUnendedLine()) {
      throw Error("NFC rules file " + QuoteName(normalization->NfcRulesPath()) +
                  " ends without CR LF: line " + std::to_string(line) +
                  " would be ignored");
    }
  } catch (const TARNIException& e) {
    throw Error(QuoteName(config) + ": " + e.GetExceptionMsg());
  }
}

void NormalizeUrdu(const Normalizer& rules, std::wstring& text,
                   std::wstring* out) {
  AspirateArabicHehs(text.data(), text.size());
  rules.NormalizeInto(text, out);
}

void NormalizeUrduWithChanges(const Normalizer& rules, const std::wstring& text,
                              std::wstring* out,
                              std::vector<NormChange>* changes) {
  std::wstring read = text;
  if (AspirateArabicHehs(read.data(), read.size()) == 0) {
    rules.NormalizeWithChanges(text, out, changes);
    return;
  }
  std::vector<NormChange> ruled;
  rules.NormalizeWithChanges(read, out, &ruled);
  // The reading keeps every unit in place: the rules' changes are
  // stretches of `text` as well, and a heh read apart from them is one
  // more change.
  changes->clear();
  size_t next = 0;  // the first unit not yet looked at
  const auto hehs_up_to = [&](size_t end) {
    for (; next < end; ++next) {
      if (read[next] != text[next]) {
        changes->push_back({next, text.substr(next, 1), read.substr(next, 1)});
      }
    }
  };
  for (NormChange& change : ruled) {
    hehs_up_to(change.position);
    change.before = text.substr(change.position, change.before.size());
    next = change.position + change.before.size();
    if (change.before != change.after) changes->push_back(std::move(change));
  }
  hehs_up_to(text.size());
}

bool UrduCanCutBefore(const Normalizer& rules, const char16_t* text, size_t i) {
  return rules.CanCutAfter(text[i - 1]) &&
         !(IsArabicWordUnit(text[i - 1]) && IsArabicWordUnit(text[i]));
}

}  // namespace urdulex::internal
