// The safety of a program's files: outputs replaced whole, no output that is
// one of the run's inputs, and no input that changes while it is read.
//
// OutputFile replaces a file as a whole. Begin creates a new file named
// ".NAME.urdulex-XXXXXX" (NAME the target's name, X six letters or digits)
// in the target's folder; the program writes its bytes to fd(), and Commit
// renames that file over the target. Anyone reading the
// target sees the old file or the whole new one, never a part. The
// temporary file is its owner's alone (mode 0600) while it is written and
// gets its final mode at Commit; it is reached only through descriptors
// (of the file and of its folder), never opened again by name. A failure
// (Abandon, or the destructor of an uncommitted output) and, once
// HandleSignals was called, every signal that ends a program remove the
// temporary file and leave the target as it was; only SIGKILL (or a
// crash) can leave one behind, recognisable by its name. A run removes
// only files it created: the temporary file is removed only while it is
// still the file this run made. When the target cannot be replaced by a
// rename because it is in use as a mount point (EBUSY: a file bind-mounted
// over it), Commit copies the bytes into the target in place instead,
// which is not atomic: a reader may see a part.
//
// Outputs may be begun, written and committed on several threads at once.
//
// A target reached through symbolic links: the file they lead to is
// replaced and the links stay. A replaced file keeps its permission bits; a
// new one gets 0666 less the umask. A target that exists and is not a
// regular file (a device such as /dev/null or a terminal, a FIFO) is
// opened and written directly, and Commit only closes it.
//
// A name of a descriptor the process holds ("-" for standard output,
// /dev/stdout, /dev/stderr, /dev/fd/N, /proc/self/fd/N, /proc/PID/fd/N with
// the process's own PID, also reached through links) is written through
// that descriptor: a copy of it (dup), never a file opened again, so
// nothing is emptied or renamed, an append stays an append from where the
// descriptor is, and pipes work (`-o >(gzip > x.gz)`). A descriptor that
// is not open for writing fails with "Bad file descriptor". Another
// process's descriptor under /proc is opened by the system, as a shell
// would: written in place, and a deleted file gets no new name.
//
// The links of a target's last part are followed here, not by the system,
// with the system's protection of shared folders whatever its setting
// (fs.protected_symlinks): a link in a sticky folder that anyone may
// write (such as /tmp) is followed only when it belongs to the follower or
// to the folder's owner; any other fails with "Permission denied", so that
// nobody's link redirects another user's output to a file of theirs.
//
// FileIds refuses an output that is one of the run's inputs (or one of its
// other outputs), by device and inode, so that links and hard links count.
// InputWatch notices a regular input file that shrinks, grows, is rewritten
// or is replaced while the program reads it.
//
// Nothing here throws; a failure comes back as a Status with a one-line
// reason. None of the classes is copyable.

#ifndef URDULEX_FOUNDATION_OUTPUTFILE_H_
#define URDULEX_FOUNDATION_OUTPUTFILE_H_

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/Error.h"

class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Prepares to replace `target`. A failure, with the system's reason (such
  // as "Permission denied"), when the target is a directory or cannot be
  // written, or no file can be created beside it.
  urdulex::internal::Status Begin(const std::string& target);

  // Where the bytes go: the temporary file, or the target written directly.
  // The descriptor stays the OutputFile's: write to it (or to a dup of it)
  // and leave closing it to Commit or Abandon.
  int fd() const { return fd_; }
  bool direct() const { return direct_; }

  // Puts the written file in the target's place. Call it only after every
  // byte was written and any dup of fd() closed. A failure, with the reason,
  // when the file could not be put in place; the temporary file is then
  // gone.
  urdulex::internal::Status Commit();

  // Removes the temporary file, if this run's file is still there; bytes
  // written directly stay where they went.
  void Abandon();

  // From now on every signal that ends a program (SIGHUP, SIGINT, SIGQUIT,
  // SIGUSR1, SIGUSR2, SIGALRM, SIGTERM, SIGSTKFLT, SIGIO, SIGXCPU, SIGXFSZ,
  // SIGVTALRM, SIGPROF, SIGPWR and SIGRTMIN..SIGRTMAX; not the crashes)
  // removes the temporary files of every output begun and not yet
  // committed, on any thread, prints one line on standard error
  // ("PROGRAM: interrupted by SIGTERM"), and ends the program by the same
  // signal; SIGPIPE does the same without a word. A signal the program was
  // started with ignored stays ignored. `program` must live as long as the
  // program.
  static void HandleSignals(const char* program);

  // Puts the temporary file in place with `rename` instead of the system's
  // renameat (nullptr: the system's again), for tests of a failed rename.
  using RenameFunction = int (*)(int, const char*, int, const char*);
  static void SetRenameForTesting(RenameFunction rename);

 private:
  void Close();
  int WriteInPlace();  // 0, or the system's error

  std::string temp_;  // the temporary file's name in folder_
  std::string name_;  // the replaced file's name in folder_, links followed
  int folder_ = -1;   // the target's folder, held open
  int fd_ = -1;       // the temporary file (held to know it is still ours), or
                      // the target written directly
  void* slot_ = nullptr;  // the signal handler's record of the output
  bool direct_ = false;
  unsigned mode_ = 0;  // given at commit
};

// Opens /dev/null on each of the descriptors 0, 1 and 2 that is closed, as
// the GNU tools do at start, before anything else is opened: no file of the
// program's then takes the number of standard output or standard error
// (where messages would land in it). Like theirs, /dev/null is opened the
// other way round (write-only for standard input, read-only for the
// others), so that a program using a descriptor it was started without
// fails with "Bad file descriptor" instead of losing data silently. When
// /dev/null cannot be opened, prints one line naming `program` and exits
// with status 1.
void OpenStandardDescriptors(const char* program);

// Whether a process of effective user `euid` may follow the symbolic link
// `link` (its lstat) found in the folder `folder` (its stat), under the
// rule above.
bool MayFollowLink(const struct stat& link, const struct stat& folder,
                   uid_t euid);

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
