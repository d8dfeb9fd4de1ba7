#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "foundation/SafeOutput.h"
#include "foundation/TestUtil.h"

namespace urdulex {
namespace test {
namespace {

class SafeOutputTest : public TempDirTest {};

// Each step of a run that fails leaves the old output; only a whole run
// replaces it.
TEST_F(SafeOutputTest, OnlyAWholeRunReplacesTheOutput) {
  struct {
    const char* what;
    std::string target;  // in the scratch folder
    bool change_input;   // while the output is written
    bool written;        // every write went through
    SafeOutput::Failure failure;
    std::string detail;  // clash(), changed() or reason()
  } cases[] = {
      {"a whole run", "out", false, true, SafeOutput::kNone, ""},
      {"the output is the input", "in", false, true, SafeOutput::kSameFile,
       "Input"},
      {"no folder for the output", "missing/out", false, true,
       SafeOutput::kCannotCreate, "No such file or directory"},
      {"the input changed", "out", true, true, SafeOutput::kInputChanged, "in"},
      {"a write failed", "out", false, false, SafeOutput::kCannotWrite, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string input = MakeFile("in", "input");
    MakeFile("out", "old");
    const std::string target = Path(c.target);
    SafeOutput output;
    output.AddInput(input, "Input");
    output.WatchInput(input);
    SafeOutput::Failure failure = output.Check(target);
    if (failure == SafeOutput::kNone) failure = output.Begin(target);
    if (failure == SafeOutput::kNone) {
      ASSERT_EQ(3, ::write(output.fd(), "new", 3));
      if (c.change_input) {
        std::ofstream(input, std::ios::app) << " more";
      }
      failure = output.Commit(c.written);
    }
    EXPECT_EQ(c.failure, failure);
    if (c.failure == SafeOutput::kSameFile) {
      EXPECT_EQ(c.detail, output.clash());
    }
    if (c.failure == SafeOutput::kInputChanged) {
      EXPECT_EQ(Path(c.detail), output.changed());
    }
    if (c.failure == SafeOutput::kCannotCreate) {
      EXPECT_EQ(c.detail, output.reason());
    }
    EXPECT_EQ(c.failure == SafeOutput::kNone ? "new" : "old",
              Contents(Path("out")));
  }
}

}  // namespace
}  // namespace test
}  // namespace urdulex
