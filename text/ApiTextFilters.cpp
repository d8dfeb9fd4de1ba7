// StripDiacritics (urdulex/diacritics.h) and LetterCodes
// (urdulex/letter_codes.h) over the filters of TextFilters.h.

#include <vector>

#include "codemapper/CodeMapper.h"
#include "text/ApiSupport.h"
#include "text/TextFilters.h"
#include "urdulex/diacritics.h"
#include "urdulex/letter_codes.h"

namespace urdulex {

std::string StripDiacritics(std::string_view text,
                            const StripOptions& options) {
  return urdulex::internal::ApiCall([&] {
    // StripMarks composes a letter written as a base and a mark first.
    urdulex::internal::Units units = urdulex::internal::DecodeText(text);
    const size_t n = urdulex::internal::StripMarks(units.data(), units.size(),
                                                   options.keep_shadda);
    return urdulex::internal::ToUtf8(units.data(), n);
  });
}

struct LetterCodes::Table {
  std::vector<int> codes = std::vector<int>(kMapperSlots);
  std::vector<CodeText> texts = std::vector<CodeText>(kMapperSlots);
};

LetterCodes LetterCodes::Open(const std::string& table_path) {
  return urdulex::internal::ApiOpen(table_path, [&] {
    auto table = std::make_shared<Table>();
    urdulex::internal::LoadCodeTable(table_path, table->codes.data());
    FillCodeTexts(table->codes.data(), table->texts.data());
    return LetterCodes(std::move(table));
  });
}

std::string LetterCodes::Map(std::string_view line) const {
  return urdulex::internal::ApiCall([&] {
    const urdulex::internal::Units units = urdulex::internal::DecodeText(line);
    std::wstring scratch;
    std::string codes;
    urdulex::internal::AppendLineCodes(table_->codes.data(),
                                       table_->texts.data(), units.data(),
                                       units.size(), &scratch, &codes);
    return codes;
  });
}

}  // namespace urdulex
