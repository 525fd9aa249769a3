#pragma once
// A fresh directory for one test, removed with everything in it afterwards.
#include <filesystem>
#include <string>
#include <string_view>

namespace velmira::testing {

class temp_dir {
 public:
  temp_dir();
  ~temp_dir();
  temp_dir(const temp_dir&) = delete;
  temp_dir& operator=(const temp_dir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // Writes raw bytes, creating folders on the way.
  void write(const std::string& relative, std::string_view bytes) const;
  // Raw bytes of a file; throws when it is missing.
  std::string read(const std::string& relative) const;
  bool exists(const std::string& relative) const;

 private:
  std::filesystem::path path_;
};

}  // namespace velmira::testing
