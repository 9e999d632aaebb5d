// Shared by the loader fuzz targets: the loaders open their files by bare
// name, so each target works in a scratch directory it enters once.
#ifndef TARNU_FUZZ_FILE_FUZZ_SUPPORT_H_
#define TARNU_FUZZ_FILE_FUZZ_SUPPORT_H_

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/ui_hooks.h"

namespace tarnu::fuzz {

// The scratch directory is removed when the fuzzer exits.
inline std::string& ScratchPath() {
  static std::string path;
  return path;
}

inline void RemoveScratchDirectory() {
  for (const char* name :
       {"tarnu.pref", "tarnu.pref.tmp", "tarnu.pref.bak", "tarnu.hist.pref", "tarnu.hist.pref.tmp",
        "tarnu.hist.pref.bak", "tarnu.uidl", "tarnu.uidl.tmp", "tarnu.uidl.bak"}) {
    unlink((ScratchPath() + "/" + name).c_str());
  }
  rmdir(ScratchPath().c_str());
}

inline void EnterScratchDirectory() {
  static bool entered = [] {
    // Memory-backed when possible: every save flushes to the disk.
    char shm[] = "/dev/shm/tarnu-fuzz-XXXXXX";
    char tmp[] = "/tmp/tarnu-fuzz-XXXXXX";
    char* dir = mkdtemp(shm);
    if (dir == nullptr) dir = mkdtemp(tmp);
    if (dir == nullptr || chdir(dir) != 0) std::abort();
    ScratchPath() = dir;
    std::atexit(RemoveScratchDirectory);
    return true;
  }();
  (void)entered;
}

inline void WriteWholeFile(const char* name, const unsigned char* data, std::size_t size) {
  std::FILE* f = std::fopen(name, "wb");
  if (f == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);
}

class QuietMessages : public UserMessages {
 public:
  void ShowMessage(const std::string&, MessageIcon) override { ++shown; }
  void RequestQuit(int) override { quit = true; }
  int shown = 0;
  bool quit = false;
};

}  // namespace tarnu::fuzz

#endif  // TARNU_FUZZ_FILE_FUZZ_SUPPORT_H_
