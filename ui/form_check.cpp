#include "ui/form_check.h"

#include <limits>

namespace tarnu {
namespace {

// Fills "%1", "%2" of a message template.
std::string Fill(std::string_view pattern, const std::string& first, const std::string& second) {
  std::string out;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '%' && i + 1 < pattern.size() &&
        (pattern[i + 1] == '1' || pattern[i + 1] == '2')) {
      out += pattern[i + 1] == '1' ? first : second;
      ++i;
    } else {
      out += pattern[i];
    }
  }
  return out;
}

}  // namespace

std::string IntegerMessage() { return "整数を入力してください。"; }

std::string RangeMessage(std::int64_t low, std::int64_t high) {
  return Fill("%1 から %2 までの整数を入力してください。", std::to_string(low),
              std::to_string(high));
}

std::string LengthMessage(std::size_t limit) {
  return Fill("%1 文字以内で入力してください。", std::to_string(limit), "");
}

bool CheckInteger(std::string_view text, std::int32_t low, std::int32_t high, int control_id,
                  std::int32_t* value, FormCheck* failure) {
  std::int64_t parsed = 0;
  if (!ParseInteger(text, &parsed)) {
    *failure = FormCheck::Failed(IntegerMessage(), control_id);
    return false;
  }
  if (parsed < low || parsed > high) {
    *failure = FormCheck::Failed(RangeMessage(low, high), control_id);
    return false;
  }
  *value = static_cast<std::int32_t>(parsed);
  return true;
}

bool CheckLength(std::string_view text, std::size_t limit, int control_id, FormCheck* failure) {
  if (text.size() <= limit) return true;
  *failure = FormCheck::Failed(LengthMessage(limit), control_id);
  return false;
}

bool IsBlank(std::string_view text) {
  for (char c : text) {
    if (c != ' ' && c != '\t' && c != '\r' && c != '\n' && c != '\v' && c != '\f') return false;
  }
  return true;
}

}  // namespace tarnu
