#include "foundation/OutputFile.h"

#include <fcntl.h>
#include <limits.h>
#include <linux/magic.h>
#include <pthread.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

using urdulex::internal::Status;

namespace {

// Links followed before a target counts as a loop, as the system does.
constexpr int kMaxLinks = 40;
// Room for the bytes of the target's name kept in the temporary name,
// which must stay within a file name's limit of 255 bytes.
constexpr size_t kMaxNameInTemp = 200;
constexpr char kTempMark[] = ".urdulex-";
constexpr int kTempAttempts = 100;
// The temporary file's mode while it is written: its owner's alone.
constexpr mode_t kPrivateMode = 0600;

// Outputs begun and not yet committed, for the signal handler: slots in
// chunks that are never freed, linked by atomic pointers, so that there is
// no limit and the handler walks them safely at any moment. A slot is
// claimed and released under a mutex, with the handled signals blocked in
// the thread; the handler reads a slot only once it is published (kUsed)
// and takes it (kTaken) before touching it, so that no thread closes what
// the handler uses.
enum SlotState { kFree, kFilling, kUsed, kTaken };
constexpr int kSlotsPerChunk = 16;
struct Slot {
  std::atomic<int> state{kFree};
  int folder = -1;               // the target's folder
  int fd = -1;                   // the temporary file
  char name[NAME_MAX + 1] = {};  // its name in the folder
};
struct Chunk {
  Slot slots[kSlotsPerChunk];
  std::atomic<Chunk*> next{nullptr};
};
static_assert(std::atomic<int>::is_always_lock_free &&
                  std::atomic<Chunk*>::is_always_lock_free,
              "the signal handler needs lock-free atomics");
Chunk g_first_chunk;
std::mutex g_slots_mutex;
std::atomic<const char*> g_program{""};
std::atomic<bool> g_ending{false};
int g_rtmin = 0, g_rtmax = -1;  // set before any handler is installed
std::atomic<OutputFile::RenameFunction> g_rename{nullptr};

// Every signal whose default action ends the program, but the crashes
// (SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT, SIGTRAP, SIGSYS), which leave
// the program in no state to clean up; and the real-time signals
// SIGRTMIN..SIGRTMAX beside them. SIGPIPE ends a program as silently as
// ever, only without leaving files.
const struct {
  int signal;
  const char* name;
} kTerminating[] = {
    {SIGHUP, "SIGHUP"},       {SIGINT, "SIGINT"},   {SIGQUIT, "SIGQUIT"},
    {SIGUSR1, "SIGUSR1"},     {SIGUSR2, "SIGUSR2"}, {SIGPIPE, "SIGPIPE"},
    {SIGALRM, "SIGALRM"},     {SIGTERM, "SIGTERM"}, {SIGSTKFLT, "SIGSTKFLT"},
    {SIGIO, "SIGIO"},         {SIGXCPU, "SIGXCPU"}, {SIGXFSZ, "SIGXFSZ"},
    {SIGVTALRM, "SIGVTALRM"}, {SIGPROF, "SIGPROF"}, {SIGPWR, "SIGPWR"},
};

// The handled signals, as a set.
const sigset_t& Handled() {
  static const sigset_t set = [] {
    sigset_t s;
    sigemptyset(&s);
    for (const auto& t : kTerminating) sigaddset(&s, t.signal);
    for (int r = SIGRTMIN; r <= SIGRTMAX; ++r) sigaddset(&s, r);
    return s;
  }();
  return set;
}

std::string Reason(int error) { return std::strerror(error); }

// Blocks the handled signals in the thread for the life of the object.
class SignalBlock {
 public:
  SignalBlock() { ::pthread_sigmask(SIG_BLOCK, &Handled(), &old_); }
  ~SignalBlock() { ::pthread_sigmask(SIG_SETMASK, &old_, nullptr); }
  SignalBlock(const SignalBlock&) = delete;
  SignalBlock& operator=(const SignalBlock&) = delete;

