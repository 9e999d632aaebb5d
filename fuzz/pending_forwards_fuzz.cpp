// The pending-forward file's reader on any bytes: what it takes must write
// back and read again the same, and the text written is one line per entry.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "model/pending_forwards.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  tarnu::PendingForwards pending;
  if (!tarnu::ParsePendingForwards(text, &pending)) {
    if (!pending.empty()) __builtin_trap();
    return 0;
  }
  const std::string written = tarnu::FormatPendingForwards(pending);
  std::size_t lines = 0;
  for (char c : written) lines += c == '\n';
  if (lines != pending.size() + 1) __builtin_trap();
  tarnu::PendingForwards again;
  if (!tarnu::ParsePendingForwards(written, &again) || again.size() != pending.size()) {
    __builtin_trap();
  }
  for (std::size_t i = 0; i < pending.size(); ++i) {
    const tarnu::PendingForward& a = pending[i];
    const tarnu::PendingForward& b = again[i];
    if (a.server != b.server || a.port != b.port || a.user != b.user || a.key != b.key ||
        a.sent != b.sent || a.first_failure != b.first_failure || a.tries != b.tries) {
      __builtin_trap();
    }
  }
  return 0;
}
