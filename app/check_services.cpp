// The check cycle wired to the real survey, forwarder and data files. Kept
// apart so that a cycle built with services of its own links without them.
//
// One check at a time runs over a data folder: a check holds the lock file
// "tarnu.check.lock" from its start to its end (tarnu.exe does not wait for
// it; tarnu-cli waits a little). The files a check reads and writes are
// read and written under "tarnu.lock", the lock every short edit of the data
// files takes, always after the check lock and never the other way round.
#include <memory>
#include <new>

#include "app/check_cycle.h"
#include "model/data_files.h"
#include "model/history_file.h"
#include "model/pending_forwards.h"
#include "net/smtp_forward.h"
#include "net/survey.h"
#include "platform/file_lock.h"

namespace tarnu {
namespace {

constexpr char kDataLockName[] = "tarnu.lock";
// Short edits hold the data lock for moments; a holder that keeps it longer
// is not waited for any further (the check lock already keeps other checks
// out).
constexpr int kDataLockWaitMs = 10000;

// Takes the data lock for the scope of one read or write.
class DataLock {
 public:
  DataLock() {
    try {
      lock_.Lock(DataFilePath(kDataLockName), kDataLockWaitMs);
    } catch (const std::bad_alloc&) {
      // Without memory there is no lock; the write fails on its own.
    }
  }

 private:
  platform::FileLock lock_;
};

}  // namespace

CheckServices RealCheckServices(int wait_ms) {
  CheckServices services;
  services.survey = SurveyMailbox;
  services.forward = ForwardMail;
  auto check_lock = std::make_shared<platform::FileLock>();
  services.begin_check = [check_lock, wait_ms](HostList* hosts, UserMessages* messages) {
    platform::LockResult taken;
    try {
      taken = check_lock->Lock(DataFilePath(kCheckLockFileName), wait_ms);
    } catch (const std::bad_alloc&) {
      taken = platform::LockResult::kFailed;
    }
    // A folder where no lock file can be made (read-only, say) is checked
    // as before, without one.
    if (taken == platform::LockResult::kBusy) return false;
    DataLock data;
    ReloadHistoryFileIfChanged(hosts, messages);
    return true;
  };
  services.end_check = [check_lock]() { check_lock->Unlock(); };
  services.load_pending = [](PendingForwards* pending) {
    DataLock data;
    LoadPendingForwards(pending);
  };
  services.save_pending = [](const PendingForwards& pending) {
    DataLock data;
    return SavePendingForwards(pending);
  };
  services.save_history = [](const HostList& hosts, UserMessages* messages) {
    DataLock data;
    return SaveHistoryFile(hosts, messages);
  };
  // Read and written only inside a check, under its lock.
  services.open_uidl_cache = [] {
    return std::make_unique<UidlCache>(DataFilePath(kUidlCacheFileName), kSurveyFieldsVersion);
  };
  return services;
}

CheckCycle::CheckCycle(HostList* hosts, const AppSettings* settings, CheckFlags* flags,
                       CheckShell* shell)
    : CheckCycle(hosts, settings, flags, shell, RealCheckServices()) {}

}  // namespace tarnu
