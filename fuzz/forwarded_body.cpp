// The DATA text of a notification mail built from any body: it can never
// hold a lone CR or LF, the end-of-data line, or an unstuffed dot line.
#include <cstddef>
#include <cstdint>
#include <string>

#include "net/smtp_forward.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string body(reinterpret_cast<const char*>(data), size);
  const std::string out = tarnu::FormatForwardedBody(body);
  for (std::size_t i = 0; i < out.size(); ++i) {
    if (out[i] == '\r' && (i + 1 == out.size() || out[i + 1] != '\n')) __builtin_trap();
    if (out[i] == '\n' && (i == 0 || out[i - 1] != '\r')) __builtin_trap();
    // A line that starts with a dot starts with two: the server takes one.
    const bool line_start = i == 0 || out[i - 1] == '\n';
    if (line_start && out[i] == '.' && (i + 1 == out.size() || out[i + 1] != '.')) {
      __builtin_trap();
    }
  }
  if (out.find("\r\n.\r\n") != std::string::npos) __builtin_trap();
  return 0;
}
