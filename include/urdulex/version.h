// The version of the linked urdulex library, "MAJOR.MINOR.PATCH".

#ifndef URDULEX_VERSION_H_
#define URDULEX_VERSION_H_

namespace urdulex {

// Never null.
const char* Version();

}  // namespace urdulex

#endif  // URDULEX_VERSION_H_