 private:
  sigset_t old_;
};

// A free slot, marked kFilling; nullptr when no chunk can be made.
Slot* ClaimSlot() {
  std::lock_guard<std::mutex> lock(g_slots_mutex);
  Chunk* chunk = &g_first_chunk;
  while (true) {
    for (Slot& slot : chunk->slots) {
      if (slot.state.load(std::memory_order_relaxed) == kFree) {
        slot.state.store(kFilling, std::memory_order_relaxed);
        return &slot;
      }
    }
    Chunk* next = chunk->next.load(std::memory_order_acquire);
    if (next == nullptr) {
      next = new (std::nothrow) Chunk;  // never freed: the handler may walk it
      if (next == nullptr) return nullptr;
      chunk->next.store(next, std::memory_order_release);
    }
    chunk = next;
  }
}

// Gives the slot back. When the handler took it meanwhile, the program is
// ending by its signal: this thread waits for that (its signals are
// blocked, so nothing but the end comes).
void ReleaseSlot(Slot* slot) {
  std::lock_guard<std::mutex> lock(g_slots_mutex);
  int state = slot->state.load(std::memory_order_acquire);
  while (state != kTaken && !slot->state.compare_exchange_weak(
                                state, kFree, std::memory_order_acq_rel)) {
  }
  if (state == kTaken) {
    for (;;) ::pause();
  }
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// True while `name` in the folder open as `folder` still names the file
// open as `fd`.
bool StillOurs(int folder, const char* name, int fd) {
  struct stat open_st, named_st;
  return ::fstat(fd, &open_st) == 0 &&
         ::fstatat(folder, name, &named_st, AT_SYMLINK_NOFOLLOW) == 0 &&
         SameFile(open_st, named_st);
}

void Append(char* buffer, size_t* used, size_t room, const char* text) {
  while (*text != '\0' && *used + 1 < room) buffer[(*used)++] = *text++;
}

// Appends the decimal digits of `n` (0 to 999).
void AppendNumber(char* buffer, size_t* used, size_t room, int n) {
  char digits[4] = {};
  int at = 3;
  do {
    digits[--at] = static_cast<char>('0' + n % 10);
    n /= 10;
  } while (n > 0 && at > 0);
  Append(buffer, used, room, digits + at);
}

// The signal's name, as the shell's `kill -l` gives it.
void AppendSignalName(char* buffer, size_t* used, size_t room, int sig) {
  for (const auto& t : kTerminating) {
    if (t.signal == sig) {
      Append(buffer, used, room, t.name);
      return;
    }
  }
  const int above = sig - g_rtmin, below = g_rtmax - sig;
  if (above >= 0 && below >= 0) {
    if (above <= (g_rtmax - g_rtmin) / 2) {
      Append(buffer, used, room, "SIGRTMIN");
      if (above == 0) return;
      Append(buffer, used, room, "+");
      AppendNumber(buffer, used, room, above);
    } else {
      Append(buffer, used, room, "SIGRTMAX");
      if (below == 0) return;
      Append(buffer, used, room, "-");
      AppendNumber(buffer, used, room, below);
    }
    return;
  }
  Append(buffer, used, room, "signal ");
  AppendNumber(buffer, used, room, sig);
}

extern "C" void OnSignal(int sig) {
  const int saved = errno;
  // One handler cleans up and ends the program; one that runs meanwhile in
  // another thread waits for the end.
  if (g_ending.exchange(true)) {
    for (;;) ::pause();
  }
  bool removed = false;
  for (Chunk* chunk = &g_first_chunk; chunk != nullptr;
       chunk = chunk->next.load(std::memory_order_acquire)) {
    for (Slot& slot : chunk->slots) {
      int state = kUsed;
      if (!slot.state.compare_exchange_strong(state, kTaken,
                                              std::memory_order_acq_rel)) {
        continue;
      }
      if (StillOurs(slot.folder, slot.name, slot.fd) &&
          ::unlinkat(slot.folder, slot.name, 0) == 0) {
        removed = true;
      }
    }
  }
  // Only async-signal-safe calls here: the line is put together by hand.
  if (sig != SIGPIPE) {
    char line[256];
    size_t used = 0;
    Append(line, &used, sizeof(line), g_program.load());
    Append(line, &used, sizeof(line), ": interrupted by ");
    AppendSignalName(line, &used, sizeof(line), sig);
    if (removed) Append(line, &used, sizeof(line), "; output left as it was");
    line[used++] = '\n';
    ssize_t ignored = ::write(2, line, used);
    (void)ignored;
  }
  errno = saved;
  // Ends the program by the same signal, so that whoever started it sees
  // why (a shell stops its loop on SIGINT). The signal is blocked while
  // the handler runs and is delivered when it returns.
  ::signal(sig, SIG_DFL);
  ::raise(sig);
}

// The folder part of `path`, its last '/' included; empty for a bare name.
std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Opens the folder `folder` ("" for the working folder) to work in it by
// descriptor; -1 with errno on failure.
int OpenFolder(const std::string& folder) {
  return ::open(folder.empty() ? "." : folder.c_str(),
                O_PATH | O_DIRECTORY | O_CLOEXEC);
}

// True when `name` in the folder open as `folder` is one of the process's
// own descriptors, `*fd`: the folder is the process's descriptor folder
// under /proc, by identity, however it is spelled (/dev/fd, /proc/self/fd,
// /proc/PID/fd).
bool OwnDescriptor(const struct stat& folder, const std::string& name,
                   int* fd) {
  if (name.empty() || name.size() > 9 ||
      name.find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  struct stat own;
  if (!(::stat("/proc/self/fd", &own) == 0 && SameFile(folder, own)) &&
      !(::stat("/proc/thread-self/fd", &own) == 0 && SameFile(folder, own))) {
    return false;
  }
  *fd = std::atoi(name.c_str());
  return true;
}

// A file name on its own: no folder, and not the folder itself.
bool IsFileName(const std::string& name) {
  return !name.empty() && name != "." && name != "..";
}

// What a name leads to once its links are followed: a descriptor of the
// process, a link on /proc for the system to open (those lead to a
// process's files and folders, whose names may be gone), or a name in a
// folder, held open.
struct Followed {
  int descriptor = -1;
  bool proc = false;
  std::string path;  // the name last reached, folder included
  int folder = -1;   // its folder
  std::string name;  // its name in the folder
  bool exists = false;
  struct stat st;  // when it exists: the file, not followed
  ~Followed() {
    if (folder >= 0) ::close(folder);
  }
};

// Follows `path` through the symbolic links of its last part. Links in the
// folder part are the system's to follow, as for any name. False, with
// `*error`, on a loop or a link that cannot be read.
bool FollowLinks(const std::string& path, Followed* out, int* error) {
  if (path == "-") {
    out->descriptor = 1;
    return true;
  }
  out->path = path;
  for (int hops = 0; hops <= kMaxLinks; ++hops) {
    const std::string folder = FolderOf(out->path);
    out->name = out->path.substr(folder.size());
    if (out->folder >= 0) ::close(out->folder);
    out->folder = OpenFolder(folder);
    struct stat folder_st;
    struct statfs fs;
    if (out->folder < 0 || ::fstat(out->folder, &folder_st) != 0 ||
        ::fstatfs(out->folder, &fs) != 0) {
      *error = errno;
      return false;
    }
    if (OwnDescriptor(folder_st, out->name, &out->descriptor)) return true;
    if (!IsFileName(out->name)) {
      *error = EISDIR;
      return false;
    }
    out->exists = ::fstatat(out->folder, out->name.c_str(), &out->st,
                            AT_SYMLINK_NOFOLLOW) == 0;
    if (!out->exists && errno != ENOENT) {
      *error = errno;
      return false;
    }
    if (!out->exists || !S_ISLNK(out->st.st_mode)) return true;
    if (fs.f_type == PROC_SUPER_MAGIC) {
      out->proc = true;
      return true;
    }
    if (!MayFollowLink(out->st, folder_st, ::geteuid())) {
      *error = EACCES;
      return false;
    }
    char target[PATH_MAX];
    const ssize_t n = ::readlinkat(out->folder, out->name.c_str(), target,
                                   sizeof(target) - 1);
    if (n <= 0) {
      *error = n < 0 ? errno : ENOENT;
      return false;
    }
    const std::string link(target, static_cast<size_t>(n));
    out->path = link[0] == '/' ? link : folder + link;
  }
  *error = ELOOP;
  return false;
}

// 0666 less the umask, the mode a new file gets. The umask is read from
// /proc: umask() would have to change it to read it, for every thread at
// once. Without /proc, the file is left to its owner alone.
mode_t NewFileMode() {
  mode_t mask = 077;
  const int fd = ::open("/proc/self/status", O_RDONLY | O_CLOEXEC);
  if (fd >= 0) {
    char text[4096];
    ssize_t n = ::read(fd, text, sizeof(text) - 1);
    ::close(fd);
    text[n > 0 ? n : 0] = '\0';
    if (const char* at = std::strstr(text, "\nUmask:")) {
      char* end = nullptr;
      const long value = std::strtol(at + 7, &end, 8);
      if (end != at + 7 && value >= 0 && value <= 0777) {
        mask = static_cast<mode_t>(value);
      }
    }
  }
  return 0666 & ~mask;
}

// Six letters or digits that differ from run to run and call to call.
std::string RandomSuffix() {
  static std::atomic<uint64_t> counter{0};
  struct timespec now;
  ::clock_gettime(CLOCK_REALTIME, &now);
  uint64_t x = static_cast<uint64_t>(now.tv_nsec) ^
               (static_cast<uint64_t>(now.tv_sec) << 30) ^
               (static_cast<uint64_t>(::getpid()) << 20) ^
               (counter.fetch_add(1, std::memory_order_relaxed) << 52);
  // splitmix64: spreads the few changing bits over all of them.
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  x ^= x >> 31;
  static const char kChars[] =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::string s;
  for (int i = 0; i < 6; ++i) {
    s.push_back(kChars[x % 62]);
    x /= 62;
  }
  return s;
}

}  // namespace

void OpenStandardDescriptors(const char* program) {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) >= 0 || errno != EBADF) continue;
    // The lowest free number is `fd` itself, the lower ones being open.
    const int opened = ::open("/dev/null", fd == 0 ? O_WRONLY : O_RDONLY);
    if (opened != fd) {
      const int error = opened < 0 ? errno : EBADF;
      std::fprintf(stderr, "%s: cannot open /dev/null: %s\n", program,
                   std::strerror(error));
      std::exit(1);
    }
  }
}

