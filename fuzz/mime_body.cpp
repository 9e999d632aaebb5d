// The MIME walk to a message's text, on any header and body.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "codec/mime_body.h"
#include "codec/utf8_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const int lines = data[0] % 8;
  std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  // The header block is everything up to the first empty line.
  const std::size_t split = rest.find("\n\n");
  std::string_view header = rest.substr(0, split);
  std::string_view body = split == std::string_view::npos ? "" : rest.substr(split + 2);
  const std::string text = tarnu::MessageBodyText(header, body);
  if (!tarnu::IsUtf8(text)) __builtin_trap();
  bool complete = false;
  const std::string excerpt = tarnu::MessageBodyExcerpt(header, body, lines, &complete);
  // The excerpt is the first lines of the text, no more than asked.
  if (text.compare(0, excerpt.size(), excerpt) != 0) __builtin_trap();
  std::size_t count = 0;
  for (std::size_t p = excerpt.find("\r\n"); p != std::string::npos;
       p = excerpt.find("\r\n", p + 2))
    ++count;
  if (count > static_cast<std::size_t>(lines)) __builtin_trap();
  tarnu::BodyNeedsDecoding(header);
  return 0;
}
