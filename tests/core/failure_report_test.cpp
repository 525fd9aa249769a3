#include "core/failure_report.hpp"

#include <gtest/gtest.h>

#include <boost/asio/error.hpp>
#include <functional>
#include <ostream>
#include <string>

#include "support/case_name.hpp"
#include "support/stderr_capture.hpp"

namespace velmira {
namespace {

struct report_case {
  std::string name;
  std::function<void()> report;
  std::string line;
};

void PrintTo(const report_case& c, std::ostream* os) { *os << c.name; }

class FailureReport : public ::testing::TestWithParam<report_case> {};

TEST_P(FailureReport, WritesOneWholeLineToStandardError) {
  velmira::testing::stderr_capture captured;
  GetParam().report();
  EXPECT_EQ(captured.until(""), GetParam().line);
}

const std::string long_reason(5000, 'x');

INSTANTIATE_TEST_SUITE_P(
    Reports, FailureReport,
    ::testing::Values(
        report_case{"Text", [] { report_failure("HTTP request", "no such page"); },
                    "velmira: HTTP request: no such page\n"},
        report_case{"StdErrorCode",
                    [] { report_failure("HTTP read", std::make_error_code(std::errc::connection_reset)); },
                    "velmira: HTTP read: Connection reset by peer\n"},
        report_case{"BoostErrorCode",
                    [] { report_failure("TCP read", boost::asio::error::make_error_code(boost::asio::error::eof)); },
                    "velmira: TCP read: End of file\n"},
        // A pipe keeps a write whole only up to 4096 bytes.
        report_case{"LongReasonCutShort", [] { report_failure("HTTP request", long_reason); },
                    "velmira: HTTP request: " + std::string(1024, 'x') + "\n"}),
    testing::by_name);

}  // namespace
}  // namespace velmira
