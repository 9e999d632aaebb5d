#include "codec/integer_text.h"

#include <climits>
#include <limits>

namespace tarnu {
namespace {

bool IsWhite(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

bool ScanInteger(std::string_view text, std::size_t* pos, std::int64_t* value) {
  std::size_t i = *pos;
  while (i < text.size() && IsWhite(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i >= text.size() || !IsDigit(text[i])) return false;
  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  std::int64_t magnitude = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    const int digit = text[i] - '0';
    magnitude = magnitude > (kMax - digit) / 10 ? kMax : magnitude * 10 + digit;
  }
  *value = negative ? -magnitude : magnitude;
  *pos = i;
  return true;
}

bool ScanInt(std::string_view text, std::size_t* pos, int* value) {
  std::int64_t wide = 0;
  if (!ScanInteger(text, pos, &wide)) return false;
  *value = wide > INT_MAX ? INT_MAX : wide < INT_MIN ? INT_MIN : static_cast<int>(wide);
  return true;
}

bool ParseInteger(std::string_view text, std::int64_t* value) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  if (text.empty() || IsWhite(text.front())) return false;
  std::size_t pos = 0;
  std::int64_t parsed = 0;
  if (!ScanInteger(text, &pos, &parsed) || pos != text.size()) return false;
  *value = parsed;
  return true;
}

}  // namespace tarnu
