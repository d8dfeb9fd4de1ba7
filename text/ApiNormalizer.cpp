// Normalizer of urdulex/normalizer.h over the normalizer (Normalization.h):
// the rules built in, of a configuration, or of a rules file.

#include <cstddef>

#include "foundation/Quote.h"
#include "normalization/Normalizer.h"
#include "text/ApiSupport.h"
#include "text/LoadNormalization.h"
#include "urdulex/normalizer.h"

namespace urdulex::internal {
// data/normalization/nfc-urdu.txt, compiled in (cmake/EmbedFile.cmake).
extern const unsigned char kUrduRules[];
extern const size_t kUrduRules_size;
}  // namespace urdulex::internal

namespace urdulex {

struct Normalizer::Rules {
  ::Normalization front;  // for a configuration
  ::Normalizer own;       // for built-in rules or a rules file
  const ::Normalizer* rules = &own;
  bool urdu = false;  // the built-in rules: U+0647 read by position first
};

namespace {

std::wstring Wide(const urdulex::internal::Units& units) {
  return std::wstring(units.begin(), units.end());
}

std::string Utf8(const std::wstring& text) {
  return urdulex::internal::ToUtf8(std::u16string(text.begin(), text.end()));
}

// UTF-8 bytes of the units text[0, n): a surrogate pair takes 4.
size_t Utf8Length(const wchar_t* text, size_t n) {
  size_t bytes = 0;
  for (size_t i = 0; i < n; ++i) {
    const auto c = static_cast<uint32_t>(text[i]);
    bytes += c < 0x80 ? 1 : c < 0x800 ? 2 : (c & 0xF800) == 0xD800 ? 2 : 3;
  }
  return bytes;
}

void NormalizeInto(const Normalizer::Rules& rules, std::wstring& text,
                   std::wstring* out) {
  if (rules.urdu) {
    urdulex::internal::NormalizeUrdu(*rules.rules, text, out);
  } else {
    rules.rules->NormalizeInto(text, out);
  }
}

}  // namespace

Normalizer Normalizer::Urdu() {
  // Compiled once; every copy shares it.
  static const Normalizer* urdu = [] {
    return urdulex::internal::ApiCall([] {
      auto rules = std::make_shared<Rules>();
      if (!rules->own.LoadNormRules(urdulex::internal::kUrduRules,
                                    urdulex::internal::kUrduRules_size)) {
        throw urdulex::internal::Error("built-in rules: " +
                                       rules->own.GetLastError());
      }
      rules->urdu = true;
      return new Normalizer(std::move(rules));
    });
  }();
  return *urdu;
}

Normalizer Normalizer::FromConfig(const std::string& path) {
  return urdulex::internal::ApiOpen(path, [&] {
    auto rules = std::make_shared<Rules>();
    urdulex::internal::LoadNormalization(path, &rules->front);
    rules->rules = rules->front.NfcNormalizer();
    return Normalizer(std::move(rules));
  });
}

Normalizer Normalizer::FromRules(const std::string& path) {
  return urdulex::internal::ApiOpen(path, [&] {
    auto rules = std::make_shared<Rules>();
    if (!rules->own.LoadNormRules(path)) {
      throw urdulex::internal::Error(
          "NFC rules file " + urdulex::internal::QuoteName(path) +
          " could not be read: " + rules->own.GetLastError());
    }
    if (const uint64_t line = rules->own.UnendedLine()) {
      throw urdulex::internal::Error(
          "NFC rules file " + urdulex::internal::QuoteName(path) +
          " ends without CR LF: line " + std::to_string(line) +
          " would be ignored");
    }
    return Normalizer(std::move(rules));
  });
}

std::string Normalizer::Normalize(std::string_view text) const {
  return urdulex::internal::ApiCall([&] {
    std::wstring wide = Wide(urdulex::internal::DecodeText(text)), out;
    NormalizeInto(*rules_, wide, &out);
    return Utf8(out);
  });
}

bool Normalizer::IsNormalized(std::string_view text) const {
  return urdulex::internal::ApiCall([&] {
    std::wstring wide = Wide(urdulex::internal::DecodeText(text)), out;
    const std::wstring before = wide;
    NormalizeInto(*rules_, wide, &out);
    return out == before;
  });
}

std::vector<Change> Normalizer::Changes(std::string_view text) const {
  return urdulex::internal::ApiCall([&] {
    const std::wstring wide = Wide(urdulex::internal::DecodeText(text));
    std::wstring out;
    std::vector<NormChange> internal;
    if (rules_->urdu) {
      urdulex::internal::NormalizeUrduWithChanges(*rules_->rules, wide, &out,
                                                  &internal);
    } else {
      rules_->rules->NormalizeWithChanges(wide, &out, &internal);
    }
    std::vector<Change> changes;
    size_t unit = 0, byte = urdulex::internal::MarkBytes(text);
    for (const NormChange& change : internal) {
      byte += Utf8Length(wide.data() + unit, change.position - unit);
      unit = change.position;
      changes.push_back({byte, Utf8(change.before), Utf8(change.after)});
    }
    return changes;
  });
}

size_t Normalizer::size() const { return rules_->rules->rules.size(); }

}  // namespace urdulex