bool MayFollowLink(const struct stat& link, const struct stat& folder,
                   uid_t euid) {
  const bool shared =
      (folder.st_mode & S_ISVTX) != 0 && (folder.st_mode & S_IWOTH) != 0;
  return !shared || link.st_uid == euid || link.st_uid == folder.st_uid;
}

// --- OutputFile ---

OutputFile::~OutputFile() { Abandon(); }

void OutputFile::HandleSignals(const char* program) {
  g_program = program;
  g_rtmin = SIGRTMIN;
  g_rtmax = SIGRTMAX;
  struct sigaction action;
  std::memset(&action, 0, sizeof(action));
  action.sa_handler = OnSignal;
  action.sa_mask = Handled();
  for (int s = 1; s < NSIG; ++s) {
    if (sigismember(&Handled(), s) != 1) continue;
    struct sigaction old;
    if (::sigaction(s, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) {
      continue;  // as under nohup
    }
    ::sigaction(s, &action, nullptr);
  }
}

void OutputFile::SetRenameForTesting(RenameFunction rename) {
  g_rename = rename;
}

Status OutputFile::Begin(const std::string& target) {
  Abandon();
  direct_ = false;
  if (target.empty()) {
    return Status::Failure(Reason(ENOENT));
  }
  Followed followed;
  int failure = 0;
  if (!FollowLinks(target, &followed, &failure)) {
    return Status::Failure(Reason(failure));
  }
  if (followed.descriptor >= 0) {
    // Written through a copy of the descriptor: its file, its offset and
    // its append mode, with nothing opened again.
    const int flags = ::fcntl(followed.descriptor, F_GETFL);
    if (flags < 0 || (flags & O_ACCMODE) == O_RDONLY) {
      return Status::Failure(Reason(EBADF));
    }
    fd_ = ::fcntl(followed.descriptor, F_DUPFD_CLOEXEC, 0);
    if (fd_ < 0) {
      return Status::Failure(Reason(errno));
    }
    direct_ = true;
    return Status();
  }
  if (followed.proc) {
    // The system opens it, as a shell's `>` would: the file is emptied
    // and written where it is, whether or not its name still exists.
    fd_ = ::open(followed.path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    struct stat st;
    if (fd_ < 0 || ::fstat(fd_, &st) != 0 ||
        (S_ISREG(st.st_mode) && ::ftruncate(fd_, 0) != 0)) {
      const int error = errno;  // before Abandon's calls
      Abandon();
      return Status::Failure(Reason(error));
    }
    direct_ = true;
    return Status();
  }
  const struct stat& st = followed.st;
  if (followed.exists && S_ISDIR(st.st_mode)) {
    return Status::Failure(Reason(EISDIR));
  }
  if (followed.exists && !S_ISREG(st.st_mode)) {
    // A device or a FIFO (the open waits for a reader, as a shell's does):
    // written directly.
    fd_ = ::openat(followed.folder, followed.name.c_str(),
                   O_WRONLY | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC);
    if (fd_ < 0) {
      return Status::Failure(Reason(errno));
    }
    direct_ = true;
    return Status();
  }
  if (followed.exists) {
    // Renaming needs only the folder's permission; a file the user may not
    // write stays protected as if it were written in place.
    if (::faccessat(followed.folder, followed.name.c_str(), W_OK, 0) != 0) {
      return Status::Failure(Reason(errno));
    }
    mode_ = static_cast<unsigned>(st.st_mode & 0777);
  } else {
    mode_ = static_cast<unsigned>(NewFileMode());
  }

  const std::string base = followed.name.substr(0, kMaxNameInTemp);
  SignalBlock block;
  Slot* slot = ClaimSlot();
  if (slot == nullptr) {
    return Status::Failure(Reason(ENOMEM));
  }
  for (int attempt = 0; attempt < kTempAttempts; ++attempt) {
    const std::string temp = "." + base + kTempMark + RandomSuffix();
    // Private while it is written, and never opened again by name.
    const int fd = ::openat(followed.folder, temp.c_str(),
                            O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                            kPrivateMode);
    if (fd < 0) {
      if (errno == EEXIST || errno == EINTR) continue;
      const int error = errno;  // before ReleaseSlot's calls
      ReleaseSlot(slot);
      return Status::Failure(Reason(error));
    }
    std::memcpy(slot->name, temp.c_str(), temp.size() + 1);
    slot->folder = followed.folder;
    slot->fd = fd;
    slot->state.store(kUsed, std::memory_order_release);
    fd_ = fd;
    slot_ = slot;
    folder_ = followed.folder;
    followed.folder = -1;  // now ours
    temp_ = temp;
    name_ = followed.name;
    return Status();
  }
  ReleaseSlot(slot);
  return Status::Failure(Reason(EEXIST));
}

Status OutputFile::Commit() {
  if (fd_ < 0) return Status();  // nothing begun
  if (direct_) {
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) {
      return Status::Failure(Reason(errno));
    }
    return Status();
  }
  int failure = 0;
  if (::fchmod(fd_, static_cast<mode_t>(mode_)) != 0) {
    failure = errno;
  } else if (!StillOurs(folder_, temp_.c_str(), fd_)) {
    failure = ENOENT;  // someone removed or replaced the temporary file
  }
  if (failure == 0) {
    SignalBlock block;
    const RenameFunction rename = g_rename.load();
    if ((rename != nullptr ? rename : ::renameat)(
            folder_, temp_.c_str(), folder_, name_.c_str()) == 0) {
      ReleaseSlot(static_cast<Slot*>(slot_));
      slot_ = nullptr;
      Close();
      return Status();
    }
    failure = errno;
  }
  if (failure == EBUSY) {
    // The target is a mount point (a file bound over it): it cannot be
    // replaced, only written in place, which is not atomic.
    failure = WriteInPlace();
  }
  Abandon();
  if (failure == 0) return Status();
  return Status::Failure(Reason(failure));
}

void OutputFile::Abandon() {
  if (fd_ < 0) return;
  if (direct_) {
    Close();
    return;
  }
  SignalBlock block;
  if (StillOurs(folder_, temp_.c_str(), fd_)) {
    ::unlinkat(folder_, temp_.c_str(), 0);
  }
  if (slot_ != nullptr) ReleaseSlot(static_cast<Slot*>(slot_));
  slot_ = nullptr;
  Close();
}

int OutputFile::WriteInPlace() {
  struct stat st;
  if (::fstat(fd_, &st) != 0) return errno;
  const int out = ::openat(folder_, name_.c_str(),
                           O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC);
  if (out < 0) return errno;
  int failure = 0;
  char buffer[1 << 16];
  off_t at = 0;
  while (failure == 0) {
    const ssize_t got = ::pread(fd_, buffer, sizeof(buffer), at);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      if (got < 0) failure = errno;
      break;
    }
    for (ssize_t put = 0; put < got && failure == 0;) {
      const ssize_t n =
          ::write(out, buffer + put, static_cast<size_t>(got - put));
      if (n < 0 && errno != EINTR) failure = errno;
      if (n > 0) put += n;
    }
    at += got;
  }
  if (failure == 0 && ::ftruncate(out, st.st_size) != 0) failure = errno;
  if (::close(out) != 0 && failure == 0) failure = errno;
  return failure;
}

