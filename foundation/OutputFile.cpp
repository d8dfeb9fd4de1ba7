#include "foundation/OutputFile.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

namespace {

// Links followed before a target counts as a loop, as the system does.
constexpr int kMaxLinks = 40;
// Room for the bytes of the target's name kept in the temporary name,
// which must stay within a file name's limit of 255 bytes.
constexpr size_t kMaxNameInTemp = 200;
constexpr char kTempMark[] = ".urdulex-";
constexpr int kTempAttempts = 100;

// Outputs begun and not yet committed, for the signal handler. A slot is
// filled and emptied only while the handled signals are blocked, so the
// handler never sees half of one.
constexpr int kSlots = 16;
struct Slot {
  volatile sig_atomic_t used;
  int fd;
  char path[PATH_MAX];
};
Slot g_slots[kSlots];
const char* g_program = "";

// SIGPIPE ends a program as silently as ever, only without leaving files.
const int kHandled[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

std::string Reason(int error) { return std::strerror(error); }

// Blocks the handled signals for the life of the object.
class SignalBlock {
 public:
  SignalBlock() {
    sigset_t set;
    sigemptyset(&set);
    for (int s : kHandled) sigaddset(&set, s);
    sigprocmask(SIG_BLOCK, &set, &old_);
  }
  ~SignalBlock() { sigprocmask(SIG_SETMASK, &old_, nullptr); }
  SignalBlock(const SignalBlock&) = delete;
  SignalBlock& operator=(const SignalBlock&) = delete;

 private:
  sigset_t old_;
};

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// True while `path` still names the file open as `fd`.
bool StillOurs(int fd, const char* path) {
  struct stat open_st, named_st;
  return ::fstat(fd, &open_st) == 0 && ::lstat(path, &named_st) == 0 &&
         SameFile(open_st, named_st);
}

void Append(char* buffer, size_t* used, size_t room, const char* text) {
  while (*text != '\0' && *used + 1 < room) buffer[(*used)++] = *text++;
}

extern "C" void OnSignal(int sig) {
  const int saved = errno;
  bool removed = false;
  for (Slot& slot : g_slots) {
    if (!slot.used) continue;
    if (StillOurs(slot.fd, slot.path) && ::unlink(slot.path) == 0) {
      removed = true;
    }
    slot.used = 0;
  }
  // Only async-signal-safe calls here: the line is put together by hand.
  if (sig != SIGPIPE) {
    char line[256];
    size_t used = 0;
    Append(line, &used, sizeof(line), g_program);
    Append(line, &used, sizeof(line), ": interrupted by ");
    Append(line, &used, sizeof(line),
           sig == SIGINT    ? "SIGINT"
           : sig == SIGTERM ? "SIGTERM"
                            : "SIGHUP");
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

// Follows `*path` through symbolic links to the name of the file they lead
// to. False, with `*error`, on a loop. `*descriptor` tells a name that
// leads to an open descriptor (/dev/stdout, /dev/fd/N, anything under
// /proc): such a link leads to whatever the descriptor holds, which is
// written directly and never replaced.
bool FollowLinks(std::string* path, bool* descriptor, int* error) {
  *descriptor = false;
  for (int hops = 0; hops <= kMaxLinks; ++hops) {
    struct stat st;
    if (::lstat(path->c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return true;
    if (path->compare(0, 6, "/proc/") == 0) {
      *descriptor = true;
      return true;
    }
    char target[PATH_MAX];
    const ssize_t n = ::readlink(path->c_str(), target, sizeof(target) - 1);
    if (n < 0) {
      *error = errno;
      return false;
    }
    const std::string link(target, static_cast<size_t>(n));
    *path = link[0] == '/' ? link : FolderOf(*path) + link;
  }
  *error = ELOOP;
  return false;
}

// Six letters or digits that differ from run to run and call to call.
std::string RandomSuffix() {
  static uint64_t counter = 0;
  struct timespec now;
  ::clock_gettime(CLOCK_REALTIME, &now);
  uint64_t x = static_cast<uint64_t>(now.tv_nsec) ^
               (static_cast<uint64_t>(now.tv_sec) << 30) ^
               (static_cast<uint64_t>(::getpid()) << 20) ^ (++counter << 52);
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

// --- OutputFile ---

OutputFile::~OutputFile() { Abandon(); }

void OutputFile::HandleSignals(const char* program) {
  g_program = program;
  struct sigaction action;
  std::memset(&action, 0, sizeof(action));
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  for (int s : kHandled) sigaddset(&action.sa_mask, s);
  for (int s : kHandled) {
    struct sigaction old;
    if (::sigaction(s, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) {
      continue;  // as under nohup
    }
    ::sigaction(s, &action, nullptr);
  }
}

bool OutputFile::Begin(const std::string& target, std::string* error) {
  Abandon();
  direct_ = false;
  keep_mode_ = false;
  if (target.empty()) {
    *error = Reason(ENOENT);
    return false;
  }
  std::string final_path = target;
  bool descriptor = false;
  int link_error = 0;
  if (!FollowLinks(&final_path, &descriptor, &link_error)) {
    *error = Reason(link_error);
    return false;
  }
  struct stat st;
  const bool exists = !descriptor && ::stat(final_path.c_str(), &st) == 0;
  if (!descriptor && !exists && errno != ENOENT) {
    *error = Reason(errno);
    return false;
  }
  if (descriptor || (exists && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode))) {
    path_ = target;
    direct_ = true;
    return true;
  }
  if (exists && S_ISDIR(st.st_mode)) {
    *error = Reason(EISDIR);
    return false;
  }
  if (exists) {
    // Renaming needs only the folder's permission; a file the user may not
    // write stays protected as if it were written in place.
    if (::access(final_path.c_str(), W_OK) != 0) {
      *error = Reason(errno);
      return false;
    }
    keep_mode_ = true;
    mode_ = static_cast<unsigned>(st.st_mode & 0777);
  }

  const std::string folder = FolderOf(final_path);
  const std::string base =
      final_path.substr(folder.size()).substr(0, kMaxNameInTemp);
  SignalBlock block;
  int slot = 0;
  while (slot < kSlots && g_slots[slot].used) ++slot;
  if (slot == kSlots) {
    *error = Reason(EMFILE);
    return false;
  }
  for (int attempt = 0; attempt < kTempAttempts; ++attempt) {
    std::string temp = folder + "." + base + kTempMark + RandomSuffix();
    if (temp.size() >= sizeof(g_slots[slot].path)) {
      *error = Reason(ENAMETOOLONG);
      return false;
    }
    const int fd =
        ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
      if (errno == EEXIST || errno == EINTR) continue;
      *error = Reason(errno);
      return false;
    }
    Slot& s = g_slots[slot];
    std::memcpy(s.path, temp.c_str(), temp.size() + 1);
    s.fd = fd;
    s.used = 1;
    fd_ = fd;
    slot_ = slot;
    path_ = temp;
    target_ = final_path;
    return true;
  }
  *error = Reason(EEXIST);
  return false;
}

bool OutputFile::Commit(std::string* error) {
  if (fd_ < 0) return true;  // written directly, or nothing begun
  int failure = 0;
  if (keep_mode_ && ::fchmod(fd_, static_cast<mode_t>(mode_)) != 0) {
    failure = errno;
  } else if (!StillOurs(fd_, path_.c_str())) {
    failure = ENOENT;  // someone removed or replaced the temporary file
  }
  if (failure == 0) {
    SignalBlock block;
    if (::rename(path_.c_str(), target_.c_str()) == 0) {
      g_slots[slot_].used = 0;
      slot_ = -1;
      ::close(fd_);
      fd_ = -1;
      return true;
    }
    failure = errno;
  }
  Abandon();
  *error = Reason(failure);
  return false;
}

void OutputFile::Abandon() {
  if (fd_ < 0) return;
  SignalBlock block;
  if (StillOurs(fd_, path_.c_str())) ::unlink(path_.c_str());
  ::close(fd_);
  fd_ = -1;
  if (slot_ >= 0) g_slots[slot_].used = 0;
  slot_ = -1;
}

// --- FileIds ---

namespace {

// Where `name` would be created: its folder made absolute, so that two
// spellings of one new file compare equal.
std::string CreatedPath(const std::string& name) {
  std::string path = name;
  bool descriptor = false;
  int error = 0;
  FollowLinks(&path, &descriptor, &error);
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
  if (::stat(output.c_str(), &st) == 0) {
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
