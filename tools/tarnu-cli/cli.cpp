#include "tools/tarnu-cli/cli.h"

#include <cstdio>

#include "codec/charset.h"
#include "platform/text_convert.h"

namespace tarnu::cli {
namespace {

bool raw_output = false;

// The output's encoding: UTF-8, or with --encoding cp932 the code page 932
// bytes exactly as tarnu holds them (mail text with the geta mark for what
// code page 932 cannot hold).
std::string Convert(std::string_view text, TextKind kind) {
  if (!raw_output) return ToUtf8(text, kind);
  switch (kind) {
    case TextKind::kCp932:
      break;
    case TextKind::kMail:
      return MailTextToCp932(text);
    case TextKind::kUtf8:
      return platform::Utf8ToCp932(text);
  }
  return std::string(text);
}

}  // namespace

std::string ToUtf8(std::string_view text, TextKind kind) {
  switch (kind) {
    case TextKind::kCp932:
      return platform::Cp932ToUtf8(text);
    case TextKind::kMail:
    case TextKind::kUtf8:
      break;
  }
  return std::string(text);
}

void SetRawOutput(bool raw_cp932) { raw_output = raw_cp932; }
bool RawOutput() { return raw_output; }

namespace {

// A control character other than the line ends and tab: ESC, BEL, BS and
// their kind would reach the terminal as commands (colours, titles, cursor
// moves) from any mail or server that sends them.
bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7F; }

void PutEscaped(std::string* out, unsigned char c) {
  static const char kHex[] = "0123456789ABCDEF";
  *out += "\\x";
  *out += kHex[c >> 4];
  *out += kHex[c & 0x0F];
}

}  // namespace

std::string TerminalText(std::string_view text, TextKind kind) {
  const std::string converted = Convert(text, kind);
  std::string out;
  out.reserve(converted.size());
  for (char c : converted) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\n':
        out += "\\n";
        break;
      default:
        if (IsControl(static_cast<unsigned char>(c))) {
          PutEscaped(&out, static_cast<unsigned char>(c));
        } else {
          out += c;
        }
    }
  }
  return out;
}

std::string TerminalBlock(std::string_view text, TextKind kind) {
  const std::string converted = Convert(text, kind);
  std::string out;
  out.reserve(converted.size());
  for (char c : converted) {
    const unsigned char b = static_cast<unsigned char>(c);
    if (IsControl(b) && c != '\t' && c != '\r' && c != '\n') {
      PutEscaped(&out, b);
    } else {
      out += c;
    }
  }
  return out;
}

std::string ReadAllInput() {
  std::string data;
  char buffer[65536];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, stdin)) > 0) data.append(buffer, n);
  return data;
}

void WriteOutput(std::string_view bytes) {
  std::fwrite(bytes.data(), 1, bytes.size(), stdout);
  std::fflush(stdout);
}

void WriteError(std::string_view bytes) {
  std::fwrite(bytes.data(), 1, bytes.size(), stderr);
  std::fflush(stderr);
}

void ErrorLine(std::string_view text, TextKind kind) {
  WriteError(TerminalText(text, kind) + "\n");
}

int RefuseOption(std::string_view option, std::string_view cp932_message) {
  WriteError(TerminalText("--" + std::string(option) + ": ", TextKind::kUtf8) +
             TerminalText(cp932_message, TextKind::kCp932) + "\n");
  return kExitFailed;
}

}  // namespace tarnu::cli
