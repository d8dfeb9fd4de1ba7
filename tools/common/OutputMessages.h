// What the programs that take INPUT OUTPUT (codemapper, diacritizer,
// urdulex-normalize) print when their output fails (foundation/
// SafeOutput.h): one line, without the program's name, to be reported with
// status kExitFailure (tools/common/ExitStatus.h).

#ifndef URDULEX_TOOLS_COMMON_OUTPUTMESSAGES_H_
#define URDULEX_TOOLS_COMMON_OUTPUTMESSAGES_H_

#include <string>

#include "foundation/Quote.h"
#include "foundation/SafeOutput.h"

namespace urdulex::internal {

// The line for `failure` of `output`, whose target is `target`.
inline std::string OutputFailureMessage(const SafeOutput& output,
                                        SafeOutput::Failure failure,
                                        const std::string& target) {
  switch (failure) {
    case SafeOutput::kNone:
      break;
    case SafeOutput::kSameFile:
      return output.clash() +
             " and output are the same file: " + QuoteName(target) + ".";
    case SafeOutput::kCannotCreate:
      return "Could not create output file: " + QuoteName(target) + ".";
    case SafeOutput::kInputChanged:
      return "Input file changed while being read: " +
             QuoteName(output.changed()) + ".";
    case SafeOutput::kCannotWrite:
    case SafeOutput::kCannotReplace:
      return "Could not write output file: " + QuoteName(target) + ".";
  }
  return std::string();
}

}  // namespace urdulex::internal

#endif  // URDULEX_TOOLS_COMMON_OUTPUTMESSAGES_H_
