#pragma once
// Results of a pure function of a text key, kept so the work is done once
// per distinct key. Holds at most `capacity` results: when full it starts
// over, so keys that come from outside (request paths) cannot grow it
// without bound, and the keys in steady use are back after one miss each.
//
// Thread-safety: find and insert may run on any threads at once. The values
// are immutable and shared; a caller may keep one after it leaves the memo.
#include <cstddef>
#include <memory>
#include <string>
#include <unordered_map>

#include "core/mutex.hpp"

namespace velmira {

template <class Value>
class bounded_memo {
 public:
  explicit bounded_memo(std::size_t capacity) : capacity_(capacity) {}

  // Null when the key is not held.
  std::shared_ptr<const Value> find(const std::string& key) const {
    mutex_lock lock(mutex_);
    auto it = values_.find(key);
    return it == values_.end() ? nullptr : it->second;
  }

  void insert(const std::string& key, std::shared_ptr<const Value> value) {
    mutex_lock lock(mutex_);
    if (values_.size() >= capacity_) values_.clear();
    values_.insert_or_assign(key, std::move(value));
  }

  std::size_t size() const {
    mutex_lock lock(mutex_);
    return values_.size();
  }

 private:
  std::size_t capacity_;
  mutable mutex mutex_;
  std::unordered_map<std::string, std::shared_ptr<const Value>> values_ GUARDED_BY(mutex_);
};

}  // namespace velmira
