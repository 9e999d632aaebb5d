// The forwarding word match on any subject and any word list: the text and
// the list are the input split at its first NUL byte.
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/cp932_upper.h"
#include "app/forward_rule.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::size_t split = input.find('\0');
  const std::string text = input.substr(0, split);
  const std::string list = split == std::string::npos ? std::string() : input.substr(split + 1);

  const std::string upper = tarnu::UpperCaseCp932(text);
  // Folding keeps every character's length and place, and does nothing twice.
  if (upper.size() != text.size()) __builtin_trap();
  if (tarnu::UpperCaseCp932(upper) != upper) __builtin_trap();
  if (tarnu::Cp932Boundaries(upper) != tarnu::Cp932Boundaries(text)) __builtin_trap();
  // Case never decides a match.
  const bool match = tarnu::MatchListItem(text, list);
  if (tarnu::MatchListItem(upper, tarnu::UpperCaseCp932(list)) != match) __builtin_trap();
  // A list of one plain item matches only where its bytes occur.
  if (!list.empty() && list.find_first_of(", \t\r\n\v\f") == std::string::npos && match &&
      upper.find(tarnu::UpperCaseCp932(list)) == std::string::npos) {
    __builtin_trap();
  }
  return 0;
}
