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

std::vector<calendar_paragraph> paragraphs_of(const calendar_document& document) {
  std::vector<calendar_paragraph> paragraphs(1);
  bool paragraph_started = false;
  for (const auto& c : document) {
    auto& paragraph = paragraphs.back();
    if (!paragraph_started) paragraph.alignment = c.alignment;
    paragraph_started = true;
    if (c.is_line_break()) {
      paragraphs.emplace_back();
      paragraph_started = false;
      continue;
    }
    if (paragraph.runs.empty() || paragraph.runs.back().style != c.style) paragraph.runs.push_back({{}, c.style});
    paragraph.runs.back().text += c.ch;
  }
  return paragraphs;
}

calendar_document document_of(const std::vector<calendar_paragraph>& paragraphs) {
  calendar_document document;
  auto add_break = [&document](paragraph_alignment alignment) {
    char_style style = document.empty() ? char_style{} : document.back().style;
    document.push_back({'\r', style, alignment});
  };
  for (std::size_t p = 0; p < paragraphs.size(); ++p) {
    const auto alignment = paragraphs[p].alignment;
    if (p > 0) add_break(paragraphs[p - 1].alignment);
    for (const auto& run : paragraphs[p].runs) {
      for (std::size_t i = 0; i < run.text.size(); ++i) {
        const char c = run.text[i];
        if (c == '\r' && i + 1 < run.text.size() && run.text[i + 1] == '\n') continue;
        if (c == '\r' || c == '\n') {
          document.push_back({'\r', run.style, alignment});
        } else if (static_cast<unsigned char>(c) >= 0x20 || c == '\t') {
          document.push_back({c, run.style, alignment});
        }
      }
    }
  }
  return document;
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
