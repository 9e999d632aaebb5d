// The check cycle wired to the real survey, forwarder and history file. Kept
// apart so that a cycle built with services of its own links without them.
#include "app/check_cycle.h"
#include "model/data_files.h"
#include "model/history_file.h"
#include "net/smtp_forward.h"
#include "net/survey.h"

namespace tarnu {

CheckServices RealCheckServices() {
  CheckServices services;
  services.survey = SurveyMailbox;
  services.forward = ForwardMail;
  services.save_history = SaveHistoryFile;
  services.open_uidl_cache = [] {
    return std::make_unique<UidlCache>(DataFilePath(kUidlCacheFileName), kSurveyFieldsVersion);
  };
  return services;
}

CheckCycle::CheckCycle(HostList* hosts, const AppSettings* settings, CheckFlags* flags,
                       CheckShell* shell)
    : CheckCycle(hosts, settings, flags, shell, RealCheckServices()) {}

}  // namespace tarnu