void OutputFile::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (folder_ >= 0) ::close(folder_);
  folder_ = -1;
}

// --- FileIds ---

namespace {

// Where `name` would be created: its folder made absolute, so that two
// spellings of one new file compare equal.
std::string CreatedPath(const std::string& name) {
  Followed followed;
  int error = 0;
  FollowLinks(name, &followed, &error);
  const std::string path = followed.path.empty() ? name : followed.path;
  std::string folder = FolderOf(path);
  char resolved[PATH_MAX];
  if (::realpath(folder.empty() ? "." : folder.c_str(), resolved) == nullptr) {
    return path;
  }
  return std::string(resolved) + "/" + path.substr(folder.size());
}

}  // namespace

void FileIds::AddInput(const std::string& name, const std::string& what) {
  struct stat st;
  if (::stat(name.c_str(), &st) != 0) return;
  files_.push_back({true, static_cast<uint64_t>(st.st_dev),
                    static_cast<uint64_t>(st.st_ino), "", what, name});
}

void FileIds::AddOpenInput(int fd, const std::string& name,
                           const std::string& what) {
  struct stat st;
  if (::fstat(fd, &st) != 0) return;
  files_.push_back({true, static_cast<uint64_t>(st.st_dev),
                    static_cast<uint64_t>(st.st_ino), "", what, name});
}

