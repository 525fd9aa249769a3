#pragma once
// What the benchmarks read about a server process from /proc.
#include <sys/types.h>

#include <cstddef>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

namespace velmira::bench {

// Resident memory (VmRSS) in KiB; nothing once the process is gone.
inline std::optional<long> resident_kib(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string key;
  while (status >> key) {
    if (key == "VmRSS:") {
      long kib = 0;
      status >> kib;
      return kib;
    }
    status.ignore(4096, '\n');
  }
  return std::nullopt;
}

// Descriptors the process holds open: each accepted connection is one.
inline std::size_t open_descriptors(pid_t pid) {
  std::error_code ec;
  std::size_t n = 0;
  for (std::filesystem::directory_iterator it("/proc/" + std::to_string(pid) + "/fd", ec), end; !ec && it != end;
       it.increment(ec)) {
    ++n;
  }
  return n;
}

}  // namespace velmira::bench
