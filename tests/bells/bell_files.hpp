#pragma once
// Helpers the bell tests share to write and inspect bell files.
#include <algorithm>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "core/data_file.hpp"

namespace velmira::testing {

inline std::string repeat(std::string_view piece, int times) {
  std::string text;
  for (int i = 0; i < times; ++i) text += piece;
  return text;
}

// A list file with the header A1, A2, "---", B1, B2, "---" and `names`.
inline std::string list_file(const std::vector<std::string>& names) {
  std::vector<std::string> lines = {"A1", "A2", "---", "B1", "B2", "---"};
  lines.insert(lines.end(), names.begin(), names.end());
  return join_lines(lines);
}

// The names of the entries of `folder`, sorted.
inline std::vector<std::string> folder_entries(const std::filesystem::path& folder) {
  std::vector<std::string> entries;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) entries.push_back(entry.path().filename());
  std::sort(entries.begin(), entries.end());
  return entries;
}

}  // namespace velmira::testing
