#include "model/record_fields.h"

#include <gtest/gtest.h>

#include "codec/cp932_text.h"

#include <string>
#include <vector>

#include "tests/support/recording_hooks.h"

namespace tarnu {
namespace {

using testing::Hex;

TEST(RecordFields, IntegersAreLittleEndianTwosComplement) {
  struct Case {
    std::int32_t value;
    const char* bytes;
  };
  for (Case c :
       {Case{0, "\x00\x00\x00\x00"}, Case{256, "\x00\x01\x00\x00"}, Case{-1, "\xFF\xFF\xFF\xFF"},
        Case{0x12345678, "\x78\x56\x34\x12"}, Case{-2147483647 - 1, "\x00\x00\x00\x80"}}) {
    unsigned char buffer[4];
    PutInt32(buffer, c.value);
    EXPECT_EQ(Hex(std::string(c.bytes, 4)), Hex(std::string(buffer, buffer + 4)));
    EXPECT_EQ(c.value, GetInt32(reinterpret_cast<const unsigned char*>(c.bytes)));
  }
}

TEST(RecordFields, SlotCapacities) {
  EXPECT_EQ(36u, SlotCapacity(52));
  EXPECT_EQ(72u, SlotCapacity(100));
  EXPECT_EQ(72u, SlotCapacity(102));
  EXPECT_EQ(756u, SlotCapacity(1024));
  EXPECT_EQ(0u, SlotCapacity(1));
}

// Every value length up to one past the capacity, in a buffer with guard
// bytes on both sides: values that fit are stored and read back, longer ones
// leave an all-zero slot, and the guards never change.
TEST(RecordFields, TextSlotsNeverReachPastTheirEnd) {
  for (std::size_t slot :
       {std::size_t{52}, std::size_t{100}, std::size_t{102}, std::size_t{1024}}) {
    std::size_t capacity = SlotCapacity(slot);
    for (std::size_t length = 0; length <= capacity + 4; ++length) {
      SCOPED_TRACE(::testing::Message() << "slot " << slot << " length " << length);
      std::vector<unsigned char> buffer(slot + 32, 0xEE);
      unsigned char* at = buffer.data() + 16;
      std::string value(length, '\0');
      for (std::size_t i = 0; i < length; ++i) value[i] = static_cast<char>(i * 7 + 1);
      bool stored = PutTextSlot(at, slot, value);
      EXPECT_EQ(length <= capacity, stored);
      for (std::size_t i = 0; i < 16; ++i) {
        ASSERT_EQ(0xEE, buffer[i]);
        ASSERT_EQ(0xEE, buffer[16 + slot + i]);
      }
      if (stored) {
        EXPECT_EQ(value, GetTextSlot(at, slot));
        // The last byte of a slot is always zero: the NUL or padding.
        EXPECT_EQ(0, at[slot - 1]);
      } else {
        EXPECT_EQ(std::vector<unsigned char>(slot, 0), std::vector<unsigned char>(at, at + slot));
      }
    }
  }
}

TEST(RecordFields, SlotTextIsBase64WithLineFeeds) {
  unsigned char slot[16];
  ASSERT_TRUE(PutTextSlot(slot, sizeof slot, "abc"));
  EXPECT_EQ(Hex(std::string("YWJj\n\0\0\0\0\0\0\0\0\0\0\0", 16)),
            Hex(std::string(slot, slot + 16)));
  ASSERT_TRUE(PutTextSlot(slot, sizeof slot, ""));
  EXPECT_EQ(Hex(std::string(16, '\0')), Hex(std::string(slot, slot + 16)));
}

TEST(RecordFields, SlotWithoutNulIsReadToItsEndOnly) {
  // Exactly the slot, on the heap, so that a read past it is caught.
  std::vector<unsigned char> slot(8, 'Q');
  EXPECT_EQ(Hex(std::string("\x41\x04\x10\x41\x04\x10", 6)), Hex(GetTextSlot(slot.data(), 8)));
  slot[4] = 0;
  EXPECT_EQ(Hex(std::string("\x41\x04\x10", 3)), Hex(GetTextSlot(slot.data(), 8)));
}

TEST(RecordFields, Cp932PrefixKeepsDoubleByteCharactersWhole) {
  struct Case {
    std::string text;
    std::size_t limit;
    std::string want;
  };
  const std::string a = "\x82\xA0";  // あ
  for (const Case& c : std::vector<Case>{{"abc", 5, "abc"},
                                         {"abcdef", 3, "abc"},
                                         {a + a, 3, a},
                                         {"x" + a + a, 4, "x" + a},
                                         {"x" + a + a, 5, "x" + a + a},
                                         {a + "\xB1", 3, a + "\xB1"},  // half-width kana: one byte
                                         {"\xE0\x40z", 1, ""},
                                         {"", 0, ""}}) {
    EXPECT_EQ(Hex(c.want), Hex(std::string(Cp932Prefix(c.text, c.limit))));
  }
}

}  // namespace
}  // namespace tarnu
