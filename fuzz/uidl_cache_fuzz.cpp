// The UIDL cache on arbitrary file bytes: what it gives back for a mailbox
// is either nothing or what a store of it gives back after.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/file_fuzz_support.h"
#include "model/uidl_cache.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tarnu::fuzz::EnterScratchDirectory();
  tarnu::fuzz::WriteWholeFile(tarnu::kUidlCacheFileName, data, size);
  const tarnu::UidlMailbox box{"pop.a.example", 110, "alice", 2};
  const std::vector<std::string_view> ids = {"u1", "u2", "u3"};
  std::vector<tarnu::MailEntry> mails(ids.size());
  std::vector<bool> fetched(ids.size());
  {
    tarnu::UidlCache cache(tarnu::kUidlCacheFileName, 1);
    cache.Load();
    cache.Select(box);
    for (std::size_t i = 0; i < ids.size(); ++i) {
      fetched[i] = !cache.Take(ids[i], &mails[i]);
      if (fetched[i]) mails[i].subject = "fetched " + std::string(ids[i]);
    }
    if (!cache.Store(mails, ids, fetched)) std::abort();
  }
  tarnu::UidlCache again(tarnu::kUidlCacheFileName, 1);
  again.Load();
  again.Select(box);
  for (std::size_t i = 0; i < ids.size(); ++i) {
    tarnu::MailEntry back;
    if (!again.Take(ids[i], &back)) std::abort();
    if (back.subject != mails[i].subject || back.from != mails[i].from ||
        back.body != mails[i].body || back.size != mails[i].size) {
      std::abort();
    }
  }
  return 0;
}
