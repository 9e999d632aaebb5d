#include "model/pending_forwards.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/support/recording_hooks.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/scripted_peer.h"

namespace tarnu {
namespace {

using testing::Escape;
using testing::ReadFileBytes;
using testing::ScratchDir;
using testing::WriteFileBytes;

PendingForward Entry(std::string key, bool sent, std::int32_t tries) {
  PendingForward e;
  e.server = "pop.example.jp";
  e.port = 110;
  e.user = "alice";
  e.key = std::move(key);
  e.sent = sent;
  e.first_failure = 1700000000;
  e.tries = tries;
  return e;
}

bool Same(const PendingForward& a, const PendingForward& b) {
  return a.server == b.server && a.port == b.port && a.user == b.user && a.key == b.key &&
         a.sent == b.sent && a.first_failure == b.first_failure && a.tries == b.tries;
}

TEST(PendingForwards, EveryByteOfATextSurvivesOnOneLine) {
  std::string every;
  for (int b = 0; b < 256; ++b) every += static_cast<char>(b);
  PendingForwards pending = {Entry("<a@b>", false, 1), Entry(every, true, 10),
                             Entry("\x01noid:0123#2", false, 3), Entry("", true, 0)};
  pending[1].server = "100%\t\n";
  pending[1].user = "us er";
  const std::string text = FormatPendingForwards(pending);
  EXPECT_EQ(text.substr(0, text.find('\n', 25) + 1),
            "tarnu pending forwards 1\nretry\t1700000000\t1\t110\tpop.example.jp\talice\t<a@b>\n");
  EXPECT_EQ(5, std::count(text.begin(), text.end(), '\n'));
  PendingForwards back;
  ASSERT_TRUE(ParsePendingForwards(text, &back));
  ASSERT_EQ(back.size(), pending.size());
  for (std::size_t i = 0; i < pending.size(); ++i) EXPECT_TRUE(Same(back[i], pending[i])) << i;
}

TEST(PendingForwards, LinesThatCannotBeReadAreDropped) {
  const std::string good = "retry\t5\t2\t110\ts\tu\tk\n";
  struct Case {
    const char* what;
    std::string line;
  } bad[] = {
      {"state", "maybe\t5\t2\t110\ts\tu\tk\n"},
      {"field missing", "retry\t5\t2\t110\ts\tu\n"},
      {"field too many", "retry\t5\t2\t110\ts\tu\tk\tx\n"},
      {"number", "retry\t5x\t2\t110\ts\tu\tk\n"},
      {"negative", "retry\t-5\t2\t110\ts\tu\tk\n"},
      {"too big", "retry\t5\t2\t99999999999\ts\tu\tk\n"},
      {"escape cut", "retry\t5\t2\t110\ts\tu\tk%4\n"},
      {"escape not hex", "retry\t5\t2\t110\ts\tu\t%zz\n"},
      {"empty number", "retry\t\t2\t110\ts\tu\tk\n"},
  };
  for (const Case& c : bad) {
    PendingForwards pending;
    ASSERT_TRUE(ParsePendingForwards("tarnu pending forwards 1\n" + c.line + good, &pending))
        << c.what;
    ASSERT_EQ(1u, pending.size()) << c.what;
    EXPECT_EQ("k", pending[0].key);
    EXPECT_EQ(2, pending[0].tries);
  }
  // The last line needs no line feed.
  PendingForwards pending;
  ASSERT_TRUE(ParsePendingForwards("tarnu pending forwards 1\n" + good.substr(0, good.size() - 1),
                                   &pending));
  EXPECT_EQ(1u, pending.size());
  // Another version is not read at all.
  EXPECT_FALSE(ParsePendingForwards("tarnu pending forwards 2\n" + good, &pending));
  EXPECT_TRUE(pending.empty());
}

TEST(PendingForwards, FileIsWrittenReadAndRemovedWhenNothingIsOwed) {
  ScratchDir dir;
  PendingForwards pending = {Entry("<a@b>", false, 1)};
  ASSERT_EQ(0, SavePendingForwards(pending));
  EXPECT_EQ(FormatPendingForwards(pending), ReadFileBytes("tarnu.pending"));
  PendingForwards back = {Entry("stale", true, 9)};
  ASSERT_EQ(0, LoadPendingForwards(&back));
  ASSERT_EQ(1u, back.size());
  EXPECT_TRUE(Same(back[0], pending[0]));
  ASSERT_EQ(0, SavePendingForwards(PendingForwards()));
  EXPECT_EQ(std::vector<std::string>{}, testing::DirectoryListing());
  EXPECT_EQ(0, LoadPendingForwards(&back));
  EXPECT_TRUE(back.empty());
}

TEST(PendingForwards, FileOfAnotherVersionIsKeptAsideBeforeItIsReplaced) {
  ScratchDir dir;
  WriteFileBytes("tarnu.pending", "tarnu pending forwards 7\nwhatever\n");
  PendingForwards pending;
  EXPECT_EQ(-1, LoadPendingForwards(&pending));
  EXPECT_TRUE(pending.empty());
  ASSERT_EQ(0, SavePendingForwards(PendingForwards()));
  EXPECT_EQ("tarnu pending forwards 7\nwhatever\n", ReadFileBytes("tarnu.pending.bak"));
  EXPECT_EQ(Escape("tarnu pending forwards 1\n"), Escape(ReadFileBytes("tarnu.pending")));
}

}  // namespace
}  // namespace tarnu
