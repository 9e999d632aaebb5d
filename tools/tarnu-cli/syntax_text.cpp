#include "tools/tarnu-cli/syntax_text.h"

#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
#endif

namespace tarnu::cli {
namespace {

struct Texts {
  const char* english;
  const char* japanese;
};

// u8 literals: these texts are UTF-8 whatever the execution character set.
Texts TextsOf(Say what) {
  switch (what) {
    case Say::kNoVerb:
      return {u8"no verb given", u8"コマンドが指定されていません"};
    case Say::kUnknownVerb:
      return {u8"unknown verb %1", u8"不明なコマンドです: %1"};
    case Say::kUnknownAction:
      return {u8"%1: unknown action %2 (%3)", u8"%1: 不明な操作です: %2 (%3)"};
    case Say::kUnknownOption:
      return {u8"%1: unknown option", u8"%1: 不明なオプションです"};
    case Say::kNeedsValue:
      return {u8"%1 needs a value", u8"%1: 値を指定してください"};
    case Say::kTakesNoValue:
      return {u8"%1 takes no value", u8"%1: 値は指定できません"};
    case Say::kUnexpected:
      return {u8"unexpected argument %1", u8"余分な引数です: %1"};
    case Say::kMissing:
      return {u8"%1 expected", u8"%1 を指定してください"};
    case Say::kRequired:
      return {u8"%1 is required", u8"%1: 指定してください"};
    case Say::kOneOf:
      return {u8"%1 takes %2", u8"%1: %2 のいずれかを指定してください"};
    case Say::kNoSuchFolder:
      return {u8"%1: no such folder: %2", u8"%1: フォルダがありません: %2"};
    case Say::kNotValidText:
      return {u8"%1: the value is not %2 text (see --input-encoding)",
              u8"%1: 値が %2 の文字列ではありません (--input-encoding を参照)"};
    case Say::kUnknownEncoding:
      return {u8"%1: unknown encoding %2", u8"%1: 不明な文字コードです: %2"};
    case Say::kNotInCodePage932:
      return {u8"%1: \"%2\" (%3) has no place in code page 932 (Shift_JIS)",
              u8"%1: 「%2」(%3) はコードページ 932 (Shift_JIS) で表せない文字です"};
    case Say::kNoHostAtIndex:
      return {u8"no host at index %1", u8"%1 番のホストはありません"};
    case Say::kSeeHelp:
      return {u8"tarnu-cli %1 --help shows every option",
              u8"オプションの一覧: tarnu-cli %1 --help"};
    case Say::kNoSettingsFile:
      return {u8"no settings file %1: no host to check (add one with tarnu-cli host add)",
              u8"設定ファイル %1 がありません: 問い合わせるホストがありません"
              u8" (tarnu-cli host add で追加してください)"};
    case Say::kNoHostToCheck:
      return {u8"no host has checking switched on", u8"問い合わせるホストがありません"};
    case Say::kMessageCount:
      return {u8"%1 messages", u8"%1 通"};
    case Say::kNewMailSummary:
      return {u8"tarnu: new mail: %1", u8"tarnu: 新着メール %1 通"};
    case Say::kMoreNewMail:
      return {u8"\nand %1 more", u8"\nほか %1 通"};
    case Say::kHostFailed:
      return {u8"%1: failed: %2", u8"%1: 失敗: %2"};
    case Say::kBusy:
      return {
          u8"another tarnu is changing the files (%1 is locked); nothing was changed, try "
          u8"again",
          u8"ほかの tarnu がファイルを変更中です (%1 がロックされています)。"
          u8"何も変更していません。もう一度実行してください"};
    case Say::kCheckRunning:
      return {u8"another check is running over these files (%1 is locked); nothing was checked",
              u8"ほかの問い合わせが実行中です (%1 がロックされています)。何も問い合わせていません"};
    case Say::kLockFailed:
      return {u8"cannot create the lock file %1; nothing was changed",
              u8"ロックファイル %1 を作成できません。何も変更していません"};
    case Say::kStopping:
      return {u8"stopping (a check in progress is finished first)",
              u8"終了します (実行中の問い合わせは最後まで行います)"};
    case Say::kPasswordTwice:
      return {u8"--password and --password-stdin do not go together",
              u8"--password と --password-stdin は同時に指定できません"};
    case Say::kNoPasswordInput:
      return {u8"--password-stdin: nothing to read on standard input",
              u8"--password-stdin: 標準入力から読み取れません"};
    case Say::kPasswordPrompt:
      return {u8"Password: ", u8"パスワード: "};
    case Say::kNotificationsAbsent:
      return {u8"no desktop notification service: new mail is printed only",
              u8"デスクトップ通知が使えません: 新着メールは表示のみです"};
  }
  return {"", ""};
}

#ifndef _WIN32
bool JapaneseName(const char* value) {
  return value != nullptr && value[0] == 'j' && value[1] == 'a' &&
         (value[2] == '\0' || value[2] == '_' || value[2] == '.' || value[2] == '@');
}
#endif

}  // namespace

bool JapaneseLocale() {
#ifdef _WIN32
  return PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_JAPANESE;
#else
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && value[0] != '\0') return JapaneseName(value);
  }
  return false;
#endif
}

std::string SyntaxText(Say what, std::string_view arg1, std::string_view arg2,
                       std::string_view arg3) {
  Texts texts = TextsOf(what);
  std::string_view pattern = JapaneseLocale() ? texts.japanese : texts.english;
  std::string out;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] >= '1' &&
        pattern[i + 1] <= '3') {
      out += pattern[i + 1] == '1' ? arg1 : pattern[i + 1] == '2' ? arg2 : arg3;
      ++i;
    } else {
      out += pattern[i];
    }
  }
  return out;
}

}  // namespace tarnu::cli
