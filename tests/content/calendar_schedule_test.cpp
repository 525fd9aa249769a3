#include "content/calendar_schedule.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "content/rtf_reader.hpp"
#include "content/rtf_writer.hpp"
#include "core/autostart.hpp"
#include "core/data_file.hpp"
#include "core/settings_file.hpp"
#include "core/text_codec.hpp"
#include "support/temp_dir.hpp"

namespace velmira {
namespace {

namespace fs = std::filesystem;

class CalendarSchedule : public ::testing::Test {
 protected:
  CalendarSchedule() { data.create_tree(); }

  // Types UTF-8 text at the end of the document.
  void type(const char* utf8) {
    editor.select(editor.document().size(), 0);
    editor.replace_selection(from_utf8(utf8));
  }
  std::string markup() const { return to_utf8(PreobrRichEdit(editor.document())); }
  std::string text() const {
    std::string text;
    for (const auto& c : editor.document()) text += c.ch;
    return to_utf8(text);
  }
  std::vector<std::string> folder_entries(const fs::path& folder) const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
      names.push_back(entry.path().filename().string());
    }
    return names;
  }

  testing::temp_dir dir;
  data_directory data{dir.path()};
  settings_page page;
  calendar_schedule editor{data, page};
};

TEST_F(CalendarSchedule, SaveWritesNothingWhileTheCalendarIsOff) {
  type("1 четверть");
  page.calendar_on = false;
  editor.KalendarGrafSave("");
  editor.KalendarGrafSave("remote\\");
  EXPECT_FALSE(dir.exists("kalendgraf.rtf"));
  EXPECT_FALSE(dir.exists("kalendgraf.ini"));
  EXPECT_FALSE(dir.exists("remote/kalendgraf.rtf"));
  EXPECT_FALSE(dir.exists("remote/kalendgraf.ini"));
}

TEST_F(CalendarSchedule, SaveLeavesExistingFilesAloneWhileTheCalendarIsOff) {
  dir.write("kalendgraf.rtf", "old rtf");
  dir.write("kalendgraf.ini", "old ini\r\n");
  type("новое");
  editor.KalendarGrafSave("");
  EXPECT_EQ(dir.read("kalendgraf.rtf"), "old rtf");
  EXPECT_EQ(dir.read("kalendgraf.ini"), "old ini\r\n");
}

TEST_F(CalendarSchedule, SaveWritesTheMarkupLineAndTheRtfWhenOn) {
  page.calendar_on = true;
  type("1 четверть\r\n01.09 <> 27.10");
  editor.select(0, 10);
  editor.SpeedButton9Click();
  editor.SpeedButton14Click();
  editor.KalendarGrafSave("");

  EXPECT_EQ(dir.read("kalendgraf.ini"),
            from_utf8("<c><b>1 четверть</b></c><br>01.09 <> 27.10") + "\r\n");
  EXPECT_EQ(read_rtf(dir.read("kalendgraf.rtf")), editor.document());
}

