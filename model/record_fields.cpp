#include "model/record_fields.h"

#include <cstring>
#include <new>

#include "codec/base64.h"

namespace tarnu {
namespace {

// Characters the encoder produces for `n` bytes, line feeds included.
std::size_t EncodedSize(std::size_t n) {
  std::size_t chars = (n + 2) / 3 * 4;
  return chars + (chars + 71) / 72;
}

}  // namespace

void PutInt32(unsigned char* at, std::int32_t value) {
  auto v = static_cast<std::uint32_t>(value);
  at[0] = static_cast<unsigned char>(v);
  at[1] = static_cast<unsigned char>(v >> 8);
  at[2] = static_cast<unsigned char>(v >> 16);
  at[3] = static_cast<unsigned char>(v >> 24);
}

std::int32_t GetInt32(const unsigned char* at) {
  std::uint32_t v = static_cast<std::uint32_t>(at[0]) | static_cast<std::uint32_t>(at[1]) << 8 |
                    static_cast<std::uint32_t>(at[2]) << 16 |
                    static_cast<std::uint32_t>(at[3]) << 24;
  return static_cast<std::int32_t>(v);
}

std::size_t SlotCapacity(std::size_t slot_size) {
  if (slot_size == 0) return 0;
  std::size_t n = slot_size;  // the encoding is never shorter than the value
  while (n > 0 && EncodedSize(n) + 1 > slot_size) --n;
  return n;
}

bool PutTextSlot(unsigned char* slot, std::size_t slot_size, std::string_view value) {
  std::memset(slot, 0, slot_size);
  if (value.size() > SlotCapacity(slot_size)) return false;
  std::string encoded;
  try {
    encoded.reserve(EncodedSize(value.size()));
    if (EncodeBase64(value, &encoded) != 0) return false;
  } catch (const std::bad_alloc&) {
    return false;
  }
  if (encoded.size() + 1 > slot_size) return false;  // the encoder disagrees; keep the slot
  std::memcpy(slot, encoded.data(), encoded.size());
  return true;
}

std::string GetTextSlot(const unsigned char* slot, std::size_t slot_size) {
  const void* nul = std::memchr(slot, 0, slot_size);
  std::size_t length = nul != nullptr
                           ? static_cast<std::size_t>(static_cast<const unsigned char*>(nul) - slot)
                           : slot_size;
  std::string value;
  if (length == 0) return value;
  std::size_t decoded =
      DecodeBase64(std::string_view(reinterpret_cast<const char*>(slot), length), &value);
  if (decoded < value.size()) value.resize(decoded);
  return value;
}

}  // namespace tarnu
