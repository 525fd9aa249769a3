#pragma once
// .tar.gz archives in tests, through the library the server uses: archives
// made entry by entry (hostile ones included), and what an archive holds.
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace velmira::testing {

struct tar_entry {
  enum kind { file, folder, symlink, hardlink, char_device, fifo };
  std::string name;
  kind type = file;
  std::string bytes = {};   // of a file
  std::string target = {};  // of a link
  unsigned mode = 0644;
};

std::string make_tar_gz(const std::vector<tar_entry>& entries);

// `entries`, then a file whose header claims `claimed_size` bytes and after
// which the archive ends, as a download cut off midway does.
std::string make_cut_off_tar_gz(const std::vector<tar_entry>& entries, const std::string& name,
                                std::int64_t claimed_size);

// Every entry by name: a file's bytes, "<folder>" for a folder, "<other>"
// for anything else. Throws when the bytes are no readable .tar.gz.
std::map<std::string, std::string> tar_gz_contents(std::string_view archive);

}  // namespace velmira::testing
