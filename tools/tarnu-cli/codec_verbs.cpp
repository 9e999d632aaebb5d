// The codec filters: standard input to standard output as bytes, without
// the terminal's conversion.
#include "codec/base64.h"
#include "codec/charset.h"
#include "codec/header_decode.h"
#include "codec/header_encode.h"
#include "codec/japanese_code.h"
#include "tools/tarnu-cli/cli.h"
#include "tools/tarnu-cli/verbs.h"

namespace tarnu::cli {
namespace {

int DecodeHeader(const Call& call) {
  std::string out;
  int status = DecodeHeaderText(ReadAllInput(), &out);
  // Code page 932 as always, with the geta mark for what it cannot hold,
  // unless UTF-8 is asked for.
  const std::string* encoding = call.Value("encoding");
  const bool utf8 = encoding != nullptr && *encoding != "cp932";
  WriteOutput(utf8 ? out : MailTextToCp932(out));
  return status == 0 ? kExitOk : kExitFailed;
}

int EncodeHeader(const Call&) {
  std::string out;
  EncodeHeaderText(ReadAllInput(), &out);
  WriteOutput(out);
  return kExitOk;
}

int ToSjis(const Call&) {
  std::string text = ReadAllInput();
  ToShiftJis(&text);
  WriteOutput(text);
  return kExitOk;
}

int ToJisVerb(const Call&) {
  std::string text = ReadAllInput();
  ToJis(&text);
  WriteOutput(text);
  return kExitOk;
}

int DetectCode(const Call&) {
  WriteOutput(std::to_string(DetectJapaneseCode(ReadAllInput())) + "\n");
  return kExitOk;
}

int Base64Encode(const Call&) {
  std::string out;
  int status = EncodeBase64(ReadAllInput(), &out);
  WriteOutput(out);
  return status == 0 ? kExitOk : kExitFailed;
}

int Base64Decode(const Call&) {
  std::string out;
  DecodeBase64(ReadAllInput(), &out);
  WriteOutput(out);
  return kExitOk;
}

}  // namespace

const std::vector<VerbSpec> kCodecVerbs = {
    {"decode-header",
     "< HEADER",
     "decodes the encoded words of a header block to code page 932",
     "Exit 1: a malformed encoded word (its bytes are copied as they stand).\n"
     "A character code page 932 cannot hold is printed as the geta mark.",
     {{"encoding", "cp932|utf-8", "the encoding printed (default: cp932)"}},
     kNoCommon,
     {},
     DecodeHeader},
    {"encode-header",
     "< TEXT",
     "encodes a code page 932 header value as forwarded mail carries it",
     "",
     {},
     kNoCommon,
     {},
     EncodeHeader},
    {"to-sjis",
     "< TEXT",
     "converts an EUC-JP or ISO-2022-JP body to Shift_JIS",
     "",
     {},
     kNoCommon,
     {},
     ToSjis},
    {"to-jis",
     "< TEXT",
     "converts a Shift_JIS or EUC-JP body to ISO-2022-JP",
     "",
     {},
     kNoCommon,
     {},
     ToJisVerb},
    {"detect-code",
     "< TEXT",
     "prints the body's encoding: 0 plain, 1 EUC-JP, 2 Shift_JIS, 4 JIS",
     "",
     {},
     kNoCommon,
     {},
     DetectCode},
    {"base64-encode",
     "< BYTES",
     "base64 with a line feed after every 72 characters",
     "",
     {},
     kNoCommon,
     {},
     Base64Encode},
    {"base64-decode", "< TEXT", "decodes base64", "", {}, kNoCommon, {}, Base64Decode},
};

}  // namespace tarnu::cli
