#include "platform/host_name.h"

#ifdef _WIN32
#include <windows.h>
// <windows.h> maps GetComputerName to GetComputerNameA; keep our own name.
#undef GetComputerName
#else
#include <unistd.h>
#endif

namespace tarnu::platform {

bool GetComputerName(std::string* name) {
  char buffer[256] = {};
#ifdef _WIN32
  DWORD size = 255;
  if (!::GetComputerNameA(buffer, &size)) return false;
#else
  if (::gethostname(buffer, 255) != 0) return false;
#endif
  *name = buffer;
  return true;
}

}  // namespace tarnu::platform
