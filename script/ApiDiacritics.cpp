// SplitDiacritics and MergeDiacritics of urdulex/diacritics.h, over the
// symbolic diacritics of LexEnigneUtility.

#include "foundation/ApiSupport.h"
#include "script/LexEnigneUtility.h"
#include "urdulex/diacritics.h"

namespace urdulex {

namespace {

std::wstring Wide(std::string_view text) {
  const urdu::Units units = urdu::DecodeText(text);
  return std::wstring(units.begin(), units.end());
}

std::string Utf8(const std::wstring& text) {
  const std::u16string units(text.begin(), text.end());
  return urdu::ToUtf8(units);
}

}  // namespace

SplitWord SplitDiacritics(std::string_view word) {
  return urdu::ApiCall([&] {
    std::wstring bare;
    SplitWord split;
    LexEnigneUtility().SeparateSymbolicDiacritics(Wide(word), bare,
                                                  split.symbols);
    split.bare = Utf8(bare);
    return split;
  });
}

std::string MergeDiacritics(std::string_view bare, std::string_view symbols) {
  return urdu::ApiCall([&] {
    return Utf8(LexEnigneUtility().MergeSymbolicDiacritics(
        Wide(bare), std::string(symbols)));
  });
}

}  // namespace urdulex
