#include "ui/host_form.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/support/recording_hooks.h"
#include "ui/control_ids.h"
#include "ui/host_list_form.h"

namespace tarnu {
namespace {

using testing::Hex;
using testing::RecordingMessages;

const std::string kA = "\x82\xA0";  // あ, two bytes

std::string Times(const std::string& unit, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += unit;
  return out;
}

// A form that passes, with forwarding on so every field is required.
HostForm Valid() {
  HostForm f = LoadHostForm(HostEntry());
  f.name = "home";
  f.server = "pop.example.jp";
  f.user = "taro";
  f.password = "secret";
  f.forward = true;
  f.notify_address = "me@example.jp";
  f.smtp_server = "smtp.example.jp";
  return f;
}

TEST(HostForm, ValidFormPasses) { EXPECT_TRUE(Validate(Valid()).ok); }

TEST(HostForm, FieldChecks) {
  struct Case {
    const char* what;
    std::function<void(HostForm*)> change;
    bool ok;
    std::string message;
    int control;
  };
  const std::string kInteger = "整数を入力してください。";
  const std::string kPortRange = "0 から 65535 までの整数を入力してください。";
  const std::string kCountRange = "0 から 2147483647 までの整数を入力してください。";
  const std::string k60 = "60 文字以内で入力してください。";
  const std::string k36 = "36 文字以内で入力してください。";
  std::vector<Case> cases = {
      {"port 0", [](HostForm* f) { f->pop3_port = "0"; }, true, "", 0},
      {"port 65535", [](HostForm* f) { f->pop3_port = "65535"; }, true, "", 0},
      {"port 65536", [](HostForm* f) { f->pop3_port = "65536"; }, false, kPortRange, IDC_POP3_PORT},
      {"port -1", [](HostForm* f) { f->pop3_port = "-1"; }, false, kPortRange, IDC_POP3_PORT},
      {"port empty", [](HostForm* f) { f->pop3_port = ""; }, false, kInteger, IDC_POP3_PORT},
      {"port text", [](HostForm* f) { f->pop3_port = "pop"; }, false, kInteger, IDC_POP3_PORT},
      {"port 1e3", [](HostForm* f) { f->pop3_port = "1e3"; }, false, kInteger, IDC_POP3_PORT},
      {"port sign only", [](HostForm* f) { f->pop3_port = "-"; }, false, kInteger, IDC_POP3_PORT},
      {"port spaced", [](HostForm* f) { f->pop3_port = " 110 "; }, true, "", 0},
      {"port plus", [](HostForm* f) { f->pop3_port = "+110"; }, true, "", 0},
      {"port huge", [](HostForm* f) { f->pop3_port = "99999999999999999999999"; }, false,
       kPortRange, IDC_POP3_PORT},
      {"smtp port", [](HostForm* f) { f->smtp_port = "70000"; }, false, kPortRange, IDC_SMTP_PORT},
      {"lines max", [](HostForm* f) { f->lines = "2147483647"; }, true, "", 0},
      {"lines over", [](HostForm* f) { f->lines = "2147483648"; }, false, kCountRange, IDC_LINES},
      {"timeout -1", [](HostForm* f) { f->timeout = "-1"; }, false, kCountRange, IDC_TIMEOUT},
      {"name 60", [](HostForm* f) { f->name = std::string(60, 'n'); }, true, "", 0},
      {"name 61", [](HostForm* f) { f->name = std::string(61, 'n'); }, false, k60, IDC_HOST_NAME},
      {"name 30 kana", [](HostForm* f) { f->name = Times(kA, 30); }, true, "", 0},
      {"name 31 kana", [](HostForm* f) { f->name = Times(kA, 31); }, false, k60, IDC_HOST_NAME},
      {"server 61", [](HostForm* f) { f->server = std::string(61, 's'); }, false, k60, IDC_SERVER},
      {"notify 61", [](HostForm* f) { f->notify_address = std::string(61, 'a'); }, false, k60,
       IDC_NOTIFY_ADDRESS},
      {"smtp 61", [](HostForm* f) { f->smtp_server = std::string(61, 'a'); }, false, k60,
       IDC_SMTP_SERVER},
      {"prefix 61", [](HostForm* f) { f->subject_prefix = std::string(61, 'p'); }, false, k60,
       IDC_SUBJECT_PREFIX},
      // The login slots of the settings file hold 36 bytes.
      {"user 36", [](HostForm* f) { f->user = std::string(36, 'u'); }, true, "", 0},
      {"user 37", [](HostForm* f) { f->user = std::string(37, 'u'); }, false, k36, IDC_USER},
      {"user 40", [](HostForm* f) { f->user = std::string(40, 'u'); }, false, k36, IDC_USER},
      {"password 36", [](HostForm* f) { f->password = std::string(36, 'p'); }, true, "", 0},
      {"password 37", [](HostForm* f) { f->password = std::string(37, 'p'); }, false, k36,
       IDC_PASSWORD},
      {"password 19 kana", [](HostForm* f) { f->password = Times(kA, 19); }, false, k36,
       IDC_PASSWORD},
      // Required fields.
      {"name blank", [](HostForm* f) { f->name = " \t "; }, false, "ホスト名を設定してください",
       IDC_HOST_NAME},
      {"server empty", [](HostForm* f) { f->server = ""; }, false,
       "POPサーバのアドレスを設定してください", IDC_SERVER},
      {"user empty", [](HostForm* f) { f->user = ""; }, false, "ユーザ名を設定してください",
       IDC_USER},
      {"user one space", [](HostForm* f) { f->user = " "; }, true, "", 0},
      {"password empty", [](HostForm* f) { f->password = ""; }, false,
       "パスワードを設定してください", IDC_PASSWORD},
      {"notify blank", [](HostForm* f) { f->notify_address = "  "; }, false,
       "転送先のメールアドレスを設定してください", IDC_NOTIFY_ADDRESS},
      {"smtp empty", [](HostForm* f) { f->smtp_server = ""; }, false,
       "転送時に使用するSMTPサーバを設定してください", IDC_SMTP_SERVER},
      {"no forwarding, no addresses",
       [](HostForm* f) {
         f->forward = false;
         f->notify_address = "";
         f->smtp_server = "";
       },
       true, "", 0},
      // A disabled edit is still read: its number must be one.
      {"no forwarding, bad SMTP port",
       [](HostForm* f) {
         f->forward = false;
         f->smtp_port = "x";
       },
       false, kInteger, IDC_SMTP_PORT},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    HostForm form = Valid();
    c.change(&form);
    FormCheck check = Validate(form);
    EXPECT_EQ(c.ok, check.ok);
    if (!c.ok) {
      EXPECT_EQ(Hex(c.message), Hex(check.message));
      EXPECT_EQ(c.control, check.control_id);
    }
  }
}

// With every field wrong at once, fixing them one by one reports them in
// the dialog's order.
TEST(HostForm, ChecksRunInTheDialogsOrder) {
  HostForm form = Valid();
  form.notify_address = std::string(61, 'a');
  form.name = std::string(61, 'n');
  form.lines = "x";
  form.password = std::string(37, 'p');
  form.pop3_port = "x";
  form.server = std::string(61, 's');
  form.user = std::string(37, 'u');
  form.timeout = "x";
  form.smtp_server = std::string(61, 'm');
  form.smtp_port = "x";
  form.subject_prefix = std::string(61, 'f');
  struct Step {
    int control;
    std::function<void(HostForm*)> fix;
  };
  std::vector<Step> steps = {
      {IDC_NOTIFY_ADDRESS, [](HostForm* f) { f->notify_address = " "; }},
      {IDC_HOST_NAME, [](HostForm* f) { f->name = " "; }},
      {IDC_LINES, [](HostForm* f) { f->lines = "2"; }},
      {IDC_PASSWORD, [](HostForm* f) { f->password = ""; }},
      {IDC_POP3_PORT, [](HostForm* f) { f->pop3_port = "110"; }},
      {IDC_SERVER, [](HostForm* f) { f->server = ""; }},
      {IDC_USER, [](HostForm* f) { f->user = ""; }},
      {IDC_TIMEOUT, [](HostForm* f) { f->timeout = "60"; }},
      {IDC_SMTP_SERVER, [](HostForm* f) { f->smtp_server = ""; }},
      {IDC_SMTP_PORT, [](HostForm* f) { f->smtp_port = "25"; }},
      {IDC_SUBJECT_PREFIX, [](HostForm* f) { f->subject_prefix = "Fwd)"; }},
      // Then the required fields, in their own order.
      {IDC_HOST_NAME, [](HostForm* f) { f->name = "n"; }},
      {IDC_SERVER, [](HostForm* f) { f->server = "s"; }},
      {IDC_USER, [](HostForm* f) { f->user = "u"; }},
      {IDC_PASSWORD, [](HostForm* f) { f->password = "p"; }},
      {IDC_NOTIFY_ADDRESS, [](HostForm* f) { f->notify_address = "a"; }},
      {IDC_SMTP_SERVER, [](HostForm* f) { f->smtp_server = "m"; }},
  };
  for (std::size_t i = 0; i < steps.size(); ++i) {
    SCOPED_TRACE(i);
    FormCheck check = Validate(form);
    ASSERT_FALSE(check.ok);
    EXPECT_EQ(steps[i].control, check.control_id);
    steps[i].fix(&form);
  }
  EXPECT_TRUE(Validate(form).ok);
}

TEST(HostForm, StoreTakesTheValuesAsTypedAndKeepsTheMailLists) {
  HostEntry entry;
  MailEntry seen;
  seen.message_id = "<kept>";
  entry.history.mails.push_back(seen);
  entry.current.mails.push_back(seen);
  HostForm form = Valid();
  form.name = " home ";  // surrounding white space is kept
  form.pop3_port = " 995";
  form.lines = "0";
  form.timeout = "2147483647";
  form.smtp_port = "587";
  form.apop = true;
  form.check = false;
  form.rule.switches = 9;
  form.rule.from_stop = "spam";
  ASSERT_TRUE(StoreHostForm(form, &entry));
  EXPECT_EQ(" home ", entry.name);
  EXPECT_EQ(995, entry.pop3_port);
  EXPECT_EQ(0, entry.lines);
  EXPECT_EQ(2147483647, entry.timeout);
  EXPECT_EQ(587, entry.smtp_port);
  EXPECT_TRUE(entry.apop);
  EXPECT_FALSE(entry.check);
  EXPECT_TRUE(entry.forward);
  EXPECT_EQ(9, entry.rule.switches);
  EXPECT_EQ("spam", entry.rule.from_stop);
  ASSERT_EQ(1u, entry.history.mails.size());
  EXPECT_EQ("<kept>", entry.history.mails[0].message_id);
  EXPECT_EQ(1u, entry.current.mails.size());
}

TEST(HostForm, StoreRefusesAFormThatDoesNotPass) {
  HostEntry entry;
  entry.name = "before";
  HostForm form = Valid();
  form.user = std::string(37, 'u');
  EXPECT_FALSE(StoreHostForm(form, &entry));
  EXPECT_EQ("before", entry.name);
  EXPECT_EQ("", entry.user);
}

TEST(HostListForm, AddedHostWithOnlyTheRequiredFieldsHasTheDefaults) {
  HostListForm list{HostList()};
  HostForm form = LoadHostForm(HostEntry());
  form.name = "n";
  form.server = "s";
  form.user = "u";
  form.password = "p";
  RecordingMessages messages;
  ASSERT_TRUE(list.Add(form, &messages));
  ASSERT_EQ(1u, list.entries().size());
  const HostEntry& e = list.entries()[0];
  EXPECT_EQ(110, e.pop3_port);
  EXPECT_EQ(2, e.lines);
  EXPECT_EQ(60, e.timeout);
  EXPECT_EQ(25, e.smtp_port);
  EXPECT_TRUE(e.check);
  EXPECT_FALSE(e.apop);
  EXPECT_FALSE(e.forward);
  EXPECT_EQ("Fwd)", e.subject_prefix);
  EXPECT_EQ(0, e.rule.switches);
  EXPECT_EQ("", e.notify_address);
  EXPECT_EQ("", e.smtp_server);
}

TEST(HostListForm, EditsWorkOnACopyUntilCommitted) {
  HostList hosts(3);
  for (int i = 0; i < 3; ++i) {
    hosts[i].name = "host" + std::to_string(i);
    hosts[i].server = "s";
    hosts[i].user = "u";
    hosts[i].password = "p";
    MailEntry seen;
    seen.message_id = "<" + std::to_string(i) + ">";
    hosts[i].history.mails.push_back(seen);
  }
  RecordingMessages messages;
  HostListForm list(hosts);
  HostForm edited = LoadHostForm(list.entries()[1]);
  edited.name = "renamed";
  edited.server = "elsewhere";
  EXPECT_FALSE(list.Edit(-1, edited));  // nothing selected
  EXPECT_FALSE(list.Edit(3, edited));
  EXPECT_FALSE(list.Remove(-1));
  EXPECT_FALSE(list.Remove(3));
  ASSERT_TRUE(list.Edit(1, edited));
  ASSERT_TRUE(list.Remove(0));
  // Nothing reached the host list yet (Cancel would drop the copy).
  EXPECT_EQ("host1", hosts[1].name);
  EXPECT_EQ(3u, hosts.size());
  ASSERT_TRUE(list.Commit(&hosts, &messages));
  ASSERT_EQ(2u, hosts.size());
  EXPECT_EQ("renamed", hosts[0].name);
  EXPECT_EQ("elsewhere", hosts[0].server);
  // The edited entry keeps its history under its new server address.
  ASSERT_EQ(1u, hosts[0].history.mails.size());
  EXPECT_EQ("<1>", hosts[0].history.mails[0].message_id);
  EXPECT_EQ("host2", hosts[1].name);
  EXPECT_TRUE(messages.shown.empty());
}

TEST(HostListForm, CommitKeepsHistoriesACheckWroteWhileTheDialogWasOpen) {
  HostList hosts(2);
  HostListForm list(hosts);  // the dialog opens
  // A check ends meanwhile and records what it saw on both hosts.
  hosts[0].history.mails.resize(2);
  hosts[1].history.mails.resize(1);
  hosts[1].history.mails[0].message_id = "<seen>";
  RecordingMessages messages;
  HostForm second = LoadHostForm(list.entries()[1]);
  second.name = "second";
  second.server = "s";
  second.user = "u";
  second.password = "p";
  ASSERT_TRUE(list.Edit(1, second));
  ASSERT_TRUE(list.Remove(0));
  ASSERT_TRUE(list.Add(second, &messages));  // same settings, a new entry
  ASSERT_TRUE(list.Commit(&hosts, &messages));
  ASSERT_EQ(2u, hosts.size());
  ASSERT_EQ(1u, hosts[0].history.mails.size());
  EXPECT_EQ("<seen>", hosts[0].history.mails[0].message_id);
  EXPECT_TRUE(hosts[1].history.mails.empty());
  EXPECT_NE(hosts[0].identity, hosts[1].identity);
}

}  // namespace
}  // namespace tarnu
