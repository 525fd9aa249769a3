#pragma once
// Waiting in tests for something another thread or process brings about,
// bounded in time so a fault fails the test instead of hanging it.
#include <chrono>
#include <functional>

namespace velmira::testing {

// True as soon as `condition` holds, false once `limit` has passed without
// it. Asks again after a short sleep; for state that offers nothing to wait
// on (a file appearing, a log line, a count another thread updates).
bool eventually(const std::function<bool()>& condition,
                std::chrono::milliseconds limit = std::chrono::seconds(10));

}  // namespace velmira::testing
