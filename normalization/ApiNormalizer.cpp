// PROVISIONAL until the merge
#include "foundation/ApiSupport.h"
#include "normalization/Normalizer.h"
#include "urdulex/error.h"
#include "urdulex/normalizer.h"

namespace urdulex {

struct Normalizer::Rules {
  ::Normalizer normalizer;
};

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

Normalizer Normalizer::Urdu() { throw Error("TODO"); }
Normalizer Normalizer::FromConfig(const std::string&) { throw Error("TODO"); }
Normalizer Normalizer::FromRules(const std::string& path) {
  return urdu::ApiCall([&] {
    auto rules = std::make_shared<Rules>();
    if (!rules->normalizer.LoadNormRules(path)) {
      throw urdu::Error(rules->normalizer.GetLastError());
    }
    return Normalizer(std::move(rules));
  });
}
std::string Normalizer::Normalize(std::string_view text) const {
  return urdu::ApiCall([&] {
    std::wstring wide = Wide(text), out;
    rules_->normalizer.NormalizeInto(wide, &out);
    return Utf8(out);
  });
}
bool Normalizer::IsNormalized(std::string_view text) const {
  return Normalize(text) == text;
}
std::vector<Change> Normalizer::Changes(std::string_view) const { return {}; }
size_t Normalizer::size() const { return rules_->normalizer.rules.size(); }

}  // namespace urdulex
