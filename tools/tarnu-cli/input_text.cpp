#include "tools/tarnu-cli/input_text.h"

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/text_convert.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#include <langinfo.h>
#include <clocale>
#endif

namespace tarnu::cli {
namespace {

#ifndef _WIN32
// "EUC-JP", "eucJP" and "euc_jp" are one name.
std::string Folded(std::string_view name) {
  std::string out;
  for (char c : name) {
    if (c == '-' || c == '_') continue;
    out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return out;
}

// The Japanese encodings decode through their Microsoft variants, whose
// characters all have a place in code page 932 (a wave dash typed in EUC-JP
// is the one of code page 932).
InputEncoding Known(std::string_view name) {
  const std::string folded = Folded(name);
  if (folded == "utf8") return {"UTF-8", ""};
  if (folded == "eucjp" || folded == "ujis" || folded == "eucjpms") return {"EUC-JP", "EUC-JP-MS"};
  if (folded == "sjis" || folded == "shiftjis" || folded == "cp932" || folded == "windows31j" ||
      folded == "mskanji" || folded == "ms932") {
    return {"Shift_JIS", "CP932"};
  }
  return {std::string(name), std::string(name)};
}

bool CanDecode(const std::string& iconv_name) {
  if (iconv_name.empty()) return true;
  iconv_t cd = iconv_open("UTF-8", iconv_name.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  iconv_close(cd);
  return true;
}

// The codeset of the user's locale. A locale that is not installed still
// names its codeset ("ja_JP.SJIS"); the C locale's ASCII is taken as UTF-8,
// as scripts started without a locale mostly pass UTF-8.
std::string LocaleCodeset() {
  if (std::setlocale(LC_CTYPE, "") != nullptr) {
    std::string codeset = nl_langinfo(CODESET);
    std::setlocale(LC_CTYPE, "C");
    const std::string folded = Folded(codeset);
    if (folded == "ansix3.41968" || folded == "ascii" || folded.empty()) return "UTF-8";
    return codeset;
  }
  for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value == nullptr || value[0] == '\0') continue;
    std::string_view locale = value;
    std::size_t dot = locale.find('.');
    if (dot == std::string_view::npos) return "UTF-8";
    std::string_view codeset = locale.substr(dot + 1);
    return std::string(codeset.substr(0, codeset.find('@')));
  }
  return "UTF-8";
}
#endif

}  // namespace

std::size_t Utf8At(std::string_view text, std::size_t at, std::uint32_t* code_point) {
  const unsigned char lead = static_cast<unsigned char>(text[at]);
  const std::size_t length = lead < 0x80                    ? 1
                             : lead >= 0xC2 && lead <= 0xDF ? 2
                             : lead >= 0xE0 && lead <= 0xEF ? 3
                             : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                            : 0;
  if (length == 0 || at + length > text.size()) return 0;
  std::uint32_t value = length == 1 ? lead : lead & (0x7Fu >> length);
  for (std::size_t i = 1; i < length; ++i) {
    const unsigned char next = static_cast<unsigned char>(text[at + i]);
    if ((next & 0xC0) != 0x80) return 0;
    value = (value << 6) | (next & 0x3Fu);
  }
  static constexpr std::uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
  if (value < kLeast[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
    return 0;
  }
  *code_point = value;
  return length;
}

bool ChooseInputEncoding(const std::string* option, InputEncoding* encoding) {
#ifdef _WIN32
  // The arguments arrived as UTF-16 and are UTF-8 by now; the option only
  // has to name an encoding.
  *encoding = {"UTF-8", ""};
  return option == nullptr || !option->empty();
#else
  if (option != nullptr) {
    *encoding = Known(*option);
    return !option->empty() && CanDecode(encoding->iconv);
  }
  *encoding = Known(LocaleCodeset());
  // A locale naming an encoding iconv does not know: the bytes are taken
  // as UTF-8 rather than refusing every argument.
  if (!CanDecode(encoding->iconv)) *encoding = {"UTF-8", ""};
  return true;
#endif
}

bool DecodeArgument(std::string_view bytes, const InputEncoding& encoding, std::string* utf8) {
  if (encoding.iconv.empty()) {
    for (std::size_t at = 0; at < bytes.size();) {
      std::uint32_t code_point;
      const std::size_t length = Utf8At(bytes, at, &code_point);
      if (length == 0) return false;
      at += length;
    }
    *utf8 = std::string(bytes);
    return true;
  }
#ifdef _WIN32
  return false;
#else
  utf8->clear();
  std::size_t bad_at = 0;
  return platform::IconvExact("UTF-8", encoding.iconv.c_str(), bytes, utf8, &bad_at);
#endif
}

}  // namespace tarnu::cli

namespace tarnu::cli {

bool ToCodePage932(std::string_view utf8, std::string* cp932, std::string* character,
                   std::string* code) {
  std::size_t bad_at = 0;
  if (platform::Utf8ToCp932Exact(utf8, cp932, &bad_at)) return true;
  std::uint32_t code_point = 0xFFFD;
  std::size_t length = bad_at < utf8.size() ? Utf8At(utf8, bad_at, &code_point) : 0;
  *character = length == 0 ? std::string(u8"\uFFFD") : std::string(utf8.substr(bad_at, length));
  char name[16];
  std::snprintf(name, sizeof name, "U+%04X", static_cast<unsigned>(code_point));
  *code = name;
  return false;
}

#ifdef _WIN32
bool WideToUtf8(const wchar_t* wide, std::string* utf8) {
  utf8->clear();
  if (wide[0] == L'\0') return true;
  int n =
      WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return false;
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide, -1, out.data(), n, nullptr, nullptr);
  out.resize(static_cast<std::size_t>(n - 1));  // the terminator
  *utf8 = std::move(out);
  return true;
}

bool Utf8ToAnsiPath(std::string_view utf8, std::string* path) {
  path->clear();
  if (utf8.empty()) return true;
  int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                  static_cast<int>(utf8.size()), nullptr, 0);
  if (units <= 0) return false;
  std::wstring wide(static_cast<std::size_t>(units), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()),
                      wide.data(), units);
  BOOL used_default = FALSE;
  int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), units, nullptr, 0, "?",
                              &used_default);
  if (n <= 0 || used_default) return false;
  path->resize(static_cast<std::size_t>(n));
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), units, path->data(), n, "?",
                      nullptr);
  return true;
}
#endif

}  // namespace tarnu::cli
