#include "model/ini_file.h"

#include <gtest/gtest.h>

#include "model/data_files.h"
#include "tests/support/scratch_dir.h"

namespace tarnu {
namespace {

using testing::ReadFileBytes;
using testing::ScratchDir;
using testing::WriteFileBytes;

TEST(IniText, FindsEntriesAndKeepsEveryOtherLine) {
  struct Case {
    const char* text;
    const char* key;
    std::optional<std::string> value;
  } cases[] = {
      {"a=1\r\n", "a", "1"},
      {"a=1", "a", "1"},  // no line end at the end
      {"  Key  =  spaced value \t\r\n", "key", "spaced value"},
      {"KEY=x\n", "key", "x"},       // LF alone; keys ignore ASCII case
      {"a=1\r\na=2\r\n", "a", "1"},  // the first entry counts
      {"a==b\r\n", "a", "=b"},
      {"a=\r\n", "a", ""},
      {"; a=1\r\n# a=2\r\n[a=3]\r\n", "a", std::nullopt},  // comments and sections
      {"no equals sign\r\n", "no equals sign", std::nullopt},
      {"=orphan\r\n", "", std::nullopt},
      {"\xEF\xBB\xBF"
       "a=1\r\n",
       "a", "1"},  // a byte-order mark before the first key
      {"ab=1\r\n", "a", std::nullopt},
      {"", "a", std::nullopt},
      {"件名=日本語\r\n", "件名", "日本語"},
  };
  for (const Case& c : cases) {
    IniText ini(c.text);
    EXPECT_EQ(ini.Get(c.key), c.value) << c.text;
  }
}

TEST(IniText, SetReplacesInPlaceOrAppendsAndKeepsTheRest) {
  struct Case {
    const char* before;
    const char* key;
    const char* value;
    const char* after;
  } cases[] = {
      {"", "a", "1", "a=1\r\n"},
      {"; note\r\nA = 0\r\nzz=9\r\n", "a", "1", "; note\r\na=1\r\nzz=9\r\n"},
      {"x=1\n\ny=2\n", "z", "3", "x=1\r\n\r\ny=2\r\nz=3\r\n"},  // blank lines stay
      {"\xEF\xBB\xBF"
       "a=0\r\n",
       "a", "1",
       "\xEF\xBB\xBF"
       "a=1\r\n"},
      {"a=0\r\na=5\r\n", "a", "1", "a=1\r\na=5\r\n"},
      {"", "a", "two\r\nlines", "a=two  lines\r\n"},  // a value stays on its line
      {"[future]\r\nnewer_key=x\r\n", "a", "1", "[future]\r\nnewer_key=x\r\na=1\r\n"},
  };
  for (const Case& c : cases) {
    IniText ini(c.before);
    ini.Set(c.key, c.value);
    EXPECT_EQ(ini.Text(), c.after) << c.before;
  }
}

TEST(ReadProgramOptions, DefaultsForWhatIsMissingOrWrong) {
  struct Case {
    const char* text;
    bool notify;
    std::optional<bool> sign_in;
    std::vector<int> columns;
  } cases[] = {
      {"", true, std::nullopt, {}},
      {"notify_new_mail=0\r\nstart_at_sign_in=1\r\n", false, true, {}},
      {"notify_new_mail=off\r\nstart_at_sign_in=No\r\n", false, false, {}},
      {"notify_new_mail=maybe\r\nstart_at_sign_in=\r\n", true, std::nullopt, {}},
      {"result_columns=100,150,100,50,200,100\r\n",
       true,
       std::nullopt,
       {100, 150, 100, 50, 200, 100}},
      {"result_columns= 1 , 2,3,4,5 ,0\r\n", true, std::nullopt, {1, 2, 3, 4, 5, 0}},
      {"result_columns=100,150,100,50,200\r\n", true, std::nullopt, {}},  // one short
      {"result_columns=100,150,100,50,200,100,7\r\n", true, std::nullopt, {}},
      {"result_columns=100,150,-1,50,200,100\r\n", true, std::nullopt, {}},
      {"result_columns=100,150,,50,200,100\r\n", true, std::nullopt, {}},
      {"result_columns=100,150,4001,50,200,100\r\n", true, std::nullopt, {}},
      {"result_columns=99999999999,1,1,1,1,1\r\n", true, std::nullopt, {}},
  };
  for (const Case& c : cases) {
    ProgramOptions options = ReadProgramOptions(IniText(c.text), 6);
    EXPECT_EQ(options.notify_new_mail, c.notify) << c.text;
    EXPECT_EQ(options.start_at_sign_in, c.sign_in) << c.text;
    EXPECT_EQ(options.result_columns, c.columns) << c.text;
  }
}

TEST(ProgramOptionsFile, SaveKeepsForeignLinesAndLoadReadsItBack) {
  ScratchDir dir;
  SetDataDirectory("");
  ProgramOptions options;
  ASSERT_TRUE(LoadProgramOptions(6, &options)) << "a missing file is no failure";
  EXPECT_TRUE(options.notify_new_mail);

  WriteFileBytes("tarnu.ini", "; written by hand\r\nnotify_new_mail=1\r\nfuture_key=keep me\r\n");
  options.notify_new_mail = false;
  options.start_at_sign_in = true;
  options.result_columns = {90, 160, 100, 50, 210, 120};
  ASSERT_TRUE(SaveProgramOptions(options));
  EXPECT_EQ(ReadFileBytes("tarnu.ini"),
            "; written by hand\r\nnotify_new_mail=0\r\nfuture_key=keep me\r\n"
            "start_at_sign_in=1\r\nresult_columns=90,160,100,50,210,120\r\n");

  ProgramOptions back;
  ASSERT_TRUE(LoadProgramOptions(6, &back));
  EXPECT_FALSE(back.notify_new_mail);
  EXPECT_EQ(back.start_at_sign_in, true);
  EXPECT_EQ(back.result_columns, options.result_columns);
}

TEST(ProgramOptionsFile, AFileThatIsNotOursIsNeitherReadNorReplaced) {
  ScratchDir dir;
  SetDataDirectory("");
  const std::string huge(300 * 1024, 'x');
  WriteFileBytes("tarnu.ini", huge);
  ProgramOptions options;
  options.notify_new_mail = false;
  EXPECT_FALSE(LoadProgramOptions(6, &options));
  EXPECT_TRUE(options.notify_new_mail) << "the defaults";
  EXPECT_FALSE(SaveProgramOptions(options));
  EXPECT_EQ(ReadFileBytes("tarnu.ini"), huge);
}

}  // namespace
}  // namespace tarnu