bool FileIds::Clash(const std::string& output, const std::string& as,
                    std::string* what, std::string* name) {
  struct stat st;
  Entry entry{false, 0, 0, "", as, output};
  if ((output == "-" ? ::fstat(1, &st) : ::stat(output.c_str(), &st)) == 0) {
    if (!S_ISREG(st.st_mode)) return false;
    entry.exists = true;
    entry.device = static_cast<uint64_t>(st.st_dev);
    entry.inode = static_cast<uint64_t>(st.st_ino);
  } else {
    entry.path = CreatedPath(output);
  }
  for (const Entry& e : files_) {
    const bool same = entry.exists ? e.exists && e.device == entry.device &&
                                         e.inode == entry.inode
                                   : !e.exists && e.path == entry.path;
    if (same) {
      *what = e.what;
      *name = e.name;
      return true;
    }
  }
  files_.push_back(entry);
  return false;
}

bool FileIds::ClashOpen(int fd, const std::string& as, std::string* what,
                        std::string* name) {
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
  for (const Entry& e : files_) {
    if (e.exists && e.device == static_cast<uint64_t>(st.st_dev) &&
        e.inode == static_cast<uint64_t>(st.st_ino)) {
      *what = e.what;
      *name = e.name;
      return true;
    }
  }
  files_.push_back({true, static_cast<uint64_t>(st.st_dev),
                    static_cast<uint64_t>(st.st_ino), "", as, as});
  return false;
}

