// For the tests of a run that the system gives no thread to spare: while a
// ThreadsRefused stands, a new thread would need a stack larger than the
// address space left, so std::thread cannot start one.  (Not under the
// address sanitizer, which needs the address space itself.)
#pragma once

#include <pthread.h>
#include <sys/resource.h>

namespace testsupport {

class ThreadsRefused {
 public:
  ThreadsRefused();
  ~ThreadsRefused();
  ThreadsRefused(const ThreadsRefused&) = delete;
  ThreadsRefused& operator=(const ThreadsRefused&) = delete;

 private:
  rlimit old_{};
  pthread_attr_t old_attr_{}, attr_{};
};

}  // namespace testsupport
