#include "text/LoadNormalization.h"

#include <cstdint>

#include "foundation/Quote.h"
#include "foundation/TARNIException.h"
#include "text/TextIO.h"

namespace urdulex::internal {

void LoadNormalization(const std::string& config,
                       Normalization* normalization) {
  try {
    if (!normalization->Initialize(config)) {
      throw Error(normalization->GetLastError());
    }
    // The rules reader adds a rule only at its CR: a last line cut short
    // would be lost without a word. The read that loaded the rules saw it.
    if (const uint64_t line = normalization->NfcRulesUnendedLine()) {
      throw Error("NFC rules file " + QuoteName(normalization->NfcRulesPath()) +
                  " ends without CR LF: line " + std::to_string(line) +
                  " would be ignored");
    }
  } catch (const TARNIException& e) {
    throw Error(QuoteName(config) + ": " + e.GetExceptionMsg());
  }
}

}  // namespace urdulex::internal
