// SplitDiacritics and MergeDiacritics of urdulex/diacritics.h, over the
// symbolic diacritics of LexEnigneUtility.

#include "script/LexEnigneUtility.h"
#include "text/ApiSupport.h"
#include "urdulex/diacritics.h"

namespace urdulex {

namespace {

std::wstring Wide(std::string_view text) {
  const urdulex::internal::Units units = urdulex::internal::DecodeText(text);
  return std::wstring(units.begin(), units.end());
}

std::string Utf8(const std::wstring& text) {
  const std::u16string units(text.begin(), text.end());
  return urdulex::internal::ToUtf8(units);
}

}  // namespace

SplitWord SplitDiacritics(std::string_view word) {
  return urdulex::internal::ApiCall([&] {
    std::wstring bare;
    SplitWord split;
    LexEnigneUtility().SeparateSymbolicDiacritics(Wide(word), bare,
                                                  split.symbols);
    split.bare = Utf8(bare);
    return split;
  });
}

std::string MergeDiacritics(std::string_view bare, std::string_view symbols) {
  return urdulex::internal::ApiCall([&] {
    return Utf8(LexEnigneUtility().MergeSymbolicDiacritics(
        Wide(bare), std::string(symbols)));
  });
}

}  // namespace urdulex
