// The verbs that list and edit the settings file: hosts, host, settings.
#ifndef TARNU_TOOLS_TARNU_CLI_HOST_VERBS_H_
#define TARNU_TOOLS_TARNU_CLI_HOST_VERBS_H_

#include <string>
#include <vector>

namespace tarnu::cli {

int HostsVerb(const std::vector<std::string>& args);
int HostVerb(const std::vector<std::string>& args);
int SettingsVerb(const std::vector<std::string>& args);

extern const char kHostsUsage[];
extern const char kHostUsage[];
extern const char kSettingsUsage[];

}  // namespace tarnu::cli

#endif  // TARNU_TOOLS_TARNU_CLI_HOST_VERBS_H_
