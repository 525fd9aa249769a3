#pragma once
// A value that one writer replaces whole and any number of readers use
// without waiting for each other: a reader keeps the version it took for as
// long as it needs it, whatever is published meanwhile.
//
// Thread-safety: get() and publish() may run on any threads at once. The
// lock is held only to copy or swap one pointer, never while a version is
// built or read. (std::atomic<std::shared_ptr> would do the same without a
// lock, but this library's implementation of it releases its internal lock
// with relaxed ordering in load(), which ThreadSanitizer rightly reports.)
#include <memory>
#include <utility>

#include "core/mutex.hpp"

namespace velmira {

template <class T>
class published {
 public:
  published() : value_(std::make_shared<const T>()) {}
  explicit published(T initial) : value_(std::make_shared<const T>(std::move(initial))) {}
  published(const published&) = delete;
  published& operator=(const published&) = delete;

  std::shared_ptr<const T> get() const {
    mutex_lock lock(mutex_);
    return value_;
  }

  void publish(T value) {
    auto next = std::make_shared<const T>(std::move(value));
    mutex_lock lock(mutex_);
    value_.swap(next);
    // The old version is released here, after the lock: a reader may still
    // hold it, and the last reference may be this one.
  }

 private:
  mutable mutex mutex_;
  std::shared_ptr<const T> value_ GUARDED_BY(mutex_);
};

}  // namespace velmira
