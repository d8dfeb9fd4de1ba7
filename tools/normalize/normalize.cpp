// urdulex-normalize INPUT OUTPUT
//
// Writes the NFC form of every line of INPUT, a 16-bit Unicode file, to
// OUTPUT in the same form (mark FF FE, lines separated by CR LF), using the
// rules named by "config.ini" in the working directory. Lines of INPUT end
// in LF; a CR before the LF is not part of the line. One output line per
// input line, a last empty one included when INPUT ends in LF.
//
// Exit status 0 on success, 1 on any failure, 2 on wrong usage; every
// failure prints one line on standard error. A rules file with text after
// its last CR LF is refused, and so is an input that changes while it is
// read. OUTPUT is replaced whole once everything was written
// (foundation/SafeOutput.h): a failure or an interruption leaves the
// previous file in place. OUTPUT may be neither the input nor the
// configuration nor the rules file it names.

#include <climits>
#include <cstdint>
#include <cstdio>
#include <new>
#include <string>

#include "foundation/Error.h"
#include "foundation/FileReader.h"
#include "foundation/FileWriter.h"
#include "foundation/OutputBuffer.h"
#include "foundation/OutputFile.h"
#include "foundation/SafeOutput.h"
#include "foundation/TARNIException.h"
#include "normalization/Normalization.h"
#include "tools/common/ExitStatus.h"
#include "tools/common/OutputMessages.h"

namespace {

const char kProgram[] = "urdulex-normalize";
using urdulex::internal::kExitFailure;
using urdulex::internal::kExitUsage;

void Report(const std::string& message) {
  std::fprintf(stderr, "%s: %s\n", kProgram, message.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  OpenStandardDescriptors(kProgram);
  if (argc != 3 || argv[1][0] == '\0' || argv[2][0] == '\0') {
    std::fprintf(stderr, "usage: %s INPUT OUTPUT\n", kProgram);
    return kExitUsage;
  }
  const std::string input_name = argv[1];
  const std::string output_name = argv[2];
  OutputFile::HandleSignals(kProgram);
  try {
    Normalization normalization;
    if (!normalization.Initialize()) {
      Report(normalization.GetLastError());
      return kExitFailure;
    }
    // The rules reader adds a rule only at its CR: a last line cut short
    // would be lost without a word. The read that loaded the rules saw it.
    if (const uint64_t line = normalization.NfcRulesUnendedLine()) {
      Report("NFC rules file " + normalization.NfcRulesPath() +
             " ends without CR LF: line " + std::to_string(line) +
             " would be ignored.");
      return kExitFailure;
    }

    // Refused before anything is written: writing would destroy an input.
    SafeOutput output;
    output.AddInput(input_name, "Input");
    output.AddInput("config.ini", "Configuration");
    output.AddInput(normalization.NfcRulesPath(), "NFC rules file");
    SafeOutput::Failure failure = output.Check(output_name);
    if (failure != SafeOutput::kNone) {
      Report(urdulex::internal::OutputFailureMessage(output, failure,
                                                     output_name));
      return kExitFailure;
    }

    FileReader reader;
    output.WatchInput(input_name);
    reader.Open(input_name, FileReader::UNICODE);
    FileWriter writer;
    if (output.Begin(output_name) != SafeOutput::kNone ||
        !writer.Open(output.fd(), FileWriter::UNICODE)) {
      Report(urdulex::internal::OutputFailureMessage(
          output, SafeOutput::kCannotCreate, output_name));
      return kExitFailure;
    }
    bool written = true;
    try {
      OutputBuffer out(writer);
      std::wstring line, normalized;
      bool first = true;
      // The first line is read before the first end-of-file test, and
      // every read, an empty one included, gives one output line.
      do {
        line.clear();
        reader.GetLine(line, INT_MAX, L'\n');
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        normalization.Normalize(line, NFC, normalized);
        if (!first) out.Units(L"\r\n", 2);
        out.Units(normalized.data(), normalized.size());
        first = false;
      } while (!reader.EoF());
      out.Flush();
    } catch (const urdulex::internal::Error& e) {
      if (e.kind() != urdulex::internal::Error::kWriteFailed) throw;
      written = false;
    }
    // The writer is closed whether or not every write went through; the
    // input must not have changed while it was read.
    const bool closed = writer.Close();
    failure = output.Commit(closed && written);
    if (failure != SafeOutput::kNone) {
      Report(urdulex::internal::OutputFailureMessage(output, failure,
                                                     output_name));
      return kExitFailure;
    }
    return 0;
  } catch (const TARNIException& e) {
    std::fprintf(stderr, "%s\n", e.GetFormatedExceptionMessage().c_str());
    return kExitFailure;
  } catch (const std::bad_alloc&) {
    Report("Out of memory.");
    return kExitFailure;
  }
}
