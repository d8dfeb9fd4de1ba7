// StripDiacritics (urdulex/diacritics.h) and LetterCodes
// (urdulex/letter_codes.h) over the filters of `urdu strip` and `urdu
// codes`.

#include "codemapper/TextFilters.h"
#include "foundation/ApiSupport.h"
#include "urdulex/diacritics.h"
#include "urdulex/letter_codes.h"

namespace urdulex {

std::string StripDiacritics(std::string_view text,
                            const StripOptions& options) {
  return urdu::ApiCall([&] {
    // StripMarks composes a letter written as a base and a mark first.
    urdu::Units units = urdu::DecodeText(text);
    const size_t n =
        urdu::StripMarks(units.data(), units.size(), options.keep_shadda);
    return urdu::ToUtf8(units.data(), n);
  });
}

}  // namespace urdulex
// PROVISIONAL
#include "urdulex/error.h"
namespace urdulex {
struct LetterCodes::Table {};
LetterCodes LetterCodes::Open(const std::string&) { throw Error("TODO"); }
std::string LetterCodes::Map(std::string_view) const { return ""; }
}  // namespace urdulex
