#pragma once
// std::mutex with the capability attribute the thread-safety analysis needs
// (libstdc++'s carries none), and its scoped lock.
//
// velmira::mutex is BasicLockable, so a std::condition_variable_any waits
// on it directly: wait() releases and retakes it inside, out of the
// analysis's sight, and the caller holds it before and after, as the
// analysis assumes.
#include <mutex>

#include "core/thread_annotations.hpp"

namespace velmira {

class CAPABILITY("mutex") mutex {
 public:
  mutex() = default;
  mutex(const mutex&) = delete;
  mutex& operator=(const mutex&) = delete;

  void lock() ACQUIRE() { mutex_.lock(); }
  void unlock() RELEASE() { mutex_.unlock(); }

 private:
  std::mutex mutex_;
};

// Holds `m` from construction to the end of the scope.
class SCOPED_CAPABILITY mutex_lock {
 public:
  explicit mutex_lock(mutex& m) ACQUIRE(m) : mutex_(m) { mutex_.lock(); }
  ~mutex_lock() RELEASE() { mutex_.unlock(); }
  mutex_lock(const mutex_lock&) = delete;
  mutex_lock& operator=(const mutex_lock&) = delete;

 private:
  mutex& mutex_;
};

}  // namespace velmira
