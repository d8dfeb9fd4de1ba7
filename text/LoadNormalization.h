// The normalization configuration loaded and judged, for the programs and
// the public API alike. Internal; not installed.

#ifndef URDULEX_TEXT_LOADNORMALIZATION_H_
#define URDULEX_TEXT_LOADNORMALIZATION_H_

#include <string>

#include "normalization/Normalization.h"

namespace urdulex::internal {

// Initializes `normalization` from the configuration file `config` and
// refuses NFC rules whose last line the reader dropped. Throws Error with a
// one-line message naming the file.
void LoadNormalization(const std::string& config, Normalization* normalization);

}  // namespace urdulex::internal

#endif  // URDULEX_TEXT_LOADNORMALIZATION_H_
