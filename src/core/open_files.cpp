#include "core/open_files.hpp"

#include <sys/resource.h>

#include <algorithm>

#include "core/limits.hpp"

namespace velmira {

// The kernel caps the hard limit on descriptors at fs.nr_open, so it is
// always a number, never RLIM_INFINITY, and the soft limit may take it.
// getrlimit fails only for an unknown resource or a bad address.
std::uint64_t raise_descriptor_limit() {
  rlimit limit{};
  ::getrlimit(RLIMIT_NOFILE, &limit);
  if (limit.rlim_cur < limit.rlim_max) {
    rlimit raised{limit.rlim_max, limit.rlim_max};
    if (::setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
  }
  return limit.rlim_cur;
}

std::size_t connection_cap(std::uint64_t descriptor_limit, std::size_t listeners) {
  if (listeners == 0 || descriptor_limit <= reserved_descriptors) return 1;
  std::uint64_t share = (descriptor_limit - reserved_descriptors) / listeners;
  return static_cast<std::size_t>(std::clamp<std::uint64_t>(share, 1, limits::max_connections));
}

}  // namespace velmira
