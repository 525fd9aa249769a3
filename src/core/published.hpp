#pragma once
// A value that one writer replaces whole and any number of readers use
// without waiting: a reader keeps the version it took for as long as it
// needs it, whatever is published meanwhile.
//
// Thread-safety: get() and publish() may run on any threads at once.
#include <atomic>
#include <memory>
#include <utility>

namespace velmira {

template <class T>
class published {
 public:
  published() : value_(std::make_shared<const T>()) {}
  explicit published(T initial) : value_(std::make_shared<const T>(std::move(initial))) {}
  published(const published&) = delete;
  published& operator=(const published&) = delete;

  std::shared_ptr<const T> get() const { return value_.load(std::memory_order_acquire); }
  void publish(T value) { value_.store(std::make_shared<const T>(std::move(value)), std::memory_order_release); }

 private:
  std::atomic<std::shared_ptr<const T>> value_;
};

}  // namespace velmira
