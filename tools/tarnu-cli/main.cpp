// tarnu-cli: the portable core driven from a terminal.
#include <cstdio>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "tools/tarnu-cli/cli.h"
#include "tools/tarnu-cli/codec_verbs.h"
#include "tools/tarnu-cli/host_verbs.h"

namespace tarnu::cli {

int CheckVerb(const std::vector<std::string>& args);
int SurveyVerb(const std::vector<std::string>& args);
int RetrieveVerb(const std::vector<std::string>& args);

// One table of every verb; each group's handlers live in their own file.
const std::vector<Verb>& AllVerbs() {
  static const std::vector<Verb> verbs = {
      {"check", "[--encoding cp932]", CheckVerb},
      {"decode-header", "< header block (exit 1: a malformed encoded word)", RunDecodeHeader},
      {"encode-header", "< header value in code page 932", RunEncodeHeader},
      {"to-sjis", "< body text", RunToSjis},
      {"to-jis", "< body text", RunToJis},
      {"detect-code", "< body text (prints 0 plain, 1 EUC-JP, 2 Shift_JIS, 4 ISO-2022-JP)",
       RunDetectCode},
      {"base64-encode", "< bytes", RunBase64Encode},
      {"base64-decode", "< base64 text", RunBase64Decode},
      {"hosts", kHostsUsage, HostsVerb},
      {"host", kHostUsage, HostVerb},
      {"settings", kSettingsUsage, SettingsVerb},
      {"survey",
       "--server S --port P --user U --password W [--apop] [--lines N] [--timeout T] "
       "[--no-pipelining] [--encoding cp932]",
       SurveyVerb},
      {"retrieve",
       "--server S --port P --user U --password W --number K [--size S] [--apop] [--timeout T] "
       "[--encoding cp932]",
       RetrieveVerb},
  };
  return verbs;
}

}  // namespace tarnu::cli

int main(int argc, char** argv) {
#ifdef _WIN32
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  using tarnu::cli::AllVerbs;
  if (argc < 2) return tarnu::cli::UsageError(nullptr, "no verb given");
  std::string name = argv[1];
  for (const tarnu::cli::Verb& verb : AllVerbs()) {
    if (name == verb.name) return verb.run(std::vector<std::string>(argv + 2, argv + argc));
  }
  return tarnu::cli::UsageError(nullptr, "unknown verb " + name);
}
