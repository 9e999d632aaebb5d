#include "platform/text_convert.h"

#include <cerrno>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

namespace tarnu::platform {
namespace {

#ifdef _WIN32
std::string Convert(std::string_view text, UINT from, UINT to, const char* fallback) {
  if (text.empty()) return std::string();
  int wide_len =
      MultiByteToWideChar(from, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(wide_len), L'\0');
  MultiByteToWideChar(from, 0, text.data(), static_cast<int>(text.size()), wide.data(), wide_len);
  int out_len = WideCharToMultiByte(to, 0, wide.data(), wide_len, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(out_len), '\0');
  WideCharToMultiByte(to, 0, wide.data(), wide_len, out.data(), out_len,
                      to == CP_UTF8 ? nullptr : fallback, nullptr);
  return out;
}
#else
// iconv stops at a byte it cannot convert; put the replacement in and go on.
std::string Convert(std::string_view text, const char* from, const char* to,
                    std::string_view replacement, std::size_t skip_unit) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(text);
  std::string out;
  std::vector<char> buffer(4096);
  char* in = const_cast<char*>(text.data());
  std::size_t in_left = text.size();
  while (in_left > 0) {
    char* dst = buffer.data();
    std::size_t dst_left = buffer.size();
    std::size_t rc = iconv(cd, &in, &in_left, &dst, &dst_left);
    out.append(buffer.data(), buffer.size() - dst_left);
    if (rc == static_cast<std::size_t>(-1) && errno != E2BIG) {
      out.append(replacement);
      std::size_t skip = in_left < skip_unit ? in_left : skip_unit;
      in += skip;
      in_left -= skip;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  iconv_close(cd);
  return out;
}
#endif

}  // namespace

std::string Cp932ToUtf8(std::string_view text) {
#ifdef _WIN32
  return Convert(text, 932, CP_UTF8, nullptr);
#else
  return Convert(text, "CP932", "UTF-8", "\xEF\xBF\xBD", 1);
#endif
}

std::string Utf8ToCp932(std::string_view text) {
#ifdef _WIN32
  return Convert(text, CP_UTF8, 932, "?");
#else
  return Convert(text, "UTF-8", "CP932", "?", 1);
#endif
}

}  // namespace tarnu::platform
