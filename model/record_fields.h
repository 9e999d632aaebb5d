// Fields of tarnu's fixed-size file records: 32-bit little-endian integers
// on every processor, and text slots holding a value's base64 form (a LF
// after every 72 characters and after the last line), a NUL and zeros.
#ifndef TARNU_MODEL_RECORD_FIELDS_H_
#define TARNU_MODEL_RECORD_FIELDS_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tarnu {

void PutInt32(unsigned char* at, std::int32_t value);
std::int32_t GetInt32(const unsigned char* at);

// A stored boolean is on only when it is exactly 1.
inline bool GetBool(const unsigned char* at) { return GetInt32(at) == 1; }
inline void PutBool(unsigned char* at, bool value) { PutInt32(at, value ? 1 : 0); }

// The longest value, in bytes, whose encoding and NUL fit a slot of
// `slot_size` bytes: 36 for 52 bytes, 72 for 100 and 102, 756 for 1024.
std::size_t SlotCapacity(std::size_t slot_size);

// Fills slot[0, slot_size) with the encoded value, its NUL and zeros. When
// the value is longer than the slot's capacity (or memory ran out) the slot
// is left all zero and false is returned; nothing beyond the slot is touched.
bool PutTextSlot(unsigned char* slot, std::size_t slot_size, std::string_view value);

// Decodes the slot's text up to its NUL. A slot without a NUL (only a damaged
// file has one) is read to its end and no further.
std::string GetTextSlot(const unsigned char* slot, std::size_t slot_size);

}  // namespace tarnu

#endif  // TARNU_MODEL_RECORD_FIELDS_H_
