// One output file of a run, written safely, from start to end: refused when
// it is one of the run's inputs (FileIds), written to a new file beside the
// target (OutputFile), and put in the target's place only once every byte
// was written and no input watched changed meanwhile (InputWatch). A
// failure at any step leaves the previous file as it was; so does a signal
// that ends the program, once OutputFile::HandleSignals was called.
//
// Each step says how it went, as a Failure; the program words it and maps
// it to its exit status. Nothing here prints or throws. Not copyable.

#ifndef URDULEX_FOUNDATION_SAFEOUTPUT_H_
#define URDULEX_FOUNDATION_SAFEOUTPUT_H_

#include <string>
#include <vector>

#include "foundation/OutputFile.h"

class SafeOutput {
 public:
  enum Failure {
    kNone,
    kSameFile,       // the target is one of the inputs: clash() says which
    kCannotCreate,   // no new file could be made: reason()
    kInputChanged,   // an input changed while it was read: changed()
    kCannotWrite,    // the bytes did not all reach the file: reason()
    kCannotReplace,  // the new file could not take the target's place
  };

  SafeOutput() = default;
  SafeOutput(const SafeOutput&) = delete;
  SafeOutput& operator=(const SafeOutput&) = delete;

  // Notes an input of the run, called `what` ("Input", "Code table").
  void AddInput(const std::string& name, const std::string& what);
  // Watches the input `name` from now on: call it before the input is
  // opened. Commit fails when it changed.
  void WatchInput(const std::string& name);

  // kSameFile when writing `target` would replace or extend an input.
  Failure Check(const std::string& target);
  // Begins the new file of `target`; kCannotCreate, with the system's
  // reason, when it cannot be made.
  Failure Begin(const std::string& target);
  // Where the bytes go; see OutputFile::fd.
  int fd() const { return output_.fd(); }

  // kInputChanged when a watched input changed (the output is then
  // abandoned), else kNone. Commit asks it first.
  Failure CheckInputs();
  // For a change of the input `name` that the program noticed itself:
  // abandons the output; kInputChanged.
  Failure InputChanged(const std::string& name);

  // Ends the output, after the last byte, with every copy of fd() closed:
  // `written` is false when a write or a close failed (kCannotWrite). A
  // watched input that changed fails first (kInputChanged). The new file
  // then takes the target's place (kCannotReplace when it cannot, or
  // kCannotWrite for a target written directly, such as a device). On any
  // failure the previous file stays.
  Failure Commit(bool written = true);
  // Leaves the previous file as it was.
  void Abandon() { output_.Abandon(); }

  // The system's reason for the last failure, such as "No space left on
  // device"; empty when there was none.
  const std::string& reason() const { return reason_; }
  // What the input is called that the target is (kSameFile).
  const std::string& clash() const { return clash_; }
  // The name of the input that changed (kInputChanged).
  const std::string& changed() const { return changed_; }

 private:
  FileIds ids_;
  std::vector<std::string> watched_;
  std::vector<InputWatch> watches_;
  OutputFile output_;
  std::string reason_, clash_, changed_;
};

#endif  // URDULEX_FOUNDATION_SAFEOUTPUT_H_
