#include "content/calendar_document.hpp"

#include <array>
#include <string>

namespace velmira {

std::size_t paragraph_begin(const calendar_document& document, std::size_t at) {
  while (at > 0 && !document[at - 1].is_line_break()) --at;
  return at;
}

std::size_t paragraph_end(const calendar_document& document, std::size_t at) {
  while (at < document.size()) {
    if (document[at++].is_line_break()) break;
  }
  return at;
}

namespace {

struct markup_tag {
  const char* name;
  bool (*applies)(const styled_char&);
};

// Openings are put in front of what is already there, closings after it, so
// this order yields "<u><i><b>" before a character and "</b></i></u>" after.
const std::array<markup_tag, 4>& markup_tags() {
  static const std::array<markup_tag, 4> tags{{
      {"b", [](const styled_char& c) { return c.style.bold; }},
      {"i", [](const styled_char& c) { return c.style.italic; }},
      {"u", [](const styled_char& c) { return c.style.underline; }},
      {"c", [](const styled_char& c) { return c.centred(); }},
  }};
  return tags;
}

struct character_tags {
  std::string opening, closing;
};

character_tags tags_at(const calendar_document& document, std::size_t i) {
  character_tags result;
  const bool first = i == 0;
  const bool last = i + 1 == document.size();
  for (const auto& tag : markup_tags()) {
    if (!tag.applies(document[i])) continue;
    if (first || !tag.applies(document[i - 1])) {
      result.opening = "<" + std::string(tag.name) + ">" + result.opening;
    }
    if (last || !tag.applies(document[i + 1])) {
      result.closing += "</" + std::string(tag.name) + ">";
    }
  }
  return result;
}

}  // namespace

std::string PreobrRichEdit(const calendar_document& document) {
  std::string markup;
  for (std::size_t i = 0; i < document.size(); ++i) {
    auto tags = tags_at(document, i);
    markup += tags.opening;
    if (document[i].is_line_break()) {
      markup += tags.closing;
      // A leading empty line is not shown to clients.
      if (i > 0) markup += "<br>";
    } else {
      markup += document[i].ch;
      markup += tags.closing;
    }
  }
  return markup;
}

}  // namespace velmira
