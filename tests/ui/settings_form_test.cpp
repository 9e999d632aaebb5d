#include "ui/settings_form.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/support/recording_hooks.h"
#include "ui/control_ids.h"
#include "ui/forward_rule_form.h"

namespace tarnu {
namespace {

using testing::Hex;

TEST(SettingsForm, IntervalAndQuoteChecks) {
  struct Case {
    const char* interval;
    std::string quote;
    bool ok;
    std::string message;
    int control;
  };
  const std::string kRange = "3 から 2147483647 までの整数を入力してください。";
  const std::string kInteger = "整数を入力してください。";
  const std::string k30 = "30 文字以内で入力してください。";
  const std::string kEightA = "\x82\xA0\x82\xA0\x82\xA0\x82\xA0\x82\xA0\x82\xA0\x82\xA0\x82\xA0";
  for (const Case& c : std::vector<Case>{
           {"3", "> ", true, "", 0},
           {"2", "> ", false, kRange, IDC_INTERVAL},
           {"0", "> ", false, kRange, IDC_INTERVAL},
           {"-5", "> ", false, kRange, IDC_INTERVAL},
           {"2147483647", "", true, "", 0},
           {"2147483648", "", false, kRange, IDC_INTERVAL},
           {"", "", false, kInteger, IDC_INTERVAL},
           {"10 min", "", false, kInteger, IDC_INTERVAL},
           {"10", std::string(30, 'q'), true, "", 0},
           {"10", std::string(31, 'q'), false, k30, IDC_QUOTE},
           // The limit counts bytes: 22 characters of 30 bytes pass, 23 of 31 do not.
           {"10", std::string(14, 'q') + kEightA, true, "", 0},
           {"10", std::string(15, 'q') + kEightA, false, k30, IDC_QUOTE},
           {"x", std::string(31, 'q'), false, kInteger, IDC_INTERVAL},
       }) {
    SCOPED_TRACE(c.interval);
    SettingsForm form = LoadSettingsForm(AppSettings());
    form.interval = c.interval;
    form.quote = c.quote;
    FormCheck check = Validate(form);
    EXPECT_EQ(c.ok, check.ok);
    EXPECT_EQ(Hex(c.message), Hex(check.message));
    EXPECT_EQ(c.control, check.control_id);
  }
}

TEST(SettingsForm, LoadAndStoreCopyTheDialogsFields) {
  AppSettings settings;
  settings.periodic_check = 1;
  settings.interval = 25;
  settings.no_history_at_start = 1;
  settings.font.height = -16;
  std::strcpy(settings.font.face_name, "Courier");
  settings.font_colour = 0x123456;
  SettingsForm form = LoadSettingsForm(settings);
  EXPECT_TRUE(form.periodic_check);
  EXPECT_EQ("25", form.interval);
  EXPECT_FALSE(form.no_check_at_start);
  EXPECT_TRUE(form.no_history_at_start);
  EXPECT_EQ("> ", form.quote);
  EXPECT_EQ("Courier", FontNameText(form.font));

  form.periodic_check = false;
  form.interval = " 7 ";
  form.no_check_at_start = true;
  form.auto_open = true;
  form.no_position_restore = true;
  form.quote = "";  // allowed: copies without a prefix
  form.font_colour = 0xFF;
  std::memset(settings.quote, 'z', sizeof settings.quote);
  ASSERT_TRUE(StoreSettingsForm(form, &settings));
  EXPECT_EQ(0, settings.periodic_check);
  EXPECT_EQ(7, settings.interval);
  EXPECT_EQ(1, settings.no_check_at_start);
  EXPECT_EQ(1, settings.auto_open);
  EXPECT_EQ(1, settings.no_position_restore);
  EXPECT_EQ(1, settings.no_history_at_start);
  EXPECT_EQ(0xFFu, settings.font_colour);
  EXPECT_EQ(std::string(64, '\0'), std::string(settings.quote, 64));
  // Fields the dialog does not show stay.
  EXPECT_EQ(2, settings.reserved);

  form.interval = "2";
  EXPECT_FALSE(StoreSettingsForm(form, &settings));
  EXPECT_EQ(7, settings.interval);
}

TEST(SettingsForm, FontNameWithoutAFontIsNotSet) {
  LogFont font;
  EXPECT_EQ(Hex("(未設定)"), Hex(FontNameText(font)));
  std::memset(font.face_name, 'A', sizeof font.face_name);  // no terminator
  EXPECT_EQ(std::string(32, 'A'), FontNameText(font));
}

TEST(ForwardRuleForm, SwitchWordFollowsTheBoxes) {
  ForwardRule rule;
  rule.switches = 5;
  ForwardRuleForm form = LoadForwardRuleForm(rule);
  EXPECT_TRUE(form.forward_if_subject);
  EXPECT_TRUE(form.stop_if_subject);
  EXPECT_FALSE(form.forward_if_from);
  EXPECT_FALSE(form.stop_if_from);
  EXPECT_EQ(5, SwitchWord(form));
  form.forward_if_from = true;
  EXPECT_EQ(7, SwitchWord(form));
  form.stop_if_from = true;
  EXPECT_EQ(15, SwitchWord(form));
  // Unknown bits of a damaged file are dropped on store.
  rule.switches = 0x100 | 8;
  EXPECT_EQ(8, SwitchWord(LoadForwardRuleForm(rule)));
}

TEST(ForwardRuleForm, ClearingEveryBoxKeepsTheLists) {
  ForwardRule rule;
  rule.switches = 15;
  rule.subject_forward = "a";
  rule.subject_stop = "b";
  rule.from_forward = "c";
  rule.from_stop = "d";
  ForwardRuleForm form = LoadForwardRuleForm(rule);
  form.forward_if_subject = form.forward_if_from = form.stop_if_subject = form.stop_if_from = false;
  ASSERT_TRUE(StoreForwardRuleForm(form, &rule));
  EXPECT_EQ(0, rule.switches);
  EXPECT_EQ("a", rule.subject_forward);
  EXPECT_EQ("b", rule.subject_stop);
  EXPECT_EQ("c", rule.from_forward);
  EXPECT_EQ("d", rule.from_stop);
  EXPECT_EQ(Hex("なし"), Hex(RuleSummaryText(rule)));
  rule.switches = 2;
  EXPECT_EQ(Hex("あり"), Hex(RuleSummaryText(rule)));
}

TEST(ForwardRuleForm, ListsAreCheckedInTheDialogsOrderAgainstTheSlot) {
  const std::string k72 = "72 文字以内で入力してください。";
  ForwardRuleForm form;
  form.forward_if_subject = true;  // a checked box with an empty list is fine
  EXPECT_TRUE(Validate(form).ok);
  form.subject_forward = std::string(72, 'x');
  form.subject_stop = std::string(72, 'x');
  form.from_forward = std::string(72, 'x');
  form.from_stop = std::string(72, 'x');
  EXPECT_TRUE(Validate(form).ok);
  form.subject_forward = std::string(73, 'x');
  form.subject_stop = std::string(100, 'x');
  form.from_forward = std::string(73, 'x');
  form.from_stop = std::string(73, 'x');
  for (int control : {IDC_FORWARD_IF_FROM_LIST, IDC_FORWARD_IF_SUBJECT_LIST, IDC_STOP_IF_FROM_LIST,
                      IDC_STOP_IF_SUBJECT_LIST}) {
    FormCheck check = Validate(form);
    ASSERT_FALSE(check.ok);
    EXPECT_EQ(control, check.control_id);
    EXPECT_EQ(Hex(k72), Hex(check.message));
    if (control == IDC_FORWARD_IF_FROM_LIST) form.from_forward.clear();
    if (control == IDC_FORWARD_IF_SUBJECT_LIST) form.subject_forward.clear();
    if (control == IDC_STOP_IF_FROM_LIST) form.from_stop.clear();
    if (control == IDC_STOP_IF_SUBJECT_LIST) form.subject_stop.clear();
  }
  EXPECT_TRUE(Validate(form).ok);
  ForwardRule rule;
  form.from_stop = std::string(73, 'x');
  EXPECT_FALSE(StoreForwardRuleForm(form, &rule));
  EXPECT_EQ("", rule.from_stop);
}

}  // namespace
}  // namespace tarnu
