// The normalization configuration loaded and judged, for the programs and
// the public API alike. Internal; not installed.

#ifndef URDULEX_NORMALIZATION_LOADNORMALIZATION_H_
#define URDULEX_NORMALIZATION_LOADNORMALIZATION_H_

#include <string>

#include "normalization/Normalization.h"

namespace urdu {

// Initializes `normalization` from the configuration file `config` and
// refuses NFC rules whose last line the reader dropped. Throws Error with a
// one-line message naming the file.
void LoadNormalization(const std::string& config, Normalization* normalization);

}  // namespace urdu

#endif  // URDULEX_NORMALIZATION_LOADNORMALIZATION_H_
