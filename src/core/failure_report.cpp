#include "core/failure_report.hpp"

#include <sys/uio.h>
#include <unistd.h>

#include <array>
#include <cerrno>

namespace velmira {

namespace {

// A pipe takes a write of up to PIPE_BUF (4096) bytes whole; keeping the
// line well below that keeps it whole under a journal's pipe too.
constexpr std::size_t max_part = 1024;

iovec part(std::string_view text) {
  text = text.substr(0, max_part);
  return {const_cast<char*>(text.data()), text.size()};
}

}  // namespace

void report_to_journal(std::string_view what, std::string_view text) noexcept {
  std::array<iovec, 5> line{part("velmira: "), part(what), part(": "), part(text), part("\n")};
  while (::writev(STDERR_FILENO, line.data(), static_cast<int>(line.size())) < 0 && errno == EINTR) {
  }
}

void report_failure(std::string_view what, std::string_view reason) noexcept { report_to_journal(what, reason); }

void report_failure(std::string_view what, const std::error_code& error) noexcept {
  // message() builds a string; when even that fails, the category says
  // at least where the error came from.
  try {
    report_failure(what, error.message());
  } catch (...) {
    report_failure(what, error.category().name());
  }
}

}  // namespace velmira
