#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "content/letter_code.hpp"
#include "content/moderation.hpp"
#include "core/data_directory.hpp"
#include "core/text_codec.hpp"
#include "support/temp_dir.hpp"

namespace velmira {
namespace {

const std::string vt = "\v";

std::string record(const std::string& date, const std::string& login, const std::string& text_utf8) {
  return date + vt + "9:15:00" + vt + StrToHex(login) + vt + StrToHex("pw" + login) + vt + from_utf8("Ученик") +
         vt + from_utf8("Иванов Иван 5А") + vt + from_utf8(text_utf8) + vt + "clRed" + vt;
}

class Moderation : public ::testing::Test {
 protected:
  void write_news(const std::vector<std::string>& lines) {
    std::string bytes;
    for (const auto& line : lines) bytes += line + "\r\n";
    dir.write("news/data.ini", bytes);
  }

  testing::temp_dir dir;
  data_directory data{dir.path()};
  moderation_window news{data, moderation_kind::news};
  const std::string a = record("01.09.2026", "ivanov", "Первое");
  const std::string b = record("02.09.2026", "petrov", "Второе");
  const std::string c = record("03.09.2026", "sidorov", "Третье");
};

TEST_F(Moderation, RowsShowTheDecodedAuthorAndEveryField) {
  write_news({a});
  news.open(false);
  ASSERT_EQ(news.rows().size(), 1u);
  const auto& row = news.rows()[0];
  EXPECT_EQ(row.date, "01.09.2026");
  EXPECT_EQ(row.time, "9:15:00");
  EXPECT_EQ(row.login, "ivanov");
  EXPECT_EQ(row.password, "pwivanov");
  EXPECT_EQ(row.author_first, from_utf8("Ученик"));
  EXPECT_EQ(row.author_second, from_utf8("Иванов Иван 5А"));
  EXPECT_EQ(row.text, from_utf8("Первое"));
  EXPECT_EQ(row.colour, "clRed");
}

TEST_F(Moderation, AFieldWithoutItsSeparatorAndEveryLaterOneReadEmpty) {
  auto row = parse_moderation_row("01.09.2026" + vt + "9:15:00" + vt + "qa");
  EXPECT_EQ(row.date, "01.09.2026");
  EXPECT_EQ(row.time, "9:15:00");
  EXPECT_EQ(row.login, "");
  EXPECT_EQ(row.text, "");
  EXPECT_EQ(row.colour, "");
}

TEST_F(Moderation, ReadingStopsAtTheFirstEmptyLineAndAMissingFileListsNothing) {
  news.open(false);
  EXPECT_TRUE(news.rows().empty());
  dir.write("news/data.ini", a + "\r\n\r\n" + b + "\r\n");
  news.open(false);
  EXPECT_EQ(news.rows().size(), 1u);
}

TEST_F(Moderation, DeletingTheCheckedMiddleRecordKeepsTheOthersByteForByte) {
  write_news({a, b, c});
  news.open(false);
  EXPECT_TRUE(news.SpeedButton1Click({1}));
  EXPECT_EQ(dir.read("news/data.ini"), a + "\r\n" + c + "\r\n");
  ASSERT_EQ(news.rows().size(), 2u);
  EXPECT_EQ(news.rows()[1].line, c);
}

TEST_F(Moderation, RecordsAddedWhileTheWindowIsOpenSurviveADeletion) {
  write_news({a, b});
  news.open(false);
  write_news({a, b, c});  // a client adds a record meanwhile
  EXPECT_TRUE(news.SpeedButton1Click({0, 1}));
  EXPECT_EQ(dir.read("news/data.ini"), c + "\r\n");
  ASSERT_EQ(news.rows().size(), 1u);
  EXPECT_EQ(news.rows()[0].line, c);
}

TEST_F(Moderation, OfTwoEqualRecordsOnlyTheCheckedCountIsRemoved) {
  write_news({a, a, b});
  news.open(false);
  EXPECT_TRUE(news.SpeedButton1Click({1, 1}));
  EXPECT_EQ(dir.read("news/data.ini"), a + "\r\n" + b + "\r\n");
}

TEST_F(Moderation, CheckingEveryRowDeletesTheFile) {
  write_news({a, b});
  news.open(false);
  EXPECT_TRUE(news.SpeedButton1Click({0, 1}));
  EXPECT_FALSE(dir.exists("news/data.ini"));
  EXPECT_TRUE(news.rows().empty());
}

TEST_F(Moderation, NothingCheckedOrAnEmptyListChangesNothing) {
  write_news({a});
  news.open(false);
  EXPECT_FALSE(news.SpeedButton1Click({}));
  EXPECT_FALSE(news.SpeedButton1Click({7}));
  EXPECT_EQ(dir.read("news/data.ini"), a + "\r\n");

  moderation_window notes(data, moderation_kind::notes);
  notes.open(false);
  EXPECT_FALSE(notes.SpeedButton1Click({0}));
  EXPECT_FALSE(dir.exists("zametki/data.ini"));
}

TEST_F(Moderation, DeleteAllAsksAndOnlyYesDeletesTheFile) {
  write_news({a, b});
  news.open(false);
  auto asked = news.SpeedButton2Click(operator_answer::none);
  EXPECT_EQ(asked.outcome.question, "Вы действительно хотите удалить ВСЕ сообщения?");
  EXPECT_FALSE(asked.file_changed);
  EXPECT_FALSE(news.SpeedButton2Click(operator_answer::no).file_changed);
  EXPECT_TRUE(dir.exists("news/data.ini"));

  auto done = news.SpeedButton2Click(operator_answer::yes);
  EXPECT_TRUE(done.file_changed);
  EXPECT_FALSE(done.outcome.question);
  EXPECT_FALSE(dir.exists("news/data.ini"));
}

TEST_F(Moderation, DeleteAllOnAnEmptyListDoesNotAsk) {
  news.open(false);
  auto result = news.SpeedButton2Click(operator_answer::none);
  EXPECT_FALSE(result.outcome.question);
  EXPECT_FALSE(result.file_changed);
}

TEST_F(Moderation, EachWindowReadsItsFileOfTheOperatingMode) {
  struct case_t {
    moderation_kind kind;
    bool remote;
    std::string file;
    std::string title;
  } cases[] = {
      {moderation_kind::notes, false, "zametki/data.ini", "Удаление заметок"},
      {moderation_kind::notes, true, "remote/zametki.ini", "Удаление заметок"},
      {moderation_kind::news, false, "news/data.ini", "Удаление объявлений"},
      {moderation_kind::news, true, "remote/news.ini", "Удаление объявлений"},
  };
  for (const auto& [kind, remote, file, title] : cases) {
    testing::temp_dir fresh;
    data_directory fresh_data(fresh.path());
    fresh.write(file, a + "\r\n" + b + "\r\n");
    moderation_window window(fresh_data, kind);
    window.open(remote);
    EXPECT_EQ(window.title(), title);
    EXPECT_EQ(window.rows().size(), 2u) << file;
    window.SpeedButton1Click({0});
    EXPECT_EQ(fresh.read(file), b + "\r\n") << file;
  }
}

}  // namespace
}  // namespace velmira
