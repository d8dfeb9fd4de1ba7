// diacritizer INPUT OUTPUT
//
// Restores the diacritics of the words of INPUT, a 16-bit Unicode file with
// one word a line, from the word-form table "wordformshashtable.lex" in the
// working directory, and writes OUTPUT in the same form (mark FF FE, lines
// separated by CR LF): one line per input line, the word with its
// diacritics when the table knows it, else the word trimmed of blanks.
//
// Exit status 0 on success, 1 on any failure, 2 on wrong usage; every
// failure prints one line on standard error. OUTPUT is replaced whole once
// everything was written (foundation/SafeOutput.h): a failure or an
// interruption leaves the previous file in place. OUTPUT may be neither the
// input nor the table. A table that does not hold one record per slot of its
// header (cut short, or more records than slots) is refused, on what its one
// read found, and so is an input or a table that changes while it is read
// (a table replaced by rename is not changed: the run goes on with the file
// it opened).
//
// An input of more than a few megabytes is diacritized on every core the
// process may run on, in blocks of lines written in input order: the same
// output. DIACRITIZER_THREADS sets the number of threads (1 to 1024) for
// every input.

#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

#include "diacritizer/LineDiacritizer.h"
#include "diacritizer/TableFormat.h"
#include "diacritizer/WordFormLookup.h"
#include "foundation/FileReader.h"
#include "foundation/FileWriter.h"
#include "foundation/OutputBuffer.h"
#include "foundation/OutputFile.h"
#include "foundation/SafeOutput.h"
#include "foundation/TARNIException.h"
#include "foundation/Threads.h"
#include "text/UnitFileSource.h"
#include "tools/common/ExitStatus.h"
#include "tools/common/OutputMessages.h"

namespace {

using urdulex::internal::Error;
using urdulex::internal::kExitFailure;
using urdulex::internal::kExitUsage;
using urdulex::internal::UnitFileSource;

const char kProgram[] = "diacritizer";

void Report(const std::string& message) {
  std::fprintf(stderr, "%s: %s\n", kProgram, message.c_str());
}

int Fail(const SafeOutput& output, SafeOutput::Failure failure,
         const std::string& target) {
  Report(urdulex::internal::OutputFailureMessage(output, failure, target));
  return kExitFailure;
}

int TableChanged() {
  Report(std::string("Word-form table ") + wordform::kFileName +
         " changed while being read.");
  return kExitFailure;
}

}  // namespace

int main(int argc, char** argv) {
  OpenStandardDescriptors(kProgram);
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s INPUT OUTPUT\n", kProgram);
    return kExitUsage;
  }
  const int asked =
      urdulex::internal::ThreadsFromEnvironment("DIACRITIZER_THREADS", 1024);
  if (asked < 0) {
    Report("DIACRITIZER_THREADS wants a number of threads from 1 to 1024.");
    return kExitUsage;
  }
  const std::string output_name = argv[2];
  OutputFile::HandleSignals(kProgram);
  urdulex::internal::RefuseThreadsAsTheEnvironmentSays();
  try {
    // Refused before anything is read: writing would destroy an input.
    SafeOutput output;
    output.AddInput(argv[1], "Input");
    output.AddInput(wordform::kFileName, "Word-form table");
    SafeOutput::Failure failure = output.Check(output_name);
    if (failure != SafeOutput::kNone) return Fail(output, failure, output_name);
    // A regular table is mapped and looked up in place; its verdicts (on a
    // file cut short too) come from the one opening, so a FIFO's alike.
    WordFormLookup table;
    std::string rejection;
    const WordFormLookup::Verdict verdict =
        table.Open(wordform::kFileName, false, &rejection);
    if (verdict != WordFormLookup::Verdict::kOpen) {
      Report(verdict == WordFormLookup::Verdict::kRejected
                 ? std::string(wordform::kFileName) + ": " + rejection
                 : std::string("Word-form table ") + wordform::kFileName + " " +
                       rejection + ".");
      return kExitFailure;
    }
    FileReader reader;
    output.WatchInput(argv[1]);
    reader.Open(argv[1], FileReader::UNICODE);
    LineRun run;
    run.threads = asked > 0 ? static_cast<unsigned>(asked)
                            : LineRun::ThreadsFor(reader.FileSize());
    // A hidden knob for the tests: small blocks on small inputs.
    if (const char* block = std::getenv("DIACRITIZER_BLOCK_BYTES")) {
      run.block_bytes = std::strtoul(block, nullptr, 10);
    }
    table.Expect(LineRun::Lines(reader.FileSize()), run.threads);
    FileWriter writer;
    if (output.Begin(output_name) != SafeOutput::kNone ||
        !writer.Open(output.fd(), FileWriter::UNICODE)) {
      return Fail(output, SafeOutput::kCannotCreate, output_name);
    }
    OutputBuffer out(writer);
    UnitFileSource input(reader, argv[1], run.threads > 1);
    const LinesEnd end = DiacritizeLines(input, table, out, run);
    // Bytes of two versions of the input would pass for a good output.
    failure = end == LinesEnd::kInputShrank ? output.InputChanged(argv[1])
                                            : output.CheckInputs();
    if (failure != SafeOutput::kNone) return Fail(output, failure, output_name);
    // Nor would lookups in two versions of the table (a file rewritten in
    // place under the mapping).
    if (!table.Unchanged()) return TableChanged();
    // The writer is closed whether or not every write went through.
    const bool closed = writer.Close();
    failure = output.Commit(closed && end == LinesEnd::kWritten);
    if (failure != SafeOutput::kNone) return Fail(output, failure, output_name);
    return 0;
  } catch (const TARNIException& e) {
    std::fprintf(stderr, "%s\n", e.GetFormatedExceptionMessage().c_str());
    return kExitFailure;
  } catch (const Error& e) {
    // A table cut short under the lookups; nothing else throws one here.
    if (e.kind() == Error::kChanged) return TableChanged();
    Report(e.message());
    return kExitFailure;
  } catch (const std::bad_alloc&) {
    Report("Out of memory.");
    return kExitFailure;
  }
}
