#pragma once
// "newsS", "zameS", "newsD", "zameD", "newsR", "zameR": adding, deleting and
// editing announcements (news\data.ini) and notes (zametki\data.ini). None
// of them replies; a client sees the result by fetching the file again.
//
// A record is one line of eight fields, each ended by VT: date, time, the
// author's login and password in the letter code, two author fields, the
// text and a colour. Readers take lines from the top up to the first empty
// one, so every rewrite drops whatever follows it.
//
// Runs on the operator's thread only, which serialises every rewrite.
// A data_file_error means the request failed part-way; the connection then
// ends.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/clock.hpp"
#include "core/data_directory.hpp"
#include "core/event_log.hpp"
#include "protocol/publication_summary.hpp"
#include "users/user_table.hpp"

namespace velmira {

struct news_content_kind;

class news_commands {
 public:
  // Gives the seed of the generator that picks a new record's colour; it is
  // asked once per add.
  using seed_source = std::function<std::uint32_t()>;
  // The clock's finest reading, so that adds within one second differ.
  static std::uint32_t clock_seed();

  enum class change_mode { remove = 0, edit = 1 };

  // Everything passed in must outlive this.
  news_commands(const data_directory& data, const user_table& users, publication_summary& summary, event_log& log,
                const clock_source& clock, seed_source seed = clock_seed)
      : data_(data), users_(users), summary_(summary), log_(log), clock_(clock), seed_(std::move(seed)) {}

  // login VT password VT image VT text VT
  void newsS(std::string_view rol, std::string_view arguments);
  // login VT password VT image VT date VT text VT
  void zameS(std::string_view rol, std::string_view arguments);
  // login VT password VT key: every record whose line begins with key goes.
  void newsD(std::string_view rol, std::string_view arguments);
  void zameD(std::string_view rol, std::string_view arguments);
  // login VT password VT entry key (five fields) new text VT: the text of
  // every record with that entry key is replaced.
  void newsR(std::string_view rol, std::string_view arguments);
  void zameR(std::string_view rol, std::string_view arguments);

  // Appends one record line (Windows-1251) to folder\data.ini.
  void DobObjav(std::string_view record_line, std::string_view folder) const;
  // Deletes by key, or edits by entry key, in folder\data.ini; `rest` is the
  // request after the password's VT. Nothing happens when the file is missing.
  void DelRedaktNews(change_mode mode, std::string_view folder, std::string_view rest) const;

 private:
  // Returns the author's full name when a record was added.
  std::optional<std::string> add(const news_content_kind& kind, std::string_view rol, std::string_view arguments,
                                 local_seconds now);
  void change(const news_content_kind& kind, change_mode mode, std::string_view rol, std::string_view arguments);
  std::string pick_colour() const;

  const data_directory& data_;
  const user_table& users_;
  publication_summary& summary_;
  event_log& log_;
  const clock_source& clock_;
  seed_source seed_;
};

}  // namespace velmira
