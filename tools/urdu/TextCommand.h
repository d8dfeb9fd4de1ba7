// The common shape of `urdu`'s text commands: the inputs named on the
// command line (standard input when there is none), each opened only when
// it is reached; the output, and the --report file, put in place only once
// everything was written; the progress line; the replacements of
// --lenient; and the threads of -j, on blocks of whole lines written in
// input order.

#ifndef URDULEX_TOOLS_URDU_TEXTCOMMAND_H_
#define URDULEX_TOOLS_URDU_TEXTCOMMAND_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "text/TextIO.h"
#include "tools/urdu/Args.h"

namespace urdulex::internal {

class NamedInput;
class Progress;

// Notes that the program was started with standard output closed (it then
// runs on /dev/null opened for reading there, see OpenStandardDescriptors).
void NoteStandardOutputClosed();
bool StandardOutputClosed();

// files.Output(as, name), and for standard output ("-") that was closed at
// start the Error "standard output is closed", before anything is read.
void AddOutput(RunFiles& files, const std::string& as, const std::string& name);

class TextCommand {
 public:
  // What a run does with a text: body(worker, reader, out, lines), where
  // `lines` is the number of line ends in the input before the reader's
  // text.
  using Body =
      std::function<void(unsigned, TextReader&, TextWriter&, uint64_t)>;

  // Notes the text inputs in `files` (which holds the command's other
  // inputs already) and refuses an output (-o, --report and --stats) that
  // is one of them, by what their names lead to: each input is opened only when
  // it is reached.
  TextCommand(const Arguments& args, RunFiles& files);
  ~TextCommand();

  // The threads of the run: -j N, else every core for an input over a few
  // MB or of unknown size.
  unsigned threads() const { return threads_; }
  // The size of all the inputs in bytes, or -1 when one is not known.
  int64_t total_bytes() const { return total_bytes_; }

  // Begins the --report file (null when none was asked for), which is put
  // in place when it is closed.
  ByteSink* OpenReport();
  // The same for the --stats file.
  ByteSink* OpenStats();

  // Begins the output; a failure after this leaves the old file in place.
  TextWriter& Open();

  // Runs `body` over the text of every input: with one thread on each
  // input in turn, as worker 0 writing to `out`; with more on blocks of
  // whole lines, worker w (one a thread) with a writer of its own, the
  // blocks written to `out`'s sink in input order.
  void Run(TextWriter& out, const Body& body);

  // As Run, `body(states[worker], reader, out, lines)`: a state for each
  // worker, kept from block to block.
  template <typename State, typename StateBody>
  void Run(TextWriter& out, std::vector<State>& states, StateBody&& body) {
    Run(out,
        [&](unsigned worker, TextReader& reader, TextWriter& writer,
            uint64_t lines) { body(states[worker], reader, writer, lines); });
  }

  // Runs `body` on a reader of each input in turn.
  void ForEachInput(const std::function<void(TextReader&)>& body);

  // Puts the output in place, and says how many invalid sequences were
  // replaced.
  void Finish();
  // Leaves the old output, report and stats in place.
  void Discard();

 private:
  void RunBlocks(const Body& body);

  const Arguments& args_;
  std::string output_name_;
  std::vector<std::unique_ptr<NamedInput>> inputs_;
  std::unique_ptr<Progress> progress_;
  std::unique_ptr<FileSink> sink_;
  std::unique_ptr<TextWriter> writer_;
  std::string report_name_;
  std::unique_ptr<FileSink> report_;
  std::string stats_name_;
  std::unique_ptr<FileSink> stats_;
  int64_t total_bytes_ = -1;
  std::vector<std::pair<const std::string*, uint64_t>> replaced_;
  unsigned threads_ = 1;
};

// Runs `body` with the command's output; puts the output in place only when
// `body` succeeds.
template <typename Body>
int WithOutput(TextCommand& command, Body&& body) {
  try {
    body(command.Open());
    command.Finish();
  } catch (...) {
    command.Discard();
    throw;
  }
  return 0;
}

// Runs `body`, which writes to `sink`, and closes the sink, which puts the
// file in place; a failure leaves the old file.
template <typename Body>
void WriteAll(FileSink& sink, Body&& body) {
  try {
    body();
    sink.Close();
  } catch (...) {
    sink.Discard();
    throw;
  }
}

}  // namespace urdulex::internal

#endif  // URDULEX_TOOLS_URDU_TEXTCOMMAND_H_
