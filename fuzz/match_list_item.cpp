// The forwarding word match on any subject and any word list: the text and
// the list are the input split at its first NUL byte.
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/forward_rule.h"
#include "codec/cp932_text.h"
#include "codec/utf8_text.h"
#include "platform/text_convert.h"

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
  // Case never decides a match: the mail text is UTF-8, the list code page
  // 932, as tarnu.pref holds it.
  const std::string mail = tarnu::ValidUtf8(text);
  const bool match = tarnu::MatchListItem(mail, list);
  if (tarnu::MatchListItem(tarnu::UpperCaseUtf8(mail), list) != match) __builtin_trap();
  if (tarnu::MatchListItem(mail, tarnu::UpperCaseCp932(list)) != match) __builtin_trap();
  // A list of one plain item matches only where its characters occur.
  if (!list.empty() && list.find_first_of(", \t\r\n\v\f") == std::string::npos && match &&
      tarnu::UpperCaseUtf8(mail).find(tarnu::UpperCaseUtf8(tarnu::platform::Cp932ToUtf8(list))) ==
          std::string::npos) {
    __builtin_trap();
  }
  return 0;
}
