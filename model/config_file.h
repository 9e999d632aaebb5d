// The settings file "tarnu.pref" in the current directory: the AppSettings
// header and one record per host.
#ifndef TARNU_MODEL_CONFIG_FILE_H_
#define TARNU_MODEL_CONFIG_FILE_H_

#include "model/app_settings.h"
#include "model/host_entry.h"
#include "platform/ui_hooks.h"

namespace tarnu {

inline constexpr char kConfigFileName[] = "tarnu.pref";

// Appends the stored hosts to `hosts` and, on full success only, replaces
// `settings`. Returns 0 or -1; problems are shown through `messages`.
int LoadConfigFile(AppSettings* settings, HostList* hosts, UserMessages* messages);

// Writes the whole file anew; sets the version, magic text and host count of
// `settings` on the way. Returns 0 or -1; problems are shown through
// `messages`.
int SaveConfigFile(AppSettings* settings, const HostList& hosts, UserMessages* messages);

}  // namespace tarnu

#endif  // TARNU_MODEL_CONFIG_FILE_H_
