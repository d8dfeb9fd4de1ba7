// Writes a Unicode file with the installed library, reads it back and checks
// what came out, then converts a dictionary entry to UZT form and back;
// the installed version header and library agree.
// Usage: install_smoke SCRATCH_FILE
#include <cstdio>
#include <string>

#include "foundation/FileReader.h"
#include "foundation/FileWriter.h"
#include "foundation/TARNIException.h"
#include "foundation/Utility.h"
#include "foundation/Version.h"
#include "lexicon/Structs.h"
#include "script/LexEnigneUtility.h"

namespace {

// An entry without text converts without mapping tables.
bool EntryConverts() {
  WordData entry;
  entry.flagA = 3;
  entry.word.symbolicDiacritics = "ZX";
  Verb verb;  // no name: no class in the other form
  entry.partsOfSpeech.push_back(&verb);
  const LexEnigneUtility utility;
  const WordData back =
      utility.ConvertFromWordData_UZT(utility.ConvertToWordData_UZT(entry));
  return back.flagA == 3 && back.flagB == 1 &&
         back.word.symbolicDiacritics == "ZX" &&
         back.partsOfSpeech.size() == 1 && back.partsOfSpeech[0] == nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: install_smoke SCRATCH_FILE\n");
    return 2;
  }
  if (std::string(UrdulexVersion()) != URDULEX_VERSION) {
    std::fprintf(stderr, "library %s, headers %s\n", UrdulexVersion(),
                 URDULEX_VERSION);
    return 1;
  }
  if (!EntryConverts()) {
    std::fprintf(stderr, "the entry did not convert\n");
    return 1;
  }
  FileWriter writer;
  if (writer.Open(argv[1], FileWriter::UNICODE, false) != 1 ||
      writer.Write(std::wstring(L"  \x0627\x0628 \r\n")) != 1 ||
      !writer.Close()) {
    std::fprintf(stderr, "could not write %s\n", argv[1]);
    return 1;
  }
  try {
    FileReader reader;
    reader.Open(argv[1], FileReader::UNICODE);
    std::wstring line;
    if (reader.GetLine(line, 100, L'\n') != 1 ||
        Trim(line) != L"\x0627\x0628") {
      std::fprintf(stderr, "read back the wrong line\n");
      return 1;
    }
    reader.GetLine(line, 100, L'\n');  // runs past the end
    reader.GetLine(line, 100, L'\n');  // throws
    std::fprintf(stderr, "no end-of-file error\n");
    return 1;
  } catch (IOException& e) {
    std::printf("%s\n", e.GetFormatedExceptionMessage().c_str());
    return e.GetExceptionMsg() == "End of file encountered." ? 0 : 1;
  }
}
