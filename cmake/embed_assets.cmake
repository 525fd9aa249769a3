# Writes OUT, a C++ file holding every file under ROOT as bytes, with its
# path below ROOT and its content type, for page_assets.cpp to serve.
# Run as: cmake -DROOT=... -DOUT=... -P embed_assets.cmake
file(GLOB_RECURSE files RELATIVE ${ROOT} ${ROOT}/*)
list(SORT files)
set(arrays "")
set(entries "")
set(index 0)
foreach(name IN LISTS files)
  file(READ ${ROOT}/${name} hex HEX)
  string(LENGTH "${hex}" hex_length)
  math(EXPR size "${hex_length} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(APPEND arrays "const unsigned char asset_${index}[] = {${bytes}0};\n")
  if(name MATCHES "\\.html$")
    set(type "text/html; charset=utf-8")
  elseif(name MATCHES "\\.css$")
    set(type "text/css; charset=utf-8")
  elseif(name MATCHES "\\.js$")
    set(type "text/javascript; charset=utf-8")
  elseif(name MATCHES "\\.svg$")
    set(type "image/svg+xml")
  else()
    set(type "application/octet-stream")
  endif()
  string(APPEND entries "    {\"/${name}\", \"${type}\", {reinterpret_cast<const char*>(asset_${index}), ${size}}},\n")
  math(EXPR index "${index} + 1")
endforeach()
file(WRITE ${OUT}.tmp "// Generated from src/ui/assets by cmake/embed_assets.cmake; do not edit.
#include \"ui/page_assets.hpp\"

namespace velmira {
namespace {
${arrays}}  // namespace

const std::vector<page_asset>& embedded_page_assets() {
  static const std::vector<page_asset> assets{
${entries}  };
  return assets;
}

}  // namespace velmira
")
file(COPY_FILE ${OUT}.tmp ${OUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUT}.tmp)
