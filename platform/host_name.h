// The computer's name, for the SMTP greeting.
#ifndef TARNU_PLATFORM_HOST_NAME_H_
#define TARNU_PLATFORM_HOST_NAME_H_

#include <string>

// A file that included <windows.h> first must still reach this function.
#ifdef GetComputerName
#undef GetComputerName
#endif

namespace tarnu::platform {

// GetComputerNameA on Windows, gethostname elsewhere; false on failure.
bool GetComputerName(std::string* name);

}  // namespace tarnu::platform

#endif  // TARNU_PLATFORM_HOST_NAME_H_
