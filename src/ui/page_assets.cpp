#include "ui/page_assets.hpp"

namespace velmira {

std::optional<page_asset> find_page_asset(std::string_view path) {
  if (path == "/") path = "/index.html";
  for (const auto& asset : embedded_page_assets()) {
    if (asset.path == path) return asset;
  }
  return std::nullopt;
}

}  // namespace velmira
