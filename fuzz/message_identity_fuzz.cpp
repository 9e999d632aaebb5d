// History keys made from any Message-ID and header bytes: always within a
// record's slot, the same for the same input, and a Message-ID kept as it
// stands only where it fits.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "net/message_identity.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  // The first two bytes give the Message-ID's length; the rest is split.
  std::size_t id_length = (static_cast<std::size_t>(data[0]) << 8 | data[1]) % (size - 1);
  std::string_view rest(reinterpret_cast<const char*>(data + 2), size - 2);
  std::string_view id = rest.substr(0, id_length);
  std::string_view header = rest.substr(id.size());
  const std::string key = tarnu::MessageHistoryKey(id, header, static_cast<std::int32_t>(size));
  if (key.size() > tarnu::kHistoryKeyLimit) __builtin_trap();
  if (key != tarnu::MessageHistoryKey(id, header, static_cast<std::int32_t>(size))) {
    __builtin_trap();
  }
  const bool kept = key == id;
  if (kept != (!id.empty() && id.size() <= tarnu::kHistoryKeyLimit &&
               id.find('\x01') == std::string_view::npos)) {
    __builtin_trap();
  }
  if (!kept && key.find('\x01') == std::string::npos) __builtin_trap();
  return 0;
}
