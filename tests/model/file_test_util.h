// Helpers shared by the settings and history file tests: a byte image that
// hand-made files are assembled in (independent of the code under test) and
// field-by-field comparisons of the records.
#ifndef TARNU_TESTS_MODEL_FILE_TEST_UTIL_H_
#define TARNU_TESTS_MODEL_FILE_TEST_UTIL_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "model/app_settings.h"
#include "model/host_entry.h"

#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#endif

namespace tarnu::testing {

struct Image {
  std::string bytes;
  explicit Image(std::size_t size) : bytes(size, '\0') {}
  void I32(std::size_t at, std::int64_t value) {
    auto v = static_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  }
  void Put(std::size_t at, std::string_view text) { bytes.replace(at, text.size(), text); }
  void Byte(std::size_t at, unsigned value) { bytes[at] = static_cast<char>(value); }
};

inline void ExpectSameHost(const HostEntry& want, const HostEntry& got) {
  EXPECT_EQ(want.name, got.name);
  EXPECT_EQ(want.server, got.server);
  EXPECT_EQ(want.user, got.user);
  EXPECT_EQ(want.password, got.password);
  EXPECT_EQ(want.check, got.check);
  EXPECT_EQ(want.apop, got.apop);
  EXPECT_EQ(want.forward, got.forward);
  EXPECT_EQ(want.notify_address, got.notify_address);
  EXPECT_EQ(want.smtp_server, got.smtp_server);
  EXPECT_EQ(want.smtp_port, got.smtp_port);
  EXPECT_EQ(want.pop3_port, got.pop3_port);
  EXPECT_EQ(want.lines, got.lines);
  EXPECT_EQ(want.timeout, got.timeout);
  EXPECT_EQ(want.subject_prefix, got.subject_prefix);
  EXPECT_EQ(want.rule.switches, got.rule.switches);
  EXPECT_EQ(want.rule.subject_forward, got.rule.subject_forward);
  EXPECT_EQ(want.rule.subject_stop, got.rule.subject_stop);
  EXPECT_EQ(want.rule.from_forward, got.rule.from_forward);
  EXPECT_EQ(want.rule.from_stop, got.rule.from_stop);
  EXPECT_EQ(want.extras.pop3_security, got.extras.pop3_security);
  EXPECT_EQ(want.extras.smtp_security, got.extras.smtp_security);
  EXPECT_EQ(want.extras.options, got.extras.options);
  EXPECT_EQ(want.extras.smtp_user, got.extras.smtp_user);
  EXPECT_EQ(want.extras.smtp_password, got.extras.smtp_password);
  EXPECT_EQ(want.extras.pop3_fingerprint, got.extras.pop3_fingerprint);
  EXPECT_EQ(want.extras.smtp_fingerprint, got.extras.smtp_fingerprint);
}

inline void ExpectSameSettings(const AppSettings& want, const AppSettings& got) {
  EXPECT_EQ(want.version, got.version);
  EXPECT_EQ(want.host_count, got.host_count);
  EXPECT_EQ(want.periodic_check, got.periodic_check);
  EXPECT_EQ(want.interval, got.interval);
  EXPECT_EQ(want.reserved, got.reserved);
  EXPECT_EQ(want.no_check_at_start, got.no_check_at_start);
  EXPECT_EQ(want.no_history_at_start, got.no_history_at_start);
  EXPECT_EQ(want.auto_open, got.auto_open);
  EXPECT_EQ(want.font.height, got.font.height);
  EXPECT_EQ(want.font.width, got.font.width);
  EXPECT_EQ(want.font.escapement, got.font.escapement);
  EXPECT_EQ(want.font.orientation, got.font.orientation);
  EXPECT_EQ(want.font.weight, got.font.weight);
  EXPECT_EQ(want.font.italic, got.font.italic);
  EXPECT_EQ(want.font.underline, got.font.underline);
  EXPECT_EQ(want.font.strike_out, got.font.strike_out);
  EXPECT_EQ(want.font.char_set, got.font.char_set);
  EXPECT_EQ(want.font.out_precision, got.font.out_precision);
  EXPECT_EQ(want.font.clip_precision, got.font.clip_precision);
  EXPECT_EQ(want.font.quality, got.font.quality);
  EXPECT_EQ(want.font.pitch_and_family, got.font.pitch_and_family);
  EXPECT_EQ(0, std::memcmp(want.font.face_name, got.font.face_name, sizeof want.font.face_name));
  EXPECT_EQ(want.font_colour, got.font_colour);
  EXPECT_EQ(0, std::memcmp(want.quote, got.quote, sizeof want.quote));
  EXPECT_EQ(want.no_position_restore, got.no_position_restore);
  EXPECT_EQ(want.left, got.left);
  EXPECT_EQ(want.top, got.top);
  EXPECT_EQ(want.height, got.height);
  EXPECT_EQ(want.width, got.width);
  EXPECT_STREQ(want.magic, got.magic);
}

#ifndef _WIN32
// Lowers the file size limit for its lifetime, so that writes past it fail.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    previous_handler_ = signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &previous_);
    rlimit lowered = previous_;
    lowered.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &lowered);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &previous_);
    signal(SIGXFSZ, previous_handler_);
  }

 private:
  rlimit previous_;
  void (*previous_handler_)(int);
};
#endif

}  // namespace tarnu::testing

#endif  // TARNU_TESTS_MODEL_FILE_TEST_UTIL_H_
