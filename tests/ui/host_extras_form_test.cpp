#include "ui/host_extras_form.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/recording_hooks.h"
#include "ui/control_ids.h"

namespace tarnu {
namespace {

using testing::Hex;

TEST(HostExtrasForm, RoundTripOfEveryField) {
  HostExtras extras;
  extras.pop3_security = ConnectionSecurity::kStartTls;
  extras.smtp_security = ConnectionSecurity::kTls;
  extras.smtp_user = "bob";
  extras.smtp_password = "pw";
  extras.options = kExtraSmtpAuthWithoutTls | kExtraNoUidl;
  extras.pop3_fingerprint = std::string(32, 'a');
  HostExtrasForm form = LoadHostExtrasForm(extras);
  EXPECT_EQ(form.pop3_security, 2);
  EXPECT_EQ(form.smtp_security, 1);
  EXPECT_TRUE(form.auth_without_tls);
  EXPECT_TRUE(form.pipelining);  // on: its bit is clear
  EXPECT_FALSE(form.uidl);

  // The dialog switches everything over; the stored extras follow.
  form.pop3_security = 1;
  form.smtp_security = 0;
  form.auth_without_tls = false;
  form.pipelining = false;
  form.uidl = true;
  form.pop3_fingerprint.clear();  // "clear" pressed
  form.smtp_fingerprint = std::string(32, 'b');
  HostExtras stored = extras;
  ASSERT_TRUE(StoreHostExtrasForm(form, &stored));
  EXPECT_EQ(stored.pop3_security, ConnectionSecurity::kTls);
  EXPECT_EQ(stored.smtp_security, ConnectionSecurity::kNone);
  EXPECT_EQ(stored.options, kExtraNoPipelining);
  EXPECT_EQ(stored.pop3_fingerprint, "");
  EXPECT_EQ(stored.smtp_fingerprint, std::string(32, 'b'));
  EXPECT_EQ(stored.smtp_user, "bob");

  // A form loaded from default extras stores the same defaults: zero bytes.
  HostExtras fresh;
  ASSERT_TRUE(StoreHostExtrasForm(LoadHostExtrasForm(HostExtras()), &fresh));
  unsigned char area[kHostExtrasSize];
  ASSERT_TRUE(PutHostExtras(fresh, area));
  EXPECT_EQ(Hex(std::string(reinterpret_cast<char*>(area), sizeof area)),
            Hex(std::string(kHostExtrasSize, '\0')));
}

TEST(HostExtrasForm, Refusals) {
  struct Case {
    const char* name;
    void (*change)(HostExtrasForm*);
    std::string message;
    int control;
  } cases[] = {
      {"user over 72 bytes", [](HostExtrasForm* f) { f->smtp_user = std::string(73, 'u'); },
       "72 文字以内で入力してください。", IDC_SMTP_USER},
      {"password over 72 bytes",
       [](HostExtrasForm* f) {
         f->smtp_user = "u";
         f->smtp_password = std::string(73, 'p');
       },
       "72 文字以内で入力してください。", IDC_SMTP_PASSWORD},
      {"password without user", [](HostExtrasForm* f) { f->smtp_password = "p"; },
       "SMTP認証のユーザ名を設定してください", IDC_SMTP_USER},
      {"unknown security", [](HostExtrasForm* f) { f->smtp_security = 3; },
       "0 から 2 までの整数を入力してください。", IDC_SMTP_SECURITY},
  };
  for (const Case& c : cases) {
    HostExtrasForm form;
    c.change(&form);
    FormCheck check = Validate(form);
    EXPECT_FALSE(check.ok) << c.name;
    EXPECT_EQ(Hex(check.message), Hex(c.message)) << c.name;
    EXPECT_EQ(check.control_id, c.control) << c.name;
    HostExtras extras;
    extras.smtp_user = "kept";
    EXPECT_FALSE(StoreHostExtrasForm(form, &extras)) << c.name;
    EXPECT_EQ(extras.smtp_user, "kept") << c.name;
  }
  HostExtrasForm exactly;
  exactly.smtp_user = std::string(72, 'u');
  exactly.smtp_password = std::string(72, 'p');
  EXPECT_TRUE(Validate(exactly).ok);
}

}  // namespace
}  // namespace tarnu
