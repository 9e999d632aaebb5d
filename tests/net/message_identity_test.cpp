#include "net/message_identity.h"

#include <gtest/gtest.h>

#include "tests/support/command_oracle.h"
#include "tests/support/recording_hooks.h"

namespace tarnu {
namespace {

using testing::Hex;

std::string PythonMd5(const std::string& bytes) {
  std::string hex;
  EXPECT_TRUE(
      testing::PipeThrough("/usr/bin/python3 -c 'import sys,hashlib; "
                           "sys.stdout.write(hashlib.md5(sys.stdin.buffer.read()).hexdigest())'",
                           bytes, &hex));
  return hex;
}

TEST(MessageHistoryKey, MessageIdsThatFitAreTheirOwnKey) {
  for (const std::string& id : {std::string("<a@b>"), std::string(756, 'x'),
                                std::string("<\x82\xA0@jp>"), std::string("x\x02y")}) {
    EXPECT_EQ(Hex(MessageHistoryKey(id, "Subject: s\r", 5)), Hex(id));
  }
}

// An ID too long for a record, or one holding the mark that made keys
// carry, becomes its first 700 bytes, the mark and its whole MD5.
TEST(MessageHistoryKey, OtherMessageIdsGetAKeyThatFitsAndTellsThemApart) {
  const std::string long_a = std::string(700, 'p') + std::string(57, 'a');
  const std::string long_b = std::string(700, 'p') + std::string(5000, 'b');
  const std::string marked = std::string("<\x01@x>");
  for (const std::string& id : {long_a, long_b, marked}) {
    const std::string key = MessageHistoryKey(id, "", 0);
    EXPECT_EQ(Hex(key), Hex(id.substr(0, 700) + "\x01" + PythonMd5(id)));
    EXPECT_LE(key.size(), kHistoryKeyLimit);
  }
}

TEST(MessageHistoryKey, MessagesWithoutAnIdAreToldApartByDateFromSubjectAndSize) {
  const std::string base =
      "Date: Mon, 1 Jan 2024 09:00:00 +0900\r\nFrom: a@x\r\nSubject: hello\r\nTo: me\r";
  const std::string key = MessageHistoryKey("", base, 100);
  EXPECT_EQ(key.substr(0, 6), "\x01noid:");
  EXPECT_EQ(key, MessageHistoryKey("", base, 100));
  // A different To line is the same message.
  EXPECT_EQ(key, MessageHistoryKey("", base.substr(0, base.size() - 7) + "To: you\r", 100));
  struct Case {
    const char* what;
    std::string header;
    int size;
  } differ[] = {
      {"date", "Date: Mon, 1 Jan 2024 09:00:01 +0900\r\nFrom: a@x\r\nSubject: hello\r", 100},
      {"from", "Date: Mon, 1 Jan 2024 09:00:00 +0900\r\nFrom: b@x\r\nSubject: hello\r", 100},
      {"subject", "Date: Mon, 1 Jan 2024 09:00:00 +0900\r\nFrom: a@x\r\nSubject: hellO\r", 100},
      {"size", base, 101},
      // The same bytes split differently between the fields.
      {"boundary", "Date: Mon, 1 Jan 2024 09:00:00 +0900\r\nFrom: a@xh\r\nSubject: ello\r", 100},
  };
  for (const Case& c : differ) {
    EXPECT_NE(key, MessageHistoryKey("", c.header, c.size)) << c.what;
  }
}

TEST(KeyCounter, MadeKeysThatRepeatGetANumberMessageIdsDoNot) {
  KeyCounter keys;
  const std::string made = MessageHistoryKey("", "Subject: same\r", 10);
  EXPECT_EQ(keys.Unique(made), made);
  EXPECT_EQ(keys.Unique("<a@b>"), "<a@b>");
  EXPECT_EQ(keys.Unique(made), made + "#2");
  EXPECT_EQ(keys.Unique("<a@b>"), "<a@b>");
  EXPECT_EQ(keys.Unique(made), made + "#3");
}

}  // namespace
}  // namespace tarnu
