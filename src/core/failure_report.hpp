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

// Writes "velmira: <what>: <text>" and a line feed to standard error in a
// single write, as report_failure does: for the few things besides
// failures the administrator wants in the journal (who changed what from
// the console). Callable from any thread; never throws.
void report_to_journal(std::string_view what, std::string_view text) noexcept;

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
