#include "app/sign_in_start.h"

#include <gtest/gtest.h>

namespace tarnu {
namespace {

constexpr char16_t kProgram[] = u"C:\\Program Files\\tarnu\\tarnu.exe";

std::string Narrow(std::u16string_view text) { return std::string(text.begin(), text.end()); }

TEST(SignInCommand, QuotesThePath) {
  EXPECT_EQ(SignInCommand(kProgram), u"\"C:\\Program Files\\tarnu\\tarnu.exe\"");
  EXPECT_EQ(SignInCommand(u"D:\\t.exe"), u"\"D:\\t.exe\"");
}

TEST(CommandStartsProgram, ReadsTheProgramAsWindowsWould) {
  struct Case {
    const char16_t* command;
    bool starts;
  } cases[] = {
      {u"\"C:\\Program Files\\tarnu\\tarnu.exe\"", true},
      {u"  \"c:\\program files\\TARNU\\Tarnu.EXE\" /x ", true},
      {u"\"C:/Program Files/tarnu/tarnu.exe\"", true},
      // Unquoted with a space: Windows would start "C:\Program".
      {u"C:\\Program Files\\tarnu\\tarnu.exe", false},
      {u"\"C:\\Program Files\\tarnu\\tarnu.exe", false},  // no closing quote
      {u"\"C:\\Program Files\\tarnu\\tarnu.exe2\"", false},
      {u"\"D:\\portable\\tarnu.exe\"", false},
      {u"\"\"", false},
      {u"", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CommandStartsProgram(c.command, kProgram), c.starts) << Narrow(c.command);
  }
  EXPECT_TRUE(CommandStartsProgram(u"D:\\tarnu\\tarnu.exe", u"D:\\tarnu\\tarnu.exe"));
}

TEST(PlanRunKey, CarriesOutChoicesAndAtStartOnlyRepairsAYes) {
  const std::u16string ours = SignInCommand(kProgram);
  const std::u16string other = u"\"D:\\portable\\tarnu.exe\"";
  constexpr auto kLeave = RunKeyAction::kLeave;
  constexpr auto kWrite = RunKeyAction::kWrite;
  constexpr auto kRemove = RunKeyAction::kRemove;
  struct Case {
    std::optional<bool> wanted;
    std::optional<std::u16string> current;
    bool at_start;
    RunKeyAction action;
  } cases[] = {
      // No choice made: the key is nobody's business here.
      {std::nullopt, std::nullopt, true, kLeave},
      {std::nullopt, ours, false, kLeave},
      // Yes: written unless it already reads exactly so (quoted, this path).
      {true, std::nullopt, false, kWrite},
      {true, ours, false, kLeave},
      {true, ours, true, kLeave},
      {true, std::nullopt, true, kWrite},  // removed behind our back, or a new folder
      {true, other, true, kWrite},         // this copy moved
      {true, u"\"C:\\Program Files\\tarnu\\tarnu.exe\" /old", false, kWrite},
      // No, chosen in the settings: only our own registration goes.
      {false, ours, false, kRemove},
      {false, u"\"C:\\Program Files\\tarnu\\tarnu.exe\" /x", false, kRemove},
      {false, other, false, kLeave},
      {false, std::nullopt, false, kLeave},
      // No, stored from before: the installer may have registered it since.
      {false, ours, true, kLeave},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PlanRunKey(c.wanted, c.current, kProgram, c.at_start), c.action)
        << (c.wanted ? (*c.wanted ? "yes " : "no ") : "none ")
        << (c.current ? Narrow(*c.current) : "(no value)") << " at_start=" << c.at_start;
  }
}

}  // namespace
}  // namespace tarnu
