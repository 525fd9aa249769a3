#pragma once
// What an operation of the operator's window shows: its information boxes
// and, when it stops to ask, its Yes/No question. An operation that asks
// changes nothing yet; the caller repeats it with the operator's answer.
// Texts are UTF-8, as the window shows them.
#include <optional>
#include <string>
#include <vector>

namespace velmira {

enum class operator_answer { none, yes, no };

// Every question box of the window carries this caption.
inline constexpr const char* question_caption = "Внимание!";

struct operator_outcome {
  std::vector<std::string> messages;
  std::optional<std::string> question;

  static operator_outcome asking(std::string text) { return {{}, std::move(text)}; }
  static operator_outcome showing(std::string message) { return {{std::move(message)}, std::nullopt}; }
};

}  // namespace velmira
