// The history file loader on arbitrary file bytes, against hosts whose
// server addresses the seeds use. What it attaches must save and load back
// the same, except Message-IDs too long for a slot, which are not stored.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz/file_fuzz_support.h"
#include "model/history_file.h"

namespace {

tarnu::HostList Hosts() {
  tarnu::HostList hosts(4);
  hosts[0].server = "pop.a.example";
  hosts[1].server = "pop.b.example";
  hosts[2].server = "pop.a.example";
  hosts[3].server = "";
  return hosts;
}

// The keys a history holds that fit a slot, in order.
std::vector<std::string> Keys(const tarnu::HostEntry& host) {
  std::vector<std::string> fit;
  for (std::string& key : tarnu::HistoryKeys(host.history)) {
    if (key.size() <= 756) fit.push_back(std::move(key));
  }
  return fit;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tarnu::fuzz::EnterScratchDirectory();
  tarnu::fuzz::WriteWholeFile(tarnu::kHistoryFileName, data, size);
  tarnu::fuzz::QuietMessages messages;
  tarnu::HostList hosts = Hosts();
  tarnu::LoadHistoryFile(&hosts, &messages);
  if (messages.quit) return 0;

  if (tarnu::SaveHistoryFile(hosts, &messages) != 0) std::abort();
  tarnu::fuzz::QuietMessages again_messages;
  tarnu::HostList back = Hosts();
  if (tarnu::LoadHistoryFile(&back, &again_messages) != 0 || again_messages.shown != 0) {
    std::abort();
  }
  for (std::size_t h = 0; h < hosts.size(); ++h) {
    if (Keys(hosts[h]) != Keys(back[h])) std::abort();
  }
  return 0;
}
