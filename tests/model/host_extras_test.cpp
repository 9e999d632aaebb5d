#include "model/host_extras.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/model/file_test_util.h"

namespace tarnu {
namespace {

using testing::Image;

const unsigned char* Bytes(const Image& image) {
  return reinterpret_cast<const unsigned char*>(image.bytes.data());
}

std::string Put(const HostExtras& extras, bool* ok = nullptr) {
  std::string area(kHostExtrasSize, '\x55');
  bool put = PutHostExtras(extras, reinterpret_cast<unsigned char*>(area.data()));
  if (ok != nullptr) *ok = put;
  return area;
}

TEST(HostExtras, DefaultsAreAllZeroBothWays) {
  EXPECT_EQ(std::string(kHostExtrasSize, '\0'), Put(HostExtras()));
  Image zeros(kHostExtrasSize);
  HostExtras read = GetHostExtras(Bytes(zeros));
  EXPECT_EQ(ConnectionSecurity::kNone, read.pop3_security);
  EXPECT_EQ(ConnectionSecurity::kNone, read.smtp_security);
  EXPECT_EQ(0, read.options);
  EXPECT_TRUE(read.smtp_user.empty());
  EXPECT_TRUE(read.pop3_fingerprint.empty());
  EXPECT_EQ(zeros.bytes, Put(read));
}

TEST(HostExtras, FieldsStandAtTheirOffsets) {
  HostExtras e;
  e.pop3_security = ConnectionSecurity::kTls;
  e.smtp_security = ConnectionSecurity::kStartTls;
  e.SetOption(kExtraNoUidl, true);
  e.smtp_user = "abc";
  e.smtp_password = "pw";
  e.pop3_fingerprint = std::string(kFingerprintSize, '\x01');
  e.smtp_fingerprint = std::string(kFingerprintSize, '\xFE');

  Image want(kHostExtrasSize);
  want.Put(0, "TNX1");
  want.I32(4, 1);
  want.I32(8, 1);
  want.I32(12, 2);
  want.I32(16, 4);
  want.Put(20, "YWJj\n");
  want.Put(122, "cHc=\n");
  want.Put(224, std::string(kFingerprintSize, '\x01'));
  want.Put(256, std::string(kFingerprintSize, '\xFE'));
  bool ok = false;
  EXPECT_EQ(want.bytes, Put(e, &ok));
  EXPECT_TRUE(ok);

  HostExtras back = GetHostExtras(Bytes(want));
  EXPECT_EQ(e.pop3_security, back.pop3_security);
  EXPECT_EQ(e.smtp_security, back.smtp_security);
  EXPECT_EQ(e.options, back.options);
  EXPECT_EQ(e.smtp_user, back.smtp_user);
  EXPECT_EQ(e.smtp_password, back.smtp_password);
  EXPECT_EQ(e.pop3_fingerprint, back.pop3_fingerprint);
  EXPECT_EQ(e.smtp_fingerprint, back.smtp_fingerprint);
}

// Areas written by something else, or by a later version, survive a load and
// save with the fields tarnu knows left alone or laid over them.
TEST(HostExtras, KeepsWhatItDoesNotKnow) {
  struct Case {
    const char* what;
    std::string tag;
    int version;
    bool set_tls;           // change a known field before saving
    std::string want_head;  // expected first 8 bytes ("" = unchanged)
    bool later_byte_kept;   // the byte at offset 300
  };
  const Case cases[] = {
      {"foreign area, nothing set", "ABCD", 9, false, "", true},
      {"foreign area, TLS set: ours wins", "ABCD", 9, true, std::string("TNX1\x01\0\0\0", 8),
       false},
      {"later version, nothing set", "TNX1", 2, false, "", true},
      {"later version, TLS set", "TNX1", 2, true, std::string("TNX1\x02\0\0\0", 8), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Image area(kHostExtrasSize);
    area.Put(0, c.tag);
    area.I32(4, c.version);
    area.Byte(300, 0x77);
    HostExtras e = GetHostExtras(Bytes(area));
    if (c.set_tls) e.pop3_security = ConnectionSecurity::kTls;
    std::string out = Put(e);
    EXPECT_EQ(c.want_head.empty() ? area.bytes.substr(0, 8) : c.want_head, out.substr(0, 8));
    EXPECT_EQ(c.later_byte_kept ? '\x77' : '\0', out[300]);
  }
}

TEST(HostExtras, ClearingEveryFieldGivesZerosAgain) {
  HostExtras e;
  e.smtp_security = ConnectionSecurity::kTls;
  std::string written = Put(e);
  HostExtras back = GetHostExtras(reinterpret_cast<const unsigned char*>(written.data()));
  back.smtp_security = ConnectionSecurity::kNone;
  EXPECT_EQ(std::string(kHostExtrasSize, '\0'), Put(back));
}

TEST(HostExtras, DamagedValuesReadSafely) {
  Image area(kHostExtrasSize);
  area.Put(0, "TNX1");
  area.I32(4, 1);
  area.I32(8, 7);                       // no such security
  area.I32(12, -1);                     // nor this
  area.Put(20, std::string(101, 'Q'));  // no NUL, decodes to 75 bytes
  HostExtras e = GetHostExtras(Bytes(area));
  EXPECT_EQ(ConnectionSecurity::kNone, e.pop3_security);
  EXPECT_EQ(ConnectionSecurity::kNone, e.smtp_security);
  EXPECT_LE(e.smtp_user.size(), kExtrasTextCapacity);
}

TEST(HostExtras, RefusesWhatTheAreaCannotHold) {
  HostExtras long_user;
  long_user.smtp_user = std::string(kExtrasTextCapacity + 1, 'u');
  HostExtras short_print;
  short_print.pop3_fingerprint = "abc";
  for (const HostExtras* e : {&long_user, &short_print}) {
    bool ok = true;
    Put(*e, &ok);
    EXPECT_FALSE(ok);
  }
  HostExtras longest;
  longest.smtp_password = std::string(kExtrasTextCapacity, 'p');
  bool ok = false;
  std::string area = Put(longest, &ok);
  EXPECT_TRUE(ok);
  EXPECT_EQ(longest.smtp_password,
            GetHostExtras(reinterpret_cast<const unsigned char*>(area.data())).smtp_password);
}

TEST(HostExtras, FingerprintText) {
  const std::string hex64 = "00112233445566778899aabbccddeeff00112233445566778899AABBCCDDEEFF";
  std::string colons;
  for (std::size_t i = 0; i < hex64.size(); i += 2) {
    if (i != 0) colons += ':';
    colons += hex64.substr(i, 2);
  }
  struct Case {
    std::string text;
    bool ok;
  };
  const Case cases[] = {
      {hex64, true},
      {colons, true},
      {hex64.substr(2), false},  // 31 bytes
      {hex64 + "00", false},     // 33 bytes
      {":" + hex64, false},
      {colons + ":", false},
      {"0:0" + hex64.substr(2), false},  // a colon inside a byte
      {hex64.substr(0, 63) + "g", false},
      {"", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::string raw;
    EXPECT_EQ(c.ok, ParseFingerprint(c.text, &raw));
    if (c.ok) {
      EXPECT_EQ(kFingerprintSize, raw.size());
      EXPECT_EQ('\x00', raw[0]);
      EXPECT_EQ('\xFF', raw[31]);
    }
  }
  std::string raw;
  ASSERT_TRUE(ParseFingerprint(hex64, &raw));
  EXPECT_EQ("00:11:22", FormatFingerprint(raw).substr(0, 8));
  EXPECT_EQ("EE:FF", FormatFingerprint(raw).substr(FormatFingerprint(raw).size() - 5));
}

}  // namespace
}  // namespace tarnu
