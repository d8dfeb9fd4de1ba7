// DataFile of the public API: only the folder URDULEX_DATA names when it
// is set, else the installation's data folder, then this build's trees.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "foundation/TestUtil.h"
#include "urdulex/urdulex.h"

namespace {

class ApiDataFileTest : public urdulex::test::TempDirTest {
 protected:
  void TearDown() override {
    unsetenv("URDULEX_DATA");
    TempDirTest::TearDown();
  }
};

// The first of the folders a program of this build takes data from that
// holds `relative`.
std::string Shipped(const std::string& relative) {
  for (const std::string folder :
       {URDULEX_INSTALLED_DATA_DIR, URDULEX_BINARY_DIR "/data",
        URDULEX_SOURCE_DIR "/data"}) {
    if (std::filesystem::exists(folder + "/" + relative)) {
      return folder + "/" + relative;
    }
  }
  return "no folder holds " + relative;
}

TEST_F(ApiDataFileTest, FoundInTheNamedFolderOrTheShippedOnes) {
  std::filesystem::create_directories(Path("mine/diacritizer"));
  MakeFile("mine/diacritizer/context.txt", "");
  MakeFile("file", "");
  const std::string mine = Path("mine");
  const struct {
    std::string variable;  // empty: unset
    std::string relative;
    std::string path;       // found, or
    std::string error;      // what()
    std::string installed;  // the folder the program was built against
  } cases[] = {
      {mine, "diacritizer/context.txt", mine + "/diacritizer/context.txt", "",
       ""},
      {mine, "codemapper/rules.txt", "",
       "URDULEX_DATA folder " + mine + " holds no codemapper/rules.txt", ""},
      {Path("missing"), "diacritizer/context.txt", "",
       "URDULEX_DATA names no folder: " + Path("missing") +
           ": No such file or directory",
       ""},
      {Path("file"), "diacritizer/context.txt", "",
       "URDULEX_DATA names no folder: " + Path("file") + ": Not a directory",
       ""},
      {"", "diacritizer/wordformshashtable.lex",
       Shipped("diacritizer/wordformshashtable.lex"), "", ""},
      {"", "diacritizer/context.txt", Shipped("diacritizer/context.txt"), "",
       ""},
      {"", "codemapper/rules.txt", Shipped("codemapper/rules.txt"), "", ""},
      {"", "normalization/config.ini", Shipped("normalization/config.ini"), "",
       ""},
      {"", "no/such.txt", "",
       "no data file no/such.txt: set URDULEX_DATA to a folder holding it "
       "(not in the installation's " URDULEX_INSTALLED_DATA_DIR ")",
       ""},
      {"", "/etc/passwd", "", "not a path under a data folder: /etc/passwd",
       ""},
      {mine, "", "", "not a path under a data folder: ''", ""},
      // The folder the program was built against comes before the shipped
      // ones; one that lacks the file is passed over.
      {"", "diacritizer/context.txt", mine + "/diacritizer/context.txt", "",
       mine},
      {"", "codemapper/rules.txt", Shipped("codemapper/rules.txt"), "", mine},
      {"", "no/such.txt", "",
       "no data file no/such.txt: set URDULEX_DATA to a folder holding it "
       "(not in the installation's " +
           mine + ")",
       mine},
  };
  for (const auto& c : cases) {
    if (c.variable.empty()) {
      unsetenv("URDULEX_DATA");
    } else {
      setenv("URDULEX_DATA", c.variable.c_str(), 1);
    }
    try {
      EXPECT_EQ(c.path, c.installed.empty()
                            ? urdulex::DataFile(c.relative)
                            : urdulex::DataFile(c.relative, c.installed))
          << c.relative;
      EXPECT_EQ("", c.error) << c.relative;
    } catch (const urdulex::Error& e) {
      EXPECT_EQ(c.error, e.what()) << c.relative;
    }
  }
}

}  // namespace