// --- InputWatch ---

void InputWatch::Start(const std::string& name, int fd) {
  name_ = name;
  fd_ = fd;
  struct stat st;
  regular_ = (fd >= 0 ? ::fstat(fd, &st) : ::stat(name.c_str(), &st)) == 0 &&
             S_ISREG(st.st_mode);
  if (!regular_) return;
  size_ = static_cast<int64_t>(st.st_size);
  device_ = static_cast<uint64_t>(st.st_dev);
  inode_ = static_cast<uint64_t>(st.st_ino);
  links_ = static_cast<uint64_t>(st.st_nlink);
  mtime_sec_ = static_cast<int64_t>(st.st_mtim.tv_sec);
  mtime_nsec_ = static_cast<int64_t>(st.st_mtim.tv_nsec);
  ctime_sec_ = static_cast<int64_t>(st.st_ctim.tv_sec);
  ctime_nsec_ = static_cast<int64_t>(st.st_ctim.tv_nsec);
}

bool InputWatch::Unchanged() const {
  if (!regular_) return true;
  struct stat st;
  if ((fd_ >= 0 ? ::fstat(fd_, &st) : ::stat(name_.c_str(), &st)) != 0) {
    return false;
  }
  if (static_cast<int64_t>(st.st_size) != size_ ||
      static_cast<int64_t>(st.st_mtim.tv_sec) != mtime_sec_ ||
      static_cast<int64_t>(st.st_mtim.tv_nsec) != mtime_nsec_ ||
      static_cast<uint64_t>(st.st_dev) != device_ ||
      static_cast<uint64_t>(st.st_ino) != inode_) {
    return false;
  }
  // A write that keeps the size, with the modification time set back (or
  // within its granularity), still moves the change time, which no one
  // can set. A link added or removed moves it too without touching the
  // bytes (a file replaced by rename loses its name): the change time
  // counts while the link count is the same.
  if (static_cast<uint64_t>(st.st_nlink) == links_ &&
      (static_cast<int64_t>(st.st_ctim.tv_sec) != ctime_sec_ ||
       static_cast<int64_t>(st.st_ctim.tv_nsec) != ctime_nsec_)) {
    return false;
  }
  if (fd_ >= 0 && !name_.empty()) {
    if (::stat(name_.c_str(), &st) != 0 ||
        static_cast<uint64_t>(st.st_dev) != device_ ||
        static_cast<uint64_t>(st.st_ino) != inode_) {
      return false;
    }
  }
  return true;
}
