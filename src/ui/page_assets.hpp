#pragma once
// The console's page: its HTML, stylesheets and script, built into the
// binary so that nothing is fetched from elsewhere at run time.
#include <optional>
#include <string_view>
#include <vector>

namespace velmira {

struct page_asset {
  std::string_view path;  // "/index.html", "/console.js", ...
  std::string_view content_type;
  std::string_view bytes;
};

// Every embedded file; generated at build time.
const std::vector<page_asset>& embedded_page_assets();

// The asset a request path names; "/" is the page itself.
std::optional<page_asset> find_page_asset(std::string_view path);

}  // namespace velmira
