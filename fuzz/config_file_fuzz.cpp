// The settings file loader on arbitrary file bytes. Whatever it loads must
// save and load back unchanged: no value may be too long for its slot.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "fuzz/file_fuzz_support.h"
#include "model/config_file.h"

namespace {

bool SameHost(const tarnu::HostEntry& a, const tarnu::HostEntry& b) {
  return a.name == b.name && a.server == b.server && a.user == b.user && a.password == b.password &&
         a.check == b.check && a.apop == b.apop && a.forward == b.forward &&
         a.notify_address == b.notify_address && a.smtp_server == b.smtp_server &&
         a.smtp_port == b.smtp_port && a.pop3_port == b.pop3_port && a.lines == b.lines &&
         a.timeout == b.timeout && a.subject_prefix == b.subject_prefix &&
         a.rule.switches == b.rule.switches && a.rule.subject_forward == b.rule.subject_forward &&
         a.rule.subject_stop == b.rule.subject_stop && a.rule.from_forward == b.rule.from_forward &&
         a.rule.from_stop == b.rule.from_stop;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tarnu::fuzz::EnterScratchDirectory();
  tarnu::fuzz::WriteWholeFile(tarnu::kConfigFileName, data, size);
  tarnu::fuzz::QuietMessages messages;
  tarnu::AppSettings settings;
  tarnu::HostList hosts;
  tarnu::LoadConfigFile(&settings, &hosts, &messages);
  if (messages.quit) return 0;

  if (tarnu::SaveConfigFile(&settings, hosts, &messages) != 0) std::abort();
  tarnu::fuzz::QuietMessages again_messages;
  tarnu::AppSettings again;
  tarnu::HostList back;
  if (tarnu::LoadConfigFile(&again, &back, &again_messages) != 0) std::abort();
  if (again_messages.shown != 0 || back.size() != hosts.size()) std::abort();
  for (std::size_t i = 0; i < hosts.size(); ++i) {
    if (!SameHost(hosts[i], back[i])) std::abort();
  }
  if (again.interval != settings.interval || again.reserved != settings.reserved ||
      again.periodic_check != settings.periodic_check ||
      std::memcmp(again.quote, settings.quote, sizeof again.quote) != 0 ||
      std::memcmp(again.font.face_name, settings.font.face_name, sizeof again.font.face_name) !=
          0) {
    std::abort();
  }
  return 0;
}
