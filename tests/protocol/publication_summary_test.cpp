#include <gtest/gtest.h>

#include "core/clock.hpp"
#include "core/data_directory.hpp"
#include "core/text_codec.hpp"
#include "protocol/publication_summary.hpp"
#include "support/temp_dir.hpp"

namespace velmira {
namespace {

class PublicationSummary : public ::testing::Test {
 protected:
  PublicationSummary() { data.create_tree(); }

  std::string info() const { return to_utf8(dir.read("raspisanie/info.ini")); }

  testing::temp_dir dir;
  data_directory data{dir.path()};
  publication_summary summary{data};
};

TEST_F(PublicationSummary, SaveInfoWritesNineValuesEachEndedByDollarOnOneLine) {
  summary.SaveInfo();
  EXPECT_EQ(dir.read("raspisanie/info.ini"), "$$$$$$$$$\r\n");

  summary.timetable_published(make_local(2023, 9, 4, 8, 5, 1), "5.9.23");
  summary.menu_published(make_local(2023, 9, 4, 9, 0, 0), "6.9.23");
  summary.announcement_added(make_local(2023, 12, 25, 14, 5, 9), from_utf8("Петрова Анна"));
  summary.SaveInfo();
  EXPECT_EQ(info(),
            "04.09.2023$8:05:01$8:05:01: опубликовано расписание на 5.9.23$"
            "04.09.2023$9:00:00$9:00:00: опубликовано меню на 6.9.23$"
            "25.12.2023$14:05:09$14:05:09: новое объявление от  Петрова Анна$\r\n");
}

TEST_F(PublicationSummary, ClearingForgetsTimetableAndMenuButKeepsTheAnnouncement) {
  summary.timetable_published(make_local(2023, 9, 4, 8, 0, 0), "5.9.23");
  summary.menu_published(make_local(2023, 9, 4, 8, 0, 0), "5.9.23");
  summary.announcement_added(make_local(2023, 9, 4, 8, 0, 0), from_utf8("Петрова Анна"));
  summary.SaveInfo();
  std::string before = dir.read("raspisanie/info.ini");

  summary.clear_timetable_and_menu();
  // The file follows only at the next save.
  EXPECT_EQ(dir.read("raspisanie/info.ini"), before);

  summary.menu_published(make_local(2023, 9, 5, 7, 30, 0), "6.9.23");
  summary.SaveInfo();
  EXPECT_EQ(info(),
            "$$$05.09.2023$7:30:00$7:30:00: опубликовано меню на 6.9.23$"
            "04.09.2023$8:00:00$8:00:00: новое объявление от  Петрова Анна$\r\n");
}

}  // namespace
}  // namespace velmira
