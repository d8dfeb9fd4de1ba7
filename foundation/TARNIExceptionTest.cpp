#include <gtest/gtest.h>

#include <climits>
#include <exception>
#include <string>
#include <type_traits>

#include "foundation/FileReader.h"
#include "foundation/TARNIException.h"

namespace {

// Plain value types, outside the standard exception hierarchy.
static_assert(!std::is_base_of<std::exception, TARNIException>::value,
              "must not derive from std::exception");
static_assert(!std::is_polymorphic<TARNIException>::value,
              "must have no virtual operations");
static_assert(
    std::is_base_of<TARNIException, IOException>::value &&
        std::is_base_of<TARNIException, InvalidFormatException>::value &&
        std::is_base_of<TARNIException, MemoryAllocationException>::value &&
        std::is_base_of<TARNIException, OutOfBoundException>::value &&
        std::is_base_of<TARNIException, XMLParserException>::value,
    "every error derives from TARNIException");
static_assert(sizeof(IOException) == sizeof(TARNIException) &&
                  sizeof(XMLParserException) == sizeof(TARNIException),
              "subclasses add no field");

TEST(TARNIExceptionTest, ReportLine) {
  struct Case {
    int code;
    std::string file;
    int line;
    std::string message;
    std::string report;
  };
  const Case cases[] = {
      {17, "FileReader", 40, "End of file encountered.",
       "Error Code (0x11) in FileReader (40): End of file encountered."},
      {0, "LexEnigneUtility", 7, "No mapping.",
       "Error Code (0x0) in LexEnigneUtility (7): No mapping."},
      {255, "m", 1, "x", "Error Code (0xff) in m (1): x"},
      {-1, "m", 1, "x", "Error Code (0xffffffff) in m (1): x"},
      {16, "", 0, "", "Error Code (0x10) in  (0): "},
      {49, "hashmain", -12, "Bad.",
       "Error Code (0x31) in hashmain (-12): Bad."},
      {INT_MIN, "m", INT_MIN, "x",
       "Error Code (0x80000000) in m (-2147483648): x"},
      {INT_MAX, "m", INT_MAX, "x",
       "Error Code (0x7fffffff) in m (2147483647): x"},
      {0x1234abcd, "m", 0, "Two lines\nkept.",
       "Error Code (0x1234abcd) in m (0): Two lines\nkept."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.report);
    TARNIException e(c.file, c.line, c.code, c.message);
    EXPECT_EQ(c.report, e.GetFormatedExceptionMessage());
    EXPECT_EQ(c.file, e.GetFileName());
    EXPECT_EQ(c.line, e.GetLineNum());
    EXPECT_EQ(c.code, e.GetErrorCode());
    EXPECT_EQ(c.message, e.GetExceptionMsg());
    EXPECT_EQ("", e.GetErrorString());
  }
}

TEST(TARNIExceptionTest, Setters) {
  InvalidFormatException e("LexEnigneUtility", 3, 49, "Unknown plate.");
  e.SetFileName("ConfigManager");
  e.SetLineNum(99);
  e.SetErrorCode(16);
  e.SetExceptionMsg("Replaced.");
  EXPECT_EQ("ConfigManager", e.GetFileName());
  EXPECT_EQ(99, e.GetLineNum());
  EXPECT_EQ(16, e.GetErrorCode());
  EXPECT_EQ("Replaced.", e.GetExceptionMsg());
  EXPECT_EQ("Error Code (0x10) in ConfigManager (99): Replaced.",
            e.GetFormatedExceptionMessage());
}

// Throws an object of type E and reports which handler took it.
template <typename E>
std::string Handler() {
  try {
    try {
      throw E("m", 1, 2, "x");
    } catch (IOException&) {
      return "IOException";
    }
  } catch (TARNIException& e) {
    return "TARNIException " + e.GetExceptionMsg();
  }
  return "none";
}

TEST(TARNIExceptionTest, CatchingByReference) {
  EXPECT_EQ("IOException", Handler<IOException>());
  EXPECT_EQ("TARNIException x", Handler<TARNIException>());
  EXPECT_EQ("TARNIException x", Handler<InvalidFormatException>());
  EXPECT_EQ("TARNIException x", Handler<MemoryAllocationException>());
  EXPECT_EQ("TARNIException x", Handler<OutOfBoundException>());
  EXPECT_EQ("TARNIException x", Handler<XMLParserException>());
}

TEST(TARNIExceptionTest, NotCaughtAsStandardException) {
  std::string caught;
  try {
    try {
      throw IOException("m", 1, 17, "x");
    } catch (std::exception&) {
      caught = "std::exception";
    }
  } catch (TARNIException&) {
    caught = "TARNIException";
  }
  EXPECT_EQ("TARNIException", caught);
}

// A loader that reads a file of its own passes reader errors on with its own
// place and a sentence appended.
void LoadTable(const std::string& name, int* handler_line) {
  FileReader reader;
  try {
    reader.Open(name, FileReader::UNICODE);
  } catch (IOException& e) {
    *handler_line = __LINE__ - 1;
    e.SetFileName("hashmain");
    e.SetLineNum(*handler_line);
    e.SetExceptionMsg(e.GetExceptionMsg() +
                      " Hash table file could not be opened.");
    throw;
  }
}

TEST(TARNIExceptionTest, CatchStampPassOn) {
  const std::string name = "/nonexistent/wordformshashtable.lex";
  int handler_line = 0;
  std::string report;
  int code = -1;
  try {
    LoadTable(name, &handler_line);
  } catch (IOException& e) {  // still the reader's IOException
    report = e.GetFormatedExceptionMessage();
    code = e.GetErrorCode();
  }
  EXPECT_EQ(16, code);
  EXPECT_EQ("Error Code (0x10) in hashmain (" + std::to_string(handler_line) +
                "): Could not open file: " + name +
                ". Hash table file could not be opened.",
            report);
}

TEST(TARNIExceptionTest, CopiesAreIndependent) {
  IOException original("FileReader", 1, 17, "first");
  IOException copy = original;
  copy.SetExceptionMsg("second");
  copy.SetFileName("other");
  EXPECT_EQ("first", original.GetExceptionMsg());
  EXPECT_EQ("FileReader", original.GetFileName());
  TARNIException assigned("a", 0, 0, "");
  assigned = original;
  EXPECT_EQ("Error Code (0x11) in FileReader (1): first",
            assigned.GetFormatedExceptionMessage());
}

}  // namespace
