#include "platform/text_convert.h"

#include <cerrno>
#include <cstdint>
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

#ifdef _WIN32
// Where the JIS tables of Unicode and code page 932 name one character
// differently, text typed or pasted elsewhere means code page 932's.
struct JisAlias {
  std::uint32_t code_point;
  const char* cp932;
};
constexpr JisAlias kJisAliases[] = {
    {0x00A2, "\x81\x91"}, {0x00A3, "\x81\x92"}, {0x00A5, "\x5C"},
    {0x00AC, "\x81\xCA"}, {0x2014, "\x81\x5C"}, {0x2016, "\x81\x61"},
    {0x203E, "\x7E"},     {0x2212, "\x81\x7C"}, {0x301C, "\x81\x60"},
};

// The code point starting at `at` and its length; 0 when the bytes there
// are not UTF-8 (overlong forms and surrogates included).
std::size_t DecodeUtf8(std::string_view text, std::size_t at, std::uint32_t* code_point) {
  const unsigned char lead = static_cast<unsigned char>(text[at]);
  std::size_t length = lead < 0x80                    ? 1
                       : lead >= 0xC2 && lead <= 0xDF ? 2
                       : lead >= 0xE0 && lead <= 0xEF ? 3
                       : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                      : 0;
  if (length == 0 || at + length > text.size()) return 0;
  std::uint32_t value = length == 1 ? lead : lead & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) {
    const unsigned char next = static_cast<unsigned char>(text[at + i]);
    if ((next & 0xC0) != 0x80) return 0;
    value = (value << 6) | (next & 0x3F);
  }
  static constexpr std::uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
  if (value < kLeast[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
    return 0;
  }
  *code_point = value;
  return length;
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

namespace tarnu::platform {

bool Utf8ToCp932Exact(std::string_view text, std::string* out, std::size_t* bad_at) {
  out->clear();
#ifdef _WIN32
  for (std::size_t at = 0; at < text.size();) {
    std::uint32_t code_point = 0;
    const std::size_t length = DecodeUtf8(text, at, &code_point);
    if (length == 0) {
      *bad_at = at;
      return false;
    }
    at += length;
    if (code_point < 0x80) {
      *out += static_cast<char>(code_point);
      continue;
    }
    const JisAlias* alias = nullptr;
    for (const JisAlias& a : kJisAliases) {
      if (a.code_point == code_point) alias = &a;
    }
    if (alias != nullptr) {
      *out += alias->cp932;
      continue;
    }
    wchar_t wide[2];
    int units = 1;
    if (code_point >= 0x10000) {
      wide[0] = static_cast<wchar_t>(0xD800 + ((code_point - 0x10000) >> 10));
      wide[1] = static_cast<wchar_t>(0xDC00 + ((code_point - 0x10000) & 0x3FF));
      units = 2;
    } else {
      wide[0] = static_cast<wchar_t>(code_point);
    }
    char bytes[8];
    BOOL used_default = FALSE;
    int n = WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, wide, units, bytes, sizeof bytes, "?",
                                &used_default);
    if (n <= 0 || used_default) {
      *bad_at = at - length;
      return false;
    }
    out->append(bytes, static_cast<std::size_t>(n));
  }
  return true;
#else
  iconv_t cd = iconv_open("CP932", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    *bad_at = 0;
    return false;
  }
  std::vector<char> buffer(4096);
  char* in = const_cast<char*>(text.data());
  std::size_t in_left = text.size();
  bool ok = true;
  while (in_left > 0) {
    char* dst = buffer.data();
    std::size_t dst_left = buffer.size();
    std::size_t rc = iconv(cd, &in, &in_left, &dst, &dst_left);
    out->append(buffer.data(), buffer.size() - dst_left);
    if (rc == static_cast<std::size_t>(-1) && errno != E2BIG) {
      *bad_at = static_cast<std::size_t>(in - text.data());
      ok = false;
      break;
    }
  }
  iconv_close(cd);
  return ok;
#endif
}

}  // namespace tarnu::platform
