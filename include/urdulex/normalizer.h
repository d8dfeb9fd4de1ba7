// Normalization of Urdu text by replacement rules, in UTF-8.
//
// A Normalizer holds compiled rules: the shipped Urdu rules, which are
// built into the library (Normalizer::Urdu(), no file needed), the rules
// file a configuration names (config.ini),
// or a rules file (16-bit "pattern:replacement" lines, doc/normalization.md).
// Each heh doachashmee first moves in front of the marks between it and
// its letter, then one pass replaces every pattern, left to right.
//
// Loading throws Error naming the file and what is wrong. A Normalizer
// is a handle: copies share the same rules, which are never changed, so
// one object may be used from many threads at once.

#ifndef URDULEX_NORMALIZER_H_
#define URDULEX_NORMALIZER_H_

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace urdulex {

// One replacement: at byte `offset` of the text given, `before` became
// `after`.
struct Change {
  size_t offset;
  std::string before;
  std::string after;
};

class Normalizer {
 public:
  // The shipped Urdu rules (data/normalization/nfc-urdu.txt).
  static Normalizer Urdu();
  // The NFC rules named by the configuration file `path`; a relative
  // rules path is taken from the configuration's folder.
  static Normalizer FromConfig(const std::string& path);
  // The rules of the rules file `path`.
  static Normalizer FromRules(const std::string& path);

  std::string Normalize(std::string_view text) const;
  bool IsNormalized(std::string_view text) const;
  // The replacements Normalize makes, in the order of the text.
  std::vector<Change> Changes(std::string_view text) const;
  // Number of rules.
  size_t size() const;

  struct Rules;

 private:
  explicit Normalizer(std::shared_ptr<const Rules> rules)
      : rules_(std::move(rules)) {}
  std::shared_ptr<const Rules> rules_;
};

}  // namespace urdulex

#endif  // URDULEX_NORMALIZER_H_
