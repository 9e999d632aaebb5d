#include "tools/tarnu-cli/codec_verbs.h"

#include "codec/base64.h"
#include "codec/charset.h"
#include "codec/header_decode.h"
#include "codec/header_encode.h"
#include "codec/japanese_code.h"
#include "tools/tarnu-cli/cli.h"

namespace tarnu::cli {

namespace {

// The filters take no arguments at all.
bool NoArguments(const char* verb, const std::vector<std::string>& args, int* exit_code) {
  if (args.empty()) return true;
  *exit_code = UsageError(verb, "unexpected argument " + args[0]);
  return false;
}

}  // namespace

int RunDecodeHeader(const std::vector<std::string>& args) {
  // Code page 932 bytes as always, the geta mark for what it cannot hold;
  // "--encoding utf-8" writes the decoded text as it is.
  bool utf8 = false;
  if (args.size() == 2 && args[0] == "--encoding" && (args[1] == "utf-8" || args[1] == "cp932")) {
    utf8 = args[1] == "utf-8";
  } else {
    int code;
    if (!NoArguments("decode-header", args, &code)) return code;
  }
  std::string out;
  int status = DecodeHeaderText(ReadAllInput(), &out);
  WriteOutput(utf8 ? out : MailTextToCp932(out));
  return status == 0 ? kExitOk : kExitRefused;
}

int RunEncodeHeader(const std::vector<std::string>& args) {
  int code;
  if (!NoArguments("encode-header", args, &code)) return code;
  std::string out;
  EncodeHeaderText(ReadAllInput(), &out);
  WriteOutput(out);
  return kExitOk;
}

int RunToSjis(const std::vector<std::string>& args) {
  int code;
  if (!NoArguments("to-sjis", args, &code)) return code;
  std::string text = ReadAllInput();
  ToShiftJis(&text);
  WriteOutput(text);
  return kExitOk;
}

int RunToJis(const std::vector<std::string>& args) {
  int code;
  if (!NoArguments("to-jis", args, &code)) return code;
  std::string text = ReadAllInput();
  ToJis(&text);
  WriteOutput(text);
  return kExitOk;
}

int RunDetectCode(const std::vector<std::string>& args) {
  int code;
  if (!NoArguments("detect-code", args, &code)) return code;
  WriteOutput(std::to_string(DetectJapaneseCode(ReadAllInput())) + "\n");
  return kExitOk;
}

int RunBase64Encode(const std::vector<std::string>& args) {
  int code;
  if (!NoArguments("base64-encode", args, &code)) return code;
  std::string out;
  int status = EncodeBase64(ReadAllInput(), &out);
  WriteOutput(out);
  return status == 0 ? kExitOk : kExitRefused;
}

int RunBase64Decode(const std::vector<std::string>& args) {
  int code;
  if (!NoArguments("base64-decode", args, &code)) return code;
  std::string out;
  DecodeBase64(ReadAllInput(), &out);
  WriteOutput(out);
  return kExitOk;
}

}  // namespace tarnu::cli
