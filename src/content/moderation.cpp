#include "content/moderation.hpp"

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

#include "content/letter_code.hpp"
#include "core/data_file.hpp"
#include "core/fields.hpp"
#include "core/separators.hpp"

namespace velmira {

namespace {

constexpr const char* delete_all_question = "Вы действительно хотите удалить ВСЕ сообщения?";

// The records of a file as the list reads them: up to the first empty line.
std::vector<std::string> record_lines(const std::filesystem::path& file) {
  auto lines = read_lines(file);
  if (!lines) return {};
  return lines_up_to_empty(std::move(*lines));
}

}  // namespace

moderation_row parse_moderation_row(std::string_view line) {
  std::string_view rest = line;
  auto next = [&rest] { return std::string(cut_field(rest, simv)); };
  moderation_row row;
  row.date = next();
  row.time = next();
  row.login = HexToStr(next());
  row.password = HexToStr(next());
  row.author_first = next();
  row.author_second = next();
  row.text = next();
  row.colour = next();
  row.line = line;
  return row;
}

const char* moderation_window::title() const {
  return kind_ == moderation_kind::notes ? "Удаление заметок" : "Удаление объявлений";
}

std::string moderation_window::file_of(bool remote_mode) const {
  if (kind_ == moderation_kind::notes) return remote_mode ? "remote\\zametki.ini" : "zametki\\data.ini";
  return remote_mode ? "remote\\news.ini" : "news\\data.ini";
}

void moderation_window::open(bool remote_mode) { UpravenZametObjav(file_of(remote_mode)); }

void moderation_window::UpravenZametObjav(std::string_view fil) {
  file_ = fil;
  rows_.clear();
  for (const auto& line : record_lines(data_.file(file_))) rows_.push_back(parse_moderation_row(line));
}

bool moderation_window::SpeedButton1Click(const std::vector<std::size_t>& checked) {
  const bool any = std::any_of(checked.begin(), checked.end(), [this](auto i) { return i < rows_.size(); });
  if (!any) return false;
  DelZametObjav(checked);
  return true;
}

moderation_window::delete_all_result moderation_window::SpeedButton2Click(operator_answer answer) {
  if (rows_.empty()) return {};
  if (answer == operator_answer::none) return {operator_outcome::asking(delete_all_question), false};
  if (answer == operator_answer::no) return {};
  std::vector<std::size_t> every(rows_.size());
  for (std::size_t i = 0; i < every.size(); ++i) every[i] = i;
  DelZametObjav(every);
  return {{}, true};
}

void moderation_window::DelZametObjav(const std::vector<std::size_t>& checked) {
  // Two equal records both checked are both removed; one of them checked
  // removes one.
  std::map<std::string, std::size_t> to_remove;
  for (auto i : std::set<std::size_t>(checked.begin(), checked.end())) {
    if (i < rows_.size()) ++to_remove[rows_[i].line];
  }
  const auto path = data_.file(file_);
  std::vector<std::string> kept;
  for (auto& line : record_lines(path)) {
    if (auto found = to_remove.find(line); found != to_remove.end() && found->second > 0) {
      --found->second;
      continue;
    }
    kept.push_back(std::move(line));
  }
  if (kept.empty()) {
    std::error_code ec;
    std::filesystem::remove(path, ec);
    if (ec) throw data_file_error(ec, path, "remove");
  } else {
    write_lines(path, kept);
  }
  UpravenZametObjav(file_);
}

}  // namespace velmira
