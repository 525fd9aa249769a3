#include "core/open_files.hpp"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstdint>
#include <limits>
#include <ostream>

#include "core/limits.hpp"
#include "support/case_name.hpp"

namespace velmira {
namespace {

struct cap_case {
  const char* name;
  std::uint64_t descriptor_limit;
  std::size_t listeners;
  std::size_t cap;
};

void PrintTo(const cap_case& c, std::ostream* os) { *os << c.name; }

class ConnectionCap : public ::testing::TestWithParam<cap_case> {};

TEST_P(ConnectionCap, LeavesTheReserveFreeAndStaysWithinTheLimits) {
  const auto& c = GetParam();
  EXPECT_EQ(connection_cap(c.descriptor_limit, c.listeners), c.cap);
}

constexpr std::uint64_t reserve = reserved_descriptors;
static_assert(reserve == 128, "the literal caps below are worked out for this reserve");

INSTANTIATE_TEST_SUITE_P(
    Limits, ConnectionCap,
    ::testing::Values(
        cap_case{"ALowLimitSharedByTwo", 256, 2, 64},
        cap_case{"TheCommonDefault", 1024, 2, 448},
        cap_case{"ThreeListenersRoundDown", 1024, 3, 298},
        cap_case{"JustEnoughForTheMaximum", reserve + 2 * limits::max_connections, 2, limits::max_connections},
        cap_case{"AHighLimitStopsAtTheMaximum", 1'048'576, 2, limits::max_connections},
        cap_case{"NoLimitAtAll", std::numeric_limits<std::uint64_t>::max(), 2, limits::max_connections},
        // Too few descriptors to keep the reserve: one client at a time.
        cap_case{"OneAboveTheReserve", reserve + 1, 2, 1},
        cap_case{"AtTheReserve", reserve, 2, 1},
        cap_case{"BelowTheReserve", 16, 2, 1}),
    testing::by_name);

// The soft limit put back as it was when the test ends.
class saved_descriptor_limit {
 public:
  saved_descriptor_limit() { ::getrlimit(RLIMIT_NOFILE, &saved_); }
  ~saved_descriptor_limit() { ::setrlimit(RLIMIT_NOFILE, &saved_); }
  const rlimit& saved() const { return saved_; }

 private:
  rlimit saved_{};
};

TEST(RaiseDescriptorLimit, LiftsTheSoftLimitToTheHardOne) {
  saved_descriptor_limit saved;
  const rlim_t hard = saved.saved().rlim_max;
  rlimit lowered{std::min<rlim_t>(hard, 64), hard};
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &lowered), 0);

  EXPECT_EQ(raise_descriptor_limit(), hard);
  rlimit now{};
  ::getrlimit(RLIMIT_NOFILE, &now);
  EXPECT_EQ(now.rlim_cur, hard);
  EXPECT_EQ(now.rlim_max, hard);
}

}  // namespace
}  // namespace velmira
