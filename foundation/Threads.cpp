#include "foundation/Threads.h"

#include <atomic>
#include <cstdlib>

namespace urdulex::internal {

namespace {

std::atomic<long> refuse_from{-1};
std::atomic<long> asked{0};

}  // namespace

bool ThreadRefusedForTest() {
  const long from = refuse_from.load(std::memory_order_relaxed);
  return from >= 0 && asked.fetch_add(1, std::memory_order_relaxed) >= from;
}

void RefuseThreadsFrom(long n) {
  asked.store(0, std::memory_order_relaxed);
  refuse_from.store(n < 0 ? -1 : n, std::memory_order_relaxed);
}

void RefuseThreadsAsTheEnvironmentSays() {
  const char* text = std::getenv("URDULEX_REFUSE_THREAD");
  if (text == nullptr || *text < '0' || *text > '9') return;
  char* end = nullptr;
  const long n = std::strtol(text, &end, 10);
  if (*end == '\0') RefuseThreadsFrom(n);
}

int ThreadsFromEnvironment(const char* variable, int most) {
  const char* jobs = std::getenv(variable);
  if (jobs == nullptr || *jobs == '\0') return 0;
  char* end = nullptr;
  const unsigned long n = std::strtoul(jobs, &end, 10);
  if (*end != '\0' || n < 1 || n > static_cast<unsigned long>(most) ||
      jobs[0] == '-') {
    return -1;
  }
  return static_cast<int>(n);
}

}  // namespace urdulex::internal
