// Taking one field's value out of a decoded header block.
#include <cstddef>
#include <string>
#include <string_view>

#include "net/survey.h"

namespace tarnu {
namespace {

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool NameAt(std::string_view block, std::size_t p, std::string_view name) {
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (Upper(block[p + i]) != Upper(name[i])) return false;
  }
  return true;
}

}  // namespace

int FindHeaderValue(std::string_view name, std::string_view block, std::string* value,
                    std::size_t capacity) {
  value->clear();
  const std::size_t length = block.size();
  const std::size_t k = name.size();
  if (length <= k) return -1;
  const std::size_t limit = capacity >= 2 ? capacity - 2 : 0;
  for (std::size_t p = 0; p < length - k; ++p) {
    // Only where a header line starts: "to:" must not match the end of
    // Delivered-To or Reply-To, nor "from:" inside another field's value.
    if (p != 0 && block[p - 1] != '\n') continue;
    if (!NameAt(block, p, name)) continue;

    // The value runs over folded lines up to the line end before the next
    // line holding a colon, or to the end of the block.
    const std::size_t start = p + k;
    std::size_t last_cr = std::string_view::npos;
    for (std::size_t i = start; i < length; ++i) {
      if (i - start >= limit) {
        value->assign(block.substr(start, limit));
        return 0;
      }
      if (block[i] == '\r') {
        last_cr = i;
      } else if (block[i] == ':' && last_cr != std::string_view::npos) {
        value->assign(block.substr(start, last_cr - start));
        return 0;
      }
    }
    // The last field of the block: everything to its end but the CR that
    // ends the block.
    std::size_t end = length;
    if (end > start && block[end - 1] == '\r') --end;
    std::size_t n = end - start;
    value->assign(block.substr(start, n < limit ? n : limit));
    return 0;
  }
  return -1;
}

}  // namespace tarnu
