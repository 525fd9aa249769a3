// Where requests run: read-only ones at once on the caller's thread, the
// ones that write handed to the operator, each completed exactly once.
#include "protocol/dispatcher.hpp"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/clock.hpp"
#include "core/text_codec.hpp"
#include "protocol/protocol_stack.hpp"
#include "support/temp_dir.hpp"
#include "users/roles.hpp"

namespace velmira {
namespace {

class Dispatch : public ::testing::Test {
 protected:
  Dispatch() {
    data.create_tree();
    users.replace({{"1", from_utf8("Петрова Анна"), "", roles::teacher(), "teach", "pw", roles::yes(), roles::yes(),
                    roles::yes()}});
  }

  // Serves a line; what completed, at once or later, is in `completions`.
  void serve(const std::string& line) {
    auto at_once =
        stack.dispatch().serve(line, [this](served_request served) { completions.push_back(std::move(served)); });
    if (at_once) completions.push_back(std::move(*at_once));
  }
  void run_operator_work() {
    while (!operator_queue.empty()) {
      auto work = std::move(operator_queue.front());
      operator_queue.pop_front();
      work();
    }
  }

  testing::temp_dir dir;
  data_directory data{dir.path()};
  user_table users;
  published<greeting> hello{greeting{"v$", "web$pw$$0$"}};
  published<access_settings> access;
  manual_clock clock{make_local(2024, 9, 5, 10, 0, 0)};
  log_switches switches;
  event_log log{clock, switches};
  std::deque<std::function<void()>> operator_queue;
  std::vector<served_request> completions;
  protocol_stack stack{protocol_dependencies{
      data, users, hello, access, log, clock, admin_reloads{}, [this](std::function<void()> work) {
        operator_queue.push_back(std::move(work));
      }}};
};

TEST_F(Dispatch, ReadOnlyRequestsCompleteAtOnceWithoutTheOperator) {
  for (const char* line : {"conecUhitteach;pw;", "zameVUhitteach;pw;", "newsVUhitteach;pw;", "gameexxxx00room;",
                           "conecAdmix;y;", "nothing at all"}) {
    SCOPED_TRACE(line);
    completions.clear();
    serve(line);
    ASSERT_EQ(completions.size(), 1u);
    EXPECT_TRUE(completions[0].failure.empty());
    EXPECT_TRUE(operator_queue.empty());
  }
  EXPECT_EQ(completions[0].reply, std::nullopt);  // an unknown command gets no reply
}

TEST_F(Dispatch, WritingRequestsWaitForTheOperatorAndCompleteThere) {
  const std::vector<std::string> lines = {
      "newsSUhitteach\vpw\v\vfirst\v", "zameSUhitteach\vpw\v\v05.09.2024\vnote\v",
      "newsSUhitteach\vpw\v\vsecond\v", "publlDispd\vp\vS;5.9.24;x",
      "settiAdmiusers.ini;a;b;^",
  };
  for (const auto& line : lines) serve(line);
  EXPECT_TRUE(completions.empty());
  EXPECT_FALSE(dir.exists("news/data.ini"));
  ASSERT_EQ(operator_queue.size(), lines.size());

  run_operator_work();
  ASSERT_EQ(completions.size(), lines.size());
  auto records = dir.read("news/data.ini");
  EXPECT_LT(records.find("first"), records.find("second"));
  EXPECT_EQ(completions.back().reply, std::optional<std::string>("error"));
}

TEST_F(Dispatch, AFailedOperationIsReportedNotThrown) {
  // A folder where the announcements file should be: the rewrite fails.
  std::filesystem::create_directories(dir.path() / "news" / "data.ini");
  serve("newsSUhitteach\vpw\v\vtext\v");
  run_operator_work();
  ASSERT_EQ(completions.size(), 1u);
  EXPECT_FALSE(completions[0].failure.empty());
  EXPECT_THROW(stack.dispatch().serve_here("newsSUhitteach\vpw\v\vtext\v"), std::exception);
}

}  // namespace
}  // namespace velmira
