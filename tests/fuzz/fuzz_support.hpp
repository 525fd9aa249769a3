#pragma once
// What the fuzz targets share: the accounts and settings their corpora are
// written against, a data directory seeded as a started server leaves it,
// and the checks that turn a broken invariant into a crash libFuzzer keeps.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "core/data_directory.hpp"

namespace velmira::fuzz {

// The credentials inside the seeded files; the corpora use the same ones.
inline constexpr std::string_view http_login = "velmira";
inline constexpr std::string_view http_password = "change-me";
inline constexpr std::string_view admin_login = "admin";
inline constexpr std::string_view admin_password = "adm1n";

// Markers no served reply may carry unless it is allowed to: one in
// setting.ini (its client-version line), one in users.ini (a full name).
inline constexpr std::string_view settings_marker = "settings-file-marker";
inline constexpr std::string_view users_marker = "users-file-marker";

// The 33 lines of setting.ini, Windows-1251: every log switch on, remote
// administration allowed, the calendar on, local mode.
std::string seeded_settings_ini();

// users.ini, Windows-1251: an active dispatcher (disp/d1), canteen (stol/s1),
// teacher (teacher/t1), pupil of 5А (pupil/p1) and a blocked teacher
// (blocked/b1).
std::string seeded_users_ini();

// Writes a data file given, path and content alike, as UTF-8 text.
void write_text(const data_directory& data, std::string_view relative_utf8, std::string_view text_utf8);

// The folders, placeholders, setting.ini and users.ini of a started server,
// with a bell list of one schema, a classrooms list and a calendar.
void seed_data_directory(const data_directory& data);

// True when the files below `root` hold more than `max_bytes` in all or
// there are more than `max_entries` files and folders.
bool grown_past(const std::filesystem::path& root, std::uintmax_t max_bytes, std::size_t max_entries);

// The input as text.
inline std::string_view as_text(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// Reports a broken invariant and aborts, so libFuzzer saves the input.
[[noreturn]] void invariant_broken(const char* what);
inline void require(bool holds, const char* what) {
  if (!holds) invariant_broken(what);
}

}  // namespace velmira::fuzz
