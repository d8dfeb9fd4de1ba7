// Threads the system may refuse. A thread that cannot be created (the
// user's process limit, no memory for its stack) is no reason to end the
// run: StartThread says so, and the work goes on with the threads already
// there, down to the calling thread alone.

#ifndef URDULEX_FOUNDATION_THREADS_H_
#define URDULEX_FOUNDATION_THREADS_H_

#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace urdulex::internal {

// Whether the next thread is to be refused, as RefuseThreadsFrom asked
// (counts the thread as asked for).
bool ThreadRefusedForTest();

// Starts `body` on a new thread at the end of `crew`; false, with `crew`
// as it was, when the system refuses the thread.
template <typename Body>
bool StartThread(std::vector<std::thread>* crew, Body&& body) {
  if (ThreadRefusedForTest()) return false;
  crew->reserve(crew->size() + 1);  // no failure once the thread runs
  try {
    crew->emplace_back(std::forward<Body>(body));
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

// For tests, as a process at its limit: from now on the thread asked of
// StartThread after `n` others (0: the next one) and every later one are
// refused. A negative `n` refuses none again.
void RefuseThreadsFrom(long n);

// RefuseThreadsFrom(N) when the environment variable URDULEX_REFUSE_THREAD
// holds a number N, for the tests of the programs (which call this at
// start); nothing otherwise.
void RefuseThreadsAsTheEnvironmentSays();

// The threads the environment variable `variable` asks for: 0 when it is
// unset or empty, -1 when it holds no number from 1 to `most`.
int ThreadsFromEnvironment(const char* variable, int most);

}  // namespace urdulex::internal

#endif  // URDULEX_FOUNDATION_THREADS_H_
