#include "support/temp_dir.hpp"

#include <stdlib.h>

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace velmira::testing {

temp_dir::temp_dir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "velmira-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

temp_dir::~temp_dir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

void temp_dir::write(const std::string& relative, std::string_view bytes) const {
  auto file = path_ / relative;
  std::filesystem::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + file.string());
}

std::string temp_dir::read(const std::string& relative) const {
  std::ifstream in(path_ / relative, std::ios::binary);
  if (!in) throw std::runtime_error("missing " + (path_ / relative).string());
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool temp_dir::exists(const std::string& relative) const {
  return std::filesystem::exists(path_ / relative);
}

}  // namespace velmira::testing
