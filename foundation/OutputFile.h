// The safety of a program's files: outputs replaced whole, no output that is
// one of the run's inputs, and no input that changes while it is read.
//
// OutputFile replaces a file as a whole. Begin creates a new file named
// ".NAME.urdulex-XXXXXX" (NAME the target's name, X six letters or digits)
// in the target's folder; the program writes its bytes to path(), closes
// them, and Commit renames that file over the target. Anyone reading the
// target sees the old file or the whole new one, never a part. A failure
// (Abandon, or the destructor of an uncommitted output) and, once
// HandleSignals was called, SIGINT, SIGTERM and SIGHUP remove the temporary
// file and leave the target as it was (SIGPIPE too, silently); only
// SIGKILL (or a crash) can leave one behind, recognisable by its name. A
// run removes only files it created: the temporary file is removed only
// while it is still the file this run made.
//
// A target reached through symbolic links: the file they lead to is
// replaced and the links stay. A replaced file keeps its permission bits; a
// new one gets 0666 less the umask. A target that exists and is not a
// regular file (a device such as /dev/null or a terminal, a FIFO, or a
// descriptor named through /dev/stdout, /dev/fd/N or /proc) is written
// directly: path() is then the target's own name and Commit does nothing.
//
// FileIds refuses an output that is one of the run's inputs (or one of its
// other outputs), by device and inode, so that links and hard links count.
// InputWatch notices a regular input file that shrinks, grows, is rewritten
// or is replaced while the program reads it.
//
// Nothing here throws; failures return false with a one-line reason. None
// of the classes is copyable.

#ifndef URDULEX_FOUNDATION_OUTPUTFILE_H_
#define URDULEX_FOUNDATION_OUTPUTFILE_H_

#include <cstdint>
#include <string>
#include <vector>

class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Prepares to replace `target`. False, with the reason in `*error` (the
  // system's, such as "Permission denied"), when the target is a directory
  // or cannot be written, or no file can be created beside it.
  bool Begin(const std::string& target, std::string* error);

  // Where the bytes go: the temporary file, or the target written directly.
  const std::string& path() const { return path_; }
  bool direct() const { return direct_; }

  // Puts the written file in the target's place. Call it only after every
  // byte was written and the writer closed. False, with the reason, when
  // the file could not be put in place; the temporary file is then gone.
  bool Commit(std::string* error);

  // Removes the temporary file, if this run's file is still there.
  void Abandon();

  // From now on SIGINT, SIGTERM and SIGHUP remove the temporary files of
  // every output begun and not yet committed, print one line on standard
  // error ("PROGRAM: interrupted by SIGTERM"), and end the program by the
  // same signal; SIGPIPE does the same without a word. A signal the
  // program was started with ignored stays ignored. `program` must live as
  // long as the program.
  static void HandleSignals(const char* program);

 private:
  std::string path_;
  std::string target_;  // the file replaced, links followed
  int fd_ = -1;         // the temporary file, held to know it is still ours
  int slot_ = -1;
  bool direct_ = false;
  bool keep_mode_ = false;  // the replaced file's permission bits
  unsigned mode_ = 0;
};

// The files a run reads and writes, by identity.
class FileIds {
 public:
  // Notes the input file `name` leads to, described as `what` (such as
  // "input" or "word-form table") in what Clash reports. A name that leads
  // nowhere is not an input of the run and is passed over.
  void AddInput(const std::string& name, const std::string& what);
  // The same for an input already open, such as standard input.
  void AddOpenInput(int fd, const std::string& name, const std::string& what);

  // Whether writing `output` would replace or extend a file noted before:
  // true, with that file's `*what` and `*name`, when `output` is a regular
  // file that is one of them (also under another name), or when it is a
  // file to be created that an earlier output will create too. Otherwise
  // false, and `output` is noted as an output described as `as`.
  bool Clash(const std::string& output, const std::string& as,
             std::string* what, std::string* name);
  // The same for an output already open, such as standard output: only a
  // regular file can clash (then `*name` is the input's name).
  bool ClashOpen(int fd, const std::string& as, std::string* what,
                 std::string* name);

 private:
  struct Entry {
    bool exists;
    uint64_t device, inode;
    std::string path;  // for a file to be created: where it will be
    std::string what, name;
  };
  std::vector<Entry> files_;
};

// Watches one regular input file while it is read: take the watch before
// the file is opened (or right after, from its descriptor), and ask
// Unchanged once the whole file was read. Anything but a regular file is
// always unchanged. Watched through its descriptor alone (no name), the
// file is the one opened: another file renamed over its name, or its name
// removed, leaves it as it was.
class InputWatch {
 public:
  // Watches the file `name` leads to; with `fd` >= 0, the file open as
  // `fd`, and `name` (when not empty) must go on leading to it.
  void Start(const std::string& name, int fd = -1);
  // False when the file's size, modification time or change time moved
  // since Start (the change time while its link count stays), or its name
  // now leads to another file.
  bool Unchanged() const;
  // The size at Start, or -1 when the file is not a regular file.
  int64_t size() const { return regular_ ? size_ : -1; }

 private:
  std::string name_;
  int fd_ = -1;
  bool regular_ = false;
  int64_t size_ = 0;
  uint64_t device_ = 0, inode_ = 0, links_ = 0;
  int64_t mtime_sec_ = 0, mtime_nsec_ = 0;
  int64_t ctime_sec_ = 0, ctime_nsec_ = 0;
};

#endif  // URDULEX_FOUNDATION_OUTPUTFILE_H_
