#include "support/eventually.hpp"

#include <thread>

namespace velmira::testing {

bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
  // Short enough that a test waits hardly longer than the thing it awaits.
  constexpr auto between_tries = std::chrono::milliseconds(5);
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(between_tries);
  }
  return true;
}

}  // namespace velmira::testing
