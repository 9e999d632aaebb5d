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
  // No best fit: a character the code page lacks becomes the fallback, as
  // on every other platform, rather than a look-alike ("é" is not "e").
  const DWORD flags = to == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
  int out_len = WideCharToMultiByte(to, flags, wide.data(), wide_len, nullptr, 0,
                                    to == CP_UTF8 ? nullptr : fallback, nullptr);
  std::string out(static_cast<std::size_t>(out_len), '\0');
  WideCharToMultiByte(to, flags, wide.data(), wide_len, out.data(), out_len,
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

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  std::size_t i = 0;
  while (i < n) {
    const unsigned lead = p[i];
    std::size_t length = lead < 0x80                    ? 1
                         : lead >= 0xC2 && lead <= 0xDF ? 2
                         : lead >= 0xE0 && lead <= 0xEF ? 3
                         : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                        : 0;
    char32_t code = length == 1   ? lead
                    : length == 2 ? lead & 0x1F
                    : length == 3 ? lead & 0x0F
                                  : lead & 0x07;
    std::size_t k = 1;
    for (; length > 1 && k < length && i + k < n && (p[i + k] & 0xC0) == 0x80; ++k) {
      code = (code << 6) | (p[i + k] & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
    const bool valid = length != 0 && k == length &&
                       !(length == 3 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) &&
                       !(length == 4 && (code < 0x10000 || code > 0x10FFFF));
    if (!valid) {
      out += u'\uFFFD';
      i += k > 1 ? k : 1;
      continue;
    }
    if (code >= 0x10000) {
      code -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (code >> 10));
      out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
    } else {
      out += static_cast<char16_t>(code);
    }
    i += length;
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t code = text[i];
    if (code >= 0xD800 && code <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      code = 0x10000 + ((code - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (code >= 0xD800 && code <= 0xDFFF) {
      code = 0xFFFD;
    }
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      out += static_cast<char>(0xE0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (code >> 18));
      out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  return out;
}

}  // namespace tarnu::platform
