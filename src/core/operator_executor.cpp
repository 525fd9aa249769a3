#include "core/operator_executor.hpp"

namespace velmira {

operator_executor::operator_executor() : thread_([this] { io_.run(); }) {}

operator_executor::~operator_executor() { stop(); }

void operator_executor::stop() {
  if (stopped_.exchange(true)) return;
  work_.reset();
  io_.stop();
  if (thread_.joinable()) thread_.join();
}

}  // namespace velmira
