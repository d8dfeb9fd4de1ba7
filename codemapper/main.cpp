// codemapper INPUT OUTPUT
//
// Rewrites a 16-bit Unicode text file as lines of letter codes, using the
// code table "rules.txt" in the working directory. One output line, ended by
// LF, for every input line read. Exit status 0 on success, 1 on failure, 2 on
// misuse; every failure prints one line on standard error. A code table with
// text after its last CR LF, which the table reader would drop, is refused,
// and so is an input that changes while it is read. OUTPUT is replaced
// whole once everything was written (foundation/SafeOutput.h): a failure or
// an interruption leaves the previous file in place. OUTPUT may be neither
// the input nor the code table.

#include <climits>
#include <cstdint>
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "codemapper/CodeMapper.h"
#include "foundation/FileReader.h"
#include "foundation/FileWriter.h"
#include "foundation/OutputFile.h"
#include "foundation/SafeOutput.h"
#include "foundation/TARNIException.h"
#include "tools/common/ExitStatus.h"
#include "tools/common/OutputMessages.h"

namespace {

const char kCodeTableFile[] = "rules.txt";

// Output is handed to the writer in blocks of about this size.
constexpr size_t kOutputBlock = 1 << 16;
// Characters of a line mapped at a time: their codes fit in one block.
constexpr size_t kSliceUnits = kOutputBlock / kMaxMappedLength;

int Fail(const std::string& message) {
  std::fprintf(stderr, "%s\n", message.c_str());
  return urdulex::internal::kExitFailure;
}

int Usage() {
  std::fprintf(stderr, "usage: codemapper INPUT OUTPUT\n");
  return urdulex::internal::kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  OpenStandardDescriptors("codemapper");
  if (argc != 3 || argv[1][0] == '\0' || argv[2][0] == '\0') return Usage();
  const char* input_name = argv[1];
  const char* output_name = argv[2];
  OutputFile::HandleSignals("codemapper");

  // Refused before anything is read: writing would destroy an input.
  SafeOutput output;
  output.AddInput(input_name, "Input");
  output.AddInput(kCodeTableFile, "Code table");
  SafeOutput::Failure failure = output.Check(output_name);
  if (failure != SafeOutput::kNone) {
    return Fail(
        urdulex::internal::OutputFailureMessage(output, failure, output_name));
  }

  // The table reader stores a line only at its CR: a last line cut short
  // would be lost without a word. The read that loads the table finds it.
  std::string error;
  uint64_t unended_line = 0;
  if (!ReadPatterns(kCodeTableFile, &error, &unended_line)) {
    return Fail(error + " Code table " + kCodeTableFile +
                " could not be read.");
  }
  if (unended_line != 0) {
    return Fail(std::string("Code table ") + kCodeTableFile +
                " ends without CR LF: line " + std::to_string(unended_line) +
                " would be ignored.");
  }

  FileReader reader;
  reader.SetGeminationExpansion(true);
  output.WatchInput(input_name);
  try {
    reader.Open(input_name, FileReader::UNICODE);
  } catch (IOException& e) {
    return Fail(e.GetFormatedExceptionMessage());
  }

  FileWriter writer;
  if (output.Begin(output_name) != SafeOutput::kNone ||
      !writer.Open(output.fd(), FileWriter::ASCII)) {
    return Fail(urdulex::internal::OutputFailureMessage(
        output, SafeOutput::kCannotCreate, output_name));
  }

  const std::string write_error = urdulex::internal::OutputFailureMessage(
      output, SafeOutput::kCannotWrite, output_name);
  try {
    // Mapped text is gathered in `out` and handed to the writer in blocks.
    // A line is mapped a slice at a time, so `out` keeps its size however
    // long the line.
    std::vector<char> out(kOutputBlock + kMaxMappedLength * kSliceUnits +
                          kMapSlack + 1);
    size_t used = 0;
    std::wstring line;
    // The first line is read before the first end-of-file test, and every
    // read, an empty one included, gives one output line.
    do {
      line.clear();
      reader.GetLine(line, INT_MAX, L'\n');
      const wchar_t* next = line.data();
      const wchar_t* const stop = next + line.size();
      do {
        const wchar_t* slice_end =
            static_cast<size_t>(stop - next) > kSliceUnits ? next + kSliceUnits
                                                           : stop;
        char* end = MapCharacters(next, slice_end, out.data() + used);
        next = slice_end;
        if (next == stop) *end++ = '\n';
        used = static_cast<size_t>(end - out.data());
        if (used >= kOutputBlock) {
          if (!writer.Write(out.data(), static_cast<int>(used))) {
            return Fail(write_error);
          }
          used = 0;
        }
      } while (next != stop);
    } while (!reader.EoF());
    if (used > 0 && !writer.Write(out.data(), static_cast<int>(used))) {
      return Fail(write_error);
    }
  } catch (const std::bad_alloc&) {
    // A line is held whole: one too long for the memory there is.
    return Fail("Out of memory.");
  } catch (IOException& e) {
    return Fail(e.GetFormatedExceptionMessage());
  }
  // The input must not have changed while it was read.
  failure = output.Commit(writer.Close());
  if (failure != SafeOutput::kNone) {
    return Fail(
        urdulex::internal::OutputFailureMessage(output, failure, output_name));
  }
  return 0;
}
