// The exit statuses of urdulex's programs: 0 on success, kExitFailure when
// the work failed (a file that cannot be read or written, data that cannot
// be used), kExitUsage when the command line is wrong.

#ifndef URDULEX_TOOLS_COMMON_EXITSTATUS_H_
#define URDULEX_TOOLS_COMMON_EXITSTATUS_H_

namespace urdulex::internal {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

}  // namespace urdulex::internal

#endif  // URDULEX_TOOLS_COMMON_EXITSTATUS_H_
