#pragma once
// The nine last-publication values that clients poll, as raspisanie\info.ini,
// to learn that a timetable, a menu or an announcement is new.
//
// Values are Windows-1251. Changed and saved on the operator's thread only;
// the object must outlive every command family that holds it.
#include <array>
#include <string>
#include <string_view>

#include "core/clock.hpp"
#include "core/data_directory.hpp"

namespace velmira {

class publication_summary {
 public:
  // inf_rasp_dat … inf_soob_soob, in the order info.ini holds them.
  using values_type = std::array<std::string, 9>;

  // `data` must outlive this. All values start empty.
  explicit publication_summary(const data_directory& data) : data_(data) {}

  // The timetable values (1-3) and the menu values (4-6), for a publication
  // of `dat` at `at`; nothing is written until SaveInfo.
  void timetable_published(local_seconds at, std::string_view dat);
  void menu_published(local_seconds at, std::string_view dat);
  // The announcement values (7-9).
  void announcement_added(local_seconds at, std::string_view author_full_name);

  // Every start of the listeners forgets the timetable and menu values but
  // keeps the announcement's; the file follows at the next SaveInfo.
  void clear_timetable_and_menu();

  // Rewrites raspisanie\info.ini: one line, every value followed by "$".
  // Throws data_file_error.
  void SaveInfo() const;

  const values_type& values() const { return values_; }

 private:
  void set_group(size_t first, local_seconds at, std::string message);

  const data_directory& data_;
  values_type values_;
};

}  // namespace velmira
