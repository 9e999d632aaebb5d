// The codec filters of the console front end: standard input to standard
// output, raw bytes, no conversion.
#ifndef TARNU_TOOLS_TARNU_CLI_CODEC_VERBS_H_
#define TARNU_TOOLS_TARNU_CLI_CODEC_VERBS_H_

#include <string>
#include <vector>

namespace tarnu::cli {

int RunDecodeHeader(const std::vector<std::string>& args);
int RunEncodeHeader(const std::vector<std::string>& args);
int RunToSjis(const std::vector<std::string>& args);
int RunToJis(const std::vector<std::string>& args);
int RunDetectCode(const std::vector<std::string>& args);
int RunBase64Encode(const std::vector<std::string>& args);
int RunBase64Decode(const std::vector<std::string>& args);

}  // namespace tarnu::cli

#endif  // TARNU_TOOLS_TARNU_CLI_CODEC_VERBS_H_
