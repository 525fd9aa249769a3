#pragma once
// Connections and requests that end on a failure leave one line on standard
// error, for the administrator reading the service's journal. The event log
// is not the place: its lines are the operator's, with fixed texts.
//
// Report only what went wrong: endings that belong to a connection's life
// (the peer closed between requests, this side closed it on stop or on an
// idle timeout) are told apart by the caller first and not reported.
#include <string_view>
#include <system_error>

namespace velmira {

// Writes "velmira: <what>: <reason>" and a line feed to standard error in a
// single write, so lines from concurrent connections never interleave.
// `what` names the operation that failed ("HTTP read", "TCP write"),
// `reason` says why; a very long reason is cut short. Callable from any
// thread; allocates nothing and never throws; a failed write is dropped.
void report_failure(std::string_view what, std::string_view reason) noexcept;

// The same with the error's message as the reason. A Boost error_code
// converts to this one and keeps its message.
void report_failure(std::string_view what, const std::error_code& error) noexcept;

}  // namespace velmira
