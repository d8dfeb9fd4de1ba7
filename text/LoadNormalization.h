// The normalization configuration loaded and judged, for the programs and
// the public API alike. Internal; not installed.

#ifndef URDULEX_TEXT_LOADNORMALIZATION_H_
#define URDULEX_TEXT_LOADNORMALIZATION_H_

#include <cstddef>
#include <string>
#include <vector>

#include "normalization/Normalization.h"

namespace urdulex::internal {

// Initializes `normalization` from the configuration file `config` and
// refuses NFC rules whose last line the reader dropped. Throws Error with a
// one-line message naming the file.
void LoadNormalization(const std::string& config, Normalization* normalization);

// The Urdu normal form of the shipped rules: every U+0647 read by its place
// in the word (text/ArabicHeh.h), the reading as heh doachashmee written
// as U+06BE, then `rules` (which turn the other U+0647 into U+06C1). Into
// `*out`, which may be `text`; `text` is left with unspecified contents.
void NormalizeUrdu(const Normalizer& rules, std::wstring& text,
                   std::wstring* out);
// The same with the changes to `text` (Normalizer::NormalizeWithChanges):
// a U+0647 read as U+06BE is a change of its own, or part of the rule's
// change that takes it in.
void NormalizeUrduWithChanges(const Normalizer& rules, const std::wstring& text,
                              std::wstring* out,
                              std::vector<NormChange>* changes);
// Whether NormalizeUrdu may cut a text before text[i] (i > 0): `rules` may
// cut after text[i - 1] (Normalizer::CanCutAfter) and a word of the
// reading of U+0647 ends or starts there.
bool UrduCanCutBefore(const Normalizer& rules, const char16_t* text, size_t i);

}  // namespace urdulex::internal

#endif  // URDULEX_TEXT_LOADNORMALIZATION_H_
