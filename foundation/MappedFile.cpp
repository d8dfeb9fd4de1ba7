#include "foundation/MappedFile.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <mutex>

// --- The SIGBUS guard of the mappings ---
//
// A mapped file that someone cuts short raises SIGBUS on the pages it no
// longer has. The handler puts zero pages over the whole mapping, so that
// the faulting read and every later one go on, and marks the mapping cut;
// the readers check the mark. The mappings are kept in a list that only
// grows (a dropped mapping's entry is reused, never freed), so the handler
// walks it without a lock, however many files are open.
//
// Any other SIGBUS is not ours: one sent by kill or raise (si_code <= 0),
// or a fault outside every mapping. It goes to the handler that was there
// before ours, called in place so that ours stays; or, when there was
// none, it does what the default does: our handler steps aside and the
// signal ends the process (a fault repeats as the handler returns, a sent
// signal is raised again). Ignored before, a sent signal stays ignored.

struct MappedFile::Guard {
  std::atomic<uintptr_t> begin{0};
  std::atomic<uintptr_t> end{0};
  std::atomic<bool> cut{false};
  Guard* next = nullptr;
};

namespace {

using Guard = MappedFile::Guard;

std::atomic<Guard*> g_guards{nullptr};
std::mutex g_guard_mutex;
bool g_installed = false;
struct sigaction g_previous;

extern "C" void OnBus(int sig, siginfo_t* info, void* context) {
  const int saved = errno;
  if (info != nullptr && info->si_code > 0) {
    const uintptr_t at = reinterpret_cast<uintptr_t>(info->si_addr);
    for (Guard* guard = g_guards.load(std::memory_order_acquire);
         guard != nullptr; guard = guard->next) {
      const uintptr_t begin = guard->begin.load(std::memory_order_acquire);
      const uintptr_t end = guard->end.load(std::memory_order_acquire);
      if (begin == 0 || at < begin || at >= end) continue;
      void* zeros =
          ::mmap(reinterpret_cast<void*>(begin), end - begin, PROT_READ,
                 MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
      if (zeros != MAP_FAILED) {
        guard->cut.store(true, std::memory_order_release);
        errno = saved;
        return;
      }
      break;
    }
  }
  // Not ours.
  const struct sigaction& before = g_previous;
  if ((before.sa_flags & SA_SIGINFO) != 0 && before.sa_sigaction != nullptr) {
    errno = saved;
    before.sa_sigaction(sig, info, context);
    return;
  }
  if (before.sa_handler != SIG_DFL && before.sa_handler != SIG_IGN &&
      before.sa_handler != nullptr) {
    errno = saved;
    before.sa_handler(sig);
    return;
  }
  const bool sent = info == nullptr || info->si_code <= 0;
  if (before.sa_handler == SIG_IGN && sent) {
    errno = saved;
    return;
  }
  // As the default: the process ends by this signal, once the handler
  // returns (SIGBUS is blocked while it runs).
  struct sigaction default_action;
  std::memset(&default_action, 0, sizeof(default_action));
  default_action.sa_handler = SIG_DFL;
  sigemptyset(&default_action.sa_mask);
  ::sigaction(SIGBUS, &default_action, nullptr);
  if (sent) ::raise(SIGBUS);
  errno = saved;
}

// Whether our handler serves SIGBUS, installing it the first time. False
// once another handler took its place (installed after ours): mappings
// opened from then on would go unguarded.
bool GuardInstalled() {
  if (!g_installed) {
    struct sigaction action;
    std::memset(&action, 0, sizeof(action));
    action.sa_sigaction = OnBus;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    if (::sigaction(SIGBUS, &action, &g_previous) != 0) return false;
    g_installed = true;
    return true;
  }
  struct sigaction current;
  return ::sigaction(SIGBUS, nullptr, &current) == 0 &&
         (current.sa_flags & SA_SIGINFO) != 0 && current.sa_sigaction == OnBus;
}

// Guards `size` mapped bytes at `begin`; null when our handler no longer
// serves SIGBUS (the mapping would go unguarded: the caller reads the
// file instead).
Guard* AddGuard(const void* begin, size_t size) {
  std::lock_guard<std::mutex> lock(g_guard_mutex);
  if (!GuardInstalled()) return nullptr;
  const long page = ::sysconf(_SC_PAGESIZE);
  const uintptr_t b = reinterpret_cast<uintptr_t>(begin);
  const uintptr_t e = b + (size + static_cast<size_t>(page) - 1) /
                              static_cast<size_t>(page) *
                              static_cast<size_t>(page);
  Guard* guard = g_guards.load(std::memory_order_relaxed);
  while (guard != nullptr &&
         guard->begin.load(std::memory_order_relaxed) != 0) {
    guard = guard->next;
  }
  if (guard == nullptr) {
    guard = new Guard;  // never freed: the handler may be walking the list
    guard->next = g_guards.load(std::memory_order_relaxed);
    g_guards.store(guard, std::memory_order_release);
  }
  guard->cut.store(false, std::memory_order_relaxed);
  guard->end.store(e, std::memory_order_release);
  guard->begin.store(b, std::memory_order_release);
  return guard;
}

void DropGuard(Guard* guard) {
  if (guard == nullptr) return;
  std::lock_guard<std::mutex> lock(g_guard_mutex);
  guard->begin.store(0, std::memory_order_release);
  guard->end.store(0, std::memory_order_release);
}

// `size` bytes of the file open as `fd` read into private memory (an
// anonymous mapping, unmapped as a file's is): kOpen with the bytes in
// `*out`, kChanged when the file ends before, kReadFailed when they cannot
// be read.
MappedFile::Opened ReadPrivately(int fd, size_t size, void** out) {
  void* p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE,
                   MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
  if (p == MAP_FAILED) return MappedFile::Opened::kReadFailed;
  unsigned char* bytes = static_cast<unsigned char*>(p);
  for (size_t done = 0; done < size;) {
    const ssize_t n =
        ::pread(fd, bytes + done, size - done, static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ::munmap(p, size);
      return n == 0 ? MappedFile::Opened::kChanged
                    : MappedFile::Opened::kReadFailed;
    }
    done += static_cast<size_t>(n);
  }
  ::mprotect(p, size, PROT_READ);
  *out = p;
  return MappedFile::Opened::kOpen;
}

}  // namespace

MappedFile::Opened MappedFile::Open(const std::string& path,
                                    bool private_copy) {
  Close();
  // Only a regular file: anything else (a FIFO) is left to the caller,
  // which opens it once.
  struct stat st;
  int fd = -1;
  if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
    do {
      fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
      ::close(fd);
      fd = -1;
    }
  }
  if (fd < 0) return Opened::kNotRegular;
  // Kept open, so that Unchanged asks the file mapped, whatever its name
  // leads to by then.
  fd_ = fd;
  watch_.Start("", fd_);
  const size_t size = static_cast<size_t>(st.st_size);
  void* p = nullptr;
  // A file is mapped only while our SIGBUS handler can guard the mapping;
  // once another took its place (installed later), it is read into
  // private memory instead.
  bool copy = private_copy;
  if (size > 0 && !copy) {
    p = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd_, 0);
    if (p == MAP_FAILED) return Opened::kMapFailed;
    guard_ = AddGuard(p, size);
    if (guard_ == nullptr) {
      ::munmap(p, size);
      copy = true;
    }
  }
  if (size > 0 && copy) {
    const Opened read = ReadPrivately(fd_, size, &p);
    if (read != Opened::kOpen) return read;
  }
  data_ = static_cast<const unsigned char*>(p);
  size_ = size;
  if (copy) {
    // The copy is the file as opened only if nothing changed it during
    // the read; from then on nothing can.
    const bool same = watch_.Unchanged();
    ::close(fd_);
    fd_ = -1;
    copied_ = true;
    if (!same) return Opened::kChanged;
  }
  return Opened::kOpen;
}

void MappedFile::Close() {
  DropGuard(guard_);
  guard_ = nullptr;
  if (data_ != nullptr) ::munmap(const_cast<unsigned char*>(data_), size_);
  data_ = nullptr;
  size_ = 0;
  copied_ = false;
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool MappedFile::cut() const {
  return guard_ != nullptr && guard_->cut.load(std::memory_order_acquire);
}

bool MappedFile::Unchanged() const {
  if (cut()) return false;
  return fd_ < 0 || watch_.Unchanged();
}

void MappedFile::Populate() const {
#ifdef MADV_POPULATE_READ
  if (data_ != nullptr) {
    ::madvise(const_cast<unsigned char*>(data_), size_, MADV_POPULATE_READ);
  }
#endif
}