TEST_F(CalendarSchedule, SaveReplacesOldFilesWholeAndLeavesNoTemporaryFiles) {
  page.calendar_on = true;
  dir.write("kalendgraf.rtf", std::string(10'000, 'x'));
  dir.write("kalendgraf.ini", std::string(10'000, 'y'));
  type("a");
  editor.KalendarGrafSave("");
  EXPECT_EQ(dir.read("kalendgraf.ini"), "a\r\n");
  EXPECT_EQ(dir.read("kalendgraf.rtf"), write_rtf(editor.document()));
  for (const auto& name : folder_entries(dir.path())) {
    EXPECT_FALSE(name.starts_with(".")) << name;
  }
}

TEST_F(CalendarSchedule, SaveWithThePrefixWritesUnderRemote) {
  page.calendar_on = true;
  type("x");
  editor.KalendarGrafSave("remote\\");
  EXPECT_EQ(dir.read("remote/kalendgraf.ini"), "x\r\n");
  EXPECT_TRUE(dir.exists("remote/kalendgraf.rtf"));
  EXPECT_FALSE(dir.exists("kalendgraf.ini"));
}

TEST_F(CalendarSchedule, EmptyDocumentSavesOneEmptyLine) {
  page.calendar_on = true;
  editor.KalendarGrafSave("");
  EXPECT_EQ(dir.read("kalendgraf.ini"), "\r\n");
  EXPECT_TRUE(read_rtf(dir.read("kalendgraf.rtf")).empty());
}

TEST_F(CalendarSchedule, SaveIntoAMissingFolderThrowsAndCreatesNothing) {
  page.calendar_on = true;
  type("x");
  EXPECT_THROW(editor.KalendarGrafSave("absent\\"), data_file_error);
  EXPECT_FALSE(dir.exists("absent"));
}

TEST_F(CalendarSchedule, LoadReadsTheRtfFile) {
  dir.write("kalendgraf.rtf", R"({\rtf1\ansi\pard\qc\b\'cf\'eb\'e0\'ed\b0\par x\par})");
  type("old");
  editor.select(1, 1);
  editor.load(data.file("kalendgraf.rtf"));
  EXPECT_EQ(markup(), "<c><b>План</b><br>x</c>");
  EXPECT_EQ(editor.selection_start(), 0u);
  EXPECT_EQ(editor.selection_length(), 0u);
}

TEST_F(CalendarSchedule, LoadOfAMissingFileEmptiesTheDocument) {
  type("old");
  editor.load(data.file("kalendgraf.rtf"));
  EXPECT_TRUE(editor.document().empty());
}

TEST_F(CalendarSchedule, SettingsLoadFillsOrEmptiesTheEditorThroughItsHooks) {
  autostart_entry autostart{dir.path(), dir.path() / "velmira", dir.path() / "autostart", {}};
  server_page server;
  settings_file settings{data, page, server, autostart,
                         calendar_editor_hooks{[this](const fs::path& rtf) { editor.load(rtf); },
                                               [this] { editor.clear(); }}};
  std::vector<std::string> lines(settings_line_count);
  lines[27] = "1";
  dir.write("setting.ini", join_lines(lines));
  dir.write("kalendgraf.rtf", R"({\rtf1 \i x})");
  settings.SetLoad("");
  EXPECT_EQ(markup(), "<i>x</i>");

  lines[27] = "0";
  dir.write("setting.ini", join_lines(lines));
  settings.SetLoad("");
  EXPECT_TRUE(editor.document().empty());
}

TEST_F(CalendarSchedule, StyleButtonFollowsTheFirstSelectedCharacter) {
  type("abcd");
  editor.select(1, 1);
  editor.SpeedButton9Click();  // "b" bold
  editor.select(1, 3);
  editor.SpeedButton9Click();  // starts bold: the whole selection loses it
  EXPECT_EQ(markup(), "abcd");
  editor.select(0, 3);
  editor.SpeedButton9Click();  // starts plain: the whole selection gains it
  EXPECT_EQ(markup(), "<b>abc</b>d");
}

TEST_F(CalendarSchedule, StyleButtonsLeaveTheOtherStylesAlone) {
  type("abc");
  editor.select(0, 3);
  editor.SpeedButton11Click();
  editor.select(1, 2);
  editor.SpeedButton12Click();
  editor.SpeedButton9Click();
  EXPECT_EQ(markup(), "<i>a<u><b>bc</b></i></u>");
  editor.select(0, 3);
  editor.SpeedButton11Click();
  EXPECT_EQ(markup(), "a<u><b>bc</b></u>");
}

TEST_F(CalendarSchedule, StyleButtonWithoutSelectionStylesTheTextTypedNext) {
  type("a");
  editor.SpeedButton12Click();
  editor.replace_selection("bc");
  editor.SpeedButton12Click();
  editor.replace_selection("d");
  EXPECT_EQ(markup(), "a<u>bc</u>d");
}

TEST_F(CalendarSchedule, AlignmentButtonsAlignOnlyTheParagraphWhereTheSelectionStarts) {
  type("one\rtwo\rthree");
  editor.select(5, 6);  // from inside "two" into "three"
  editor.SpeedButton14Click();
  EXPECT_EQ(markup(), "one<br><c>two</c><br>three");
  EXPECT_EQ(editor.selection_start(), 4u);
  EXPECT_EQ(editor.selection_length(), 0u);
  editor.SpeedButton13Click();
  EXPECT_EQ(markup(), "one<br>two<br>three");
}

TEST_F(CalendarSchedule, TypedLineBreaksBecomeOneCarriageReturnEach) {
  type("a\r\nb\nc\rd\x01\te");
  EXPECT_EQ(text(), "a\rb\rc\rd\te");
}

TEST_F(CalendarSchedule, TextTypedIntoACentredParagraphIsCentred) {
  type("ab");
  editor.SpeedButton14Click();
  editor.select(1, 0);
  editor.replace_selection("x\ry");
  type("\rz");
  EXPECT_EQ(markup(), "<c>ax<br>yb<br>z</c>");
}

TEST_F(CalendarSchedule, CentringAnEmptyLastLineCentresWhatIsTypedThere) {
  type("a\r");
  editor.SpeedButton14Click();
  type("b");
  EXPECT_EQ(markup(), "a<br><c>b</c>");
}

TEST_F(CalendarSchedule, DeletingABreakJoinsTheAlignmentOfTheFollowingParagraph) {
  type("ab\rcd");
  editor.select(3, 0);
  editor.SpeedButton14Click();
  editor.select(1, 2);  // "b" and the break
  editor.replace_selection("");
  EXPECT_EQ(markup(), "<c>acd</c>");
  EXPECT_EQ(editor.selection_start(), 1u);
}

TEST_F(CalendarSchedule, SelectionIsClampedToTheDocument) {
  type("abc");
  editor.select(2, 100);
  EXPECT_EQ(editor.selection_start(), 2u);
  EXPECT_EQ(editor.selection_length(), 1u);
  editor.select(100, 5);
  EXPECT_EQ(editor.selection_start(), 3u);
  EXPECT_EQ(editor.selection_length(), 0u);
}

}  // namespace
}  // namespace velmira
