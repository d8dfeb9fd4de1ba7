#include "text/CanonicalKey.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "script/ArabicComposition.h"
#include "text/ArabicHeh.h"
#include "text/WordKey.h"

namespace urdulex::internal {

namespace {

#include "text/PresentationForms.inc"

constexpr char16_t kKhariZabar = 0x0670;

}  // namespace

bool FoldsInKey(char16_t c) {
  switch (c) {
    case 0x0643:
    case 0x0649:
    case 0x064A:
    case kArabicHeh:
    case 0x0629:
    case 0x0653:
    case 0x0654:
    case 0x0655:
    case kKhariZabar:
      return true;
    default:
      return IsPresentationForm(c) || IsIgnorable(c);
  }
}

void AppendPresentationLetters(char16_t c, std::u16string* out) {
  const auto* end = std::end(kPresentationForms);
  const auto* it = std::lower_bound(
      std::begin(kPresentationForms), end, c,
      [](const uint16_t(&form)[2], char16_t code) { return form[0] < code; });
  if (it == end || (*it)[0] != c) {
    out->push_back(c);
    return;
  }
  const char16_t* letters = kPresentationPool + ((*it)[1] >> 5);
  out->append(letters, (*it)[1] & 31);
}

char16_t UrduLetter(char16_t c) {
  switch (c) {
    case 0x0643:
      return 0x06A9;
    case 0x0649:
    case 0x064A:
      return 0x06CC;
    case kArabicHeh:
      return kHehGoal;
    case 0x0629:
      return 0x06C3;
    default:
      return c;
  }
}

bool AppendCanonicalKey(const char16_t* word, size_t n, std::u16string* out) {
  if (std::none_of(word, word + n, FoldsInKey)) {
    out->append(word, n);
    return false;
  }
  std::u16string key;
  key.reserve(n);
  std::vector<size_t> blanks;  // the blanks of phrase ligatures
  for (size_t i = 0; i < n; ++i) {
    if (!IsPresentationForm(word[i])) {
      key.push_back(word[i]);
      continue;
    }
    const size_t from = key.size();
    AppendPresentationLetters(word[i], &key);
    for (size_t k = from; k < key.size(); ++k) {
      if (key[k] == u' ') blanks.push_back(k);
    }
  }
  // The blanks still part the words of a phrase here.
  AspirateArabicHehs(key.data(), key.size());
  size_t kept = 0;
  auto blank = blanks.begin();
  for (size_t k = 0; k < key.size(); ++k) {
    const char16_t c = key[k];
    if (blank != blanks.end() && *blank == k) {
      ++blank;
      continue;
    }
    if (c == kKhariZabar || IsIgnorable(c)) continue;
    key[kept++] = UrduLetter(c);
  }
  key.resize(ComposeArabicLetters(key.data(), kept));
  const bool differs = key.size() != n ||
                       std::memcmp(key.data(), word, n * sizeof(char16_t)) != 0;
  out->append(key);
  return differs;
}

}  // namespace urdulex::internal
