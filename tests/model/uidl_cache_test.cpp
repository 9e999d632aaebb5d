#include "model/uidl_cache.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/scratch_dir.h"

namespace tarnu {
namespace {

using testing::FileExists;
using testing::ReadFileBytes;
using testing::ScratchDir;
using testing::WriteFileBytes;

constexpr char kFile[] = "tarnu.uidl";
constexpr std::uint32_t kFields = 7;

MailEntry Mail(int n) {
  MailEntry m;
  m.from = "From " + std::to_string(n) + " <f" + std::to_string(n) + "@example.jp>";
  m.subject = "件名 " + std::to_string(n) + std::string(n % 3 ? 0 : 300, 'x');
  m.cc = n % 2 ? "" : "cc@example.jp";
  m.to = "alice@example.com";
  m.body = "本文\r\n" + std::to_string(n) + "\r\n";
  m.message_id = "<m" + std::to_string(n) + "@example.jp>";
  m.size = 1000 + n;
  return m;
}

const UidlMailbox kBoxA{"pop.example.jp", 110, "alice", 2};
const UidlMailbox kBoxB{"pop.example.jp", 110, "bob", 2};

// A mailbox's messages as the survey hands them to Store.
struct Listed {
  std::vector<MailEntry> mails;
  std::vector<std::string> ids;
  std::vector<bool> fetched;
  std::vector<std::string_view> views() const { return {ids.begin(), ids.end()}; }
  void Add(int n, bool was_fetched = true) {
    mails.push_back(Mail(n));
    ids.push_back("uid-" + std::to_string(n));
    fetched.push_back(was_fetched);
  }
};

bool Store(UidlCache* cache, const UidlMailbox& box, const Listed& listed) {
  cache->Select(box);
  return cache->Store(listed.mails, listed.views(), listed.fetched);
}

void ExpectSame(const MailEntry& want, const MailEntry& got, const std::string& where) {
  EXPECT_EQ(want.from, got.from) << where;
  EXPECT_EQ(want.subject, got.subject) << where;
  EXPECT_EQ(want.cc, got.cc) << where;
  EXPECT_EQ(want.to, got.to) << where;
  EXPECT_EQ(want.body, got.body) << where;
  EXPECT_EQ(want.message_id, got.message_id) << where;
  EXPECT_EQ(want.size, got.size) << where;
}

TEST(Crc32, CheckValue) { EXPECT_EQ(Crc32("123456789"), 0xCBF43926u); }

TEST(UidlCache, WhatIsStoredIsTakenBackOnlyForItsMailbox) {
  ScratchDir dir;
  {
    UidlCache cache(kFile, kFields);
    EXPECT_TRUE(cache.Load());  // no file: empty
    Listed a, b;
    for (int n = 1; n <= 3; ++n) a.Add(n);
    b.Add(9);
    ASSERT_TRUE(Store(&cache, kBoxA, a));
    ASSERT_TRUE(Store(&cache, kBoxB, b));
  }
  UidlCache cache(kFile, kFields);
  ASSERT_TRUE(cache.Load());
  EXPECT_EQ(cache.Select(kBoxA), 3u);
  for (int n = 1; n <= 3; ++n) {
    MailEntry got;
    ASSERT_TRUE(cache.Take("uid-" + std::to_string(n), &got)) << n;
    ExpectSame(Mail(n), got, "message " + std::to_string(n));
  }
  MailEntry got;
  EXPECT_FALSE(cache.Take("uid-9", &got));  // bob's
  EXPECT_FALSE(cache.Take("uid-4", &got));
  // Another number of lines is another excerpt: nothing known.
  EXPECT_EQ(cache.Select(UidlMailbox{kBoxA.server, 110, "alice", 3}), 0u);
  EXPECT_FALSE(cache.Take("uid-1", &got));
  EXPECT_EQ(cache.Select(kBoxB), 1u);
  ASSERT_TRUE(cache.Take("uid-9", &got));
  ExpectSame(Mail(9), got, "bob's");
}

TEST(UidlCache, OnlyWhatIsNewIsWrittenAndNothingWhenNothingIs) {
  ScratchDir dir;
  Listed a;
  for (int n = 1; n <= 3; ++n) a.Add(n);
  {
    UidlCache cache(kFile, kFields);
    cache.Load();
    ASSERT_TRUE(Store(&cache, kBoxA, a));
  }
  const std::string first = ReadFileBytes(kFile);
  {
    // Nothing fetched: the file is left as it is.
    UidlCache cache(kFile, kFields);
    cache.Load();
    cache.Select(kBoxA);
    MailEntry m;
    for (const std::string& id : a.ids) ASSERT_TRUE(cache.Take(id, &m));
    Listed same = a;
    same.fetched.assign(3, false);
    ASSERT_TRUE(cache.Store(same.mails, same.views(), same.fetched));
  }
  EXPECT_EQ(ReadFileBytes(kFile), first);
  {
    // One new message: the old bytes stay, the new record follows them.
    UidlCache cache(kFile, kFields);
    cache.Load();
    Listed more = a;
    more.fetched.assign(3, false);
    more.Add(4);
    ASSERT_TRUE(Store(&cache, kBoxA, more));
  }
  const std::string second = ReadFileBytes(kFile);
  ASSERT_GT(second.size(), first.size());
  EXPECT_EQ(second.substr(0, first.size()), first);
  EXPECT_LT(second.size() - first.size(), 200u);
  EXPECT_FALSE(FileExists(std::string(kFile) + ".bak"));
}

// Every prefix of a file, as a crash or a full disk may leave it: what is
// taken is exactly what was stored or nothing, and the next Store leaves a
// file that knows every message again.
TEST(UidlCache, CutAtEveryLength) {
  ScratchDir dir;
  Listed a, b;
  for (int n = 1; n <= 4; ++n) a.Add(n);
  b.Add(7);
  {
    UidlCache cache(kFile, kFields);
    cache.Load();
    ASSERT_TRUE(Store(&cache, kBoxA, a));
    ASSERT_TRUE(Store(&cache, kBoxB, b));
  }
  const std::string whole = ReadFileBytes(kFile);
  for (std::size_t length = 0; length < whole.size(); ++length) {
    const std::string where = "cut at " + std::to_string(length);
    WriteFileBytes(kFile, whole.substr(0, length));
    std::remove((std::string(kFile) + ".bak").c_str());
    bool clean = false;
    {
      // A cache holds its file open (on Windows no one else may open it).
      UidlCache cache(kFile, kFields);
      clean = cache.Load();
      cache.Select(kBoxA);
      Listed surveyed = a;
      for (int n = 1; n <= 4; ++n) {
        MailEntry got;
        const bool known = cache.Take(a.ids[static_cast<std::size_t>(n - 1)], &got);
        if (known) ExpectSame(Mail(n), got, where);
        surveyed.fetched[static_cast<std::size_t>(n - 1)] = !known;
      }
      // The survey fetched what the cache lacked; all of it is kept again.
      ASSERT_TRUE(cache.Store(surveyed.mails, surveyed.views(), surveyed.fetched)) << where;
    }
    EXPECT_EQ(FileExists(std::string(kFile) + ".bak"), !clean) << where;
    UidlCache again(kFile, kFields);
    ASSERT_TRUE(again.Load()) << where;
    ASSERT_EQ(again.Select(kBoxA), 4u) << where;
    for (int n = 1; n <= 4; ++n) {
      MailEntry got;
      ASSERT_TRUE(again.Take(a.ids[static_cast<std::size_t>(n - 1)], &got)) << where;
      ExpectSame(Mail(n), got, where);
    }
  }
}

TEST(UidlCache, DamageAndOtherVersionsReadAsEmptyAndAreKept) {
  ScratchDir dir;
  Listed a;
  for (int n = 1; n <= 3; ++n) a.Add(n);
  {
    UidlCache cache(kFile, kFields);
    cache.Load();
    ASSERT_TRUE(Store(&cache, kBoxA, a));
  }
  const std::string whole = ReadFileBytes(kFile);
  struct Case {
    const char* name;
    std::string bytes;
    std::uint32_t fields;
    std::size_t known;  // records still taken
  };
  std::string flipped = whole;
  flipped[flipped.size() - 5] ^= 0x20;  // inside the last record
  std::string magic = whole;
  magic[0] = 'T';
  const Case cases[] = {
      {"a byte of the last record changed", flipped, kFields, 2},
      {"another magic", magic, kFields, 0},
      {"another fields version", whole, kFields + 1, 0},
      {"not a cache at all", std::string(5000, 'z'), kFields, 0},
  };
  for (const Case& c : cases) {
    WriteFileBytes(kFile, c.bytes);
    std::remove((std::string(kFile) + ".bak").c_str());
    {
      UidlCache cache(kFile, c.fields);
      EXPECT_FALSE(cache.Load()) << c.name;
      EXPECT_EQ(cache.Select(kBoxA), c.known) << c.name;
      ASSERT_TRUE(cache.Store(a.mails, a.views(), a.fetched)) << c.name;
    }
    EXPECT_EQ(ReadFileBytes(std::string(kFile) + ".bak"), c.bytes) << c.name;
    UidlCache again(kFile, c.fields);
    EXPECT_TRUE(again.Load()) << c.name;
    EXPECT_EQ(again.Select(kBoxA), 3u) << c.name;
  }
}

TEST(UidlCache, MessagesGoneFromTheServerAreDroppedPastTheThreshold) {
  ScratchDir dir;
  const int stored = 1200;
  Listed all;
  for (int n = 1; n <= stored; ++n) all.Add(n);
  {
    UidlCache cache(kFile, kFields);
    cache.Load();
    ASSERT_TRUE(Store(&cache, kBoxA, all));
  }
  struct Case {
    int kept;        // messages still on the server, the first ones
    bool rewritten;  // the file shrinks
  } cases[] = {
      {1200 - 200, false},  // 200 gone: under the floor of 256
      {1200 - 300, true},   // 300 gone: past the floor and a quarter of 900
  };
  const std::string full = ReadFileBytes(kFile);
  for (const Case& c : cases) {
    WriteFileBytes(kFile, full);
    {
      UidlCache cache(kFile, kFields);
      cache.Load();
      cache.Select(kBoxA);
      Listed left;
      for (int n = 1; n <= c.kept; ++n) {
        left.Add(n, false);
        MailEntry m;
        ASSERT_TRUE(cache.Take(left.ids.back(), &m));
      }
      ASSERT_TRUE(cache.Store(left.mails, left.views(), left.fetched));
    }
    const std::string after = ReadFileBytes(kFile);
    EXPECT_EQ(after.size() < full.size(), c.rewritten) << c.kept;
    if (!c.rewritten) {
      EXPECT_EQ(after, full) << c.kept;
    }
    UidlCache again(kFile, kFields);
    again.Load();
    EXPECT_EQ(again.Select(kBoxA), static_cast<std::size_t>(c.rewritten ? c.kept : stored))
        << c.kept;
  }
}

TEST(UidlCache, MailboxesOfHostsNoLongerThereGoAtTheNextRewrite) {
  ScratchDir dir;
  Listed a, b;
  for (int n = 1; n <= 300; ++n) b.Add(n);
  a.Add(1000);
  {
    UidlCache cache(kFile, kFields);
    cache.Load();
    ASSERT_TRUE(Store(&cache, kBoxB, b));
    ASSERT_TRUE(Store(&cache, kBoxA, a));
  }
  {
    UidlCache cache(kFile, kFields);
    cache.Load();
    cache.KeepOnly({kBoxA});  // bob's host was removed
    cache.Select(kBoxA);
    MailEntry m;
    ASSERT_TRUE(cache.Take("uid-1000", &m));
    a.fetched.assign(1, false);
    ASSERT_TRUE(cache.Store(a.mails, a.views(), a.fetched));
  }
  UidlCache again(kFile, kFields);
  again.Load();
  EXPECT_EQ(again.Select(kBoxB), 0u);
  EXPECT_EQ(again.Select(kBoxA), 1u);
}

TEST(UidlCache, AHostOnTheSameMailboxFindsWhatTheFirstStored) {
  ScratchDir dir;
  UidlCache cache(kFile, kFields);
  cache.Load();
  Listed a;
  a.Add(1);
  ASSERT_TRUE(Store(&cache, kBoxA, a));  // the file is new: written whole
  a.fetched.assign(1, false);
  a.Add(2);
  ASSERT_TRUE(Store(&cache, kBoxA, a));  // appended
  EXPECT_EQ(cache.Select(kBoxA), 2u);
  MailEntry m;
  ASSERT_TRUE(cache.Take("uid-2", &m));
  ExpectSame(Mail(2), m, "appended");
}

}  // namespace
}  // namespace tarnu
