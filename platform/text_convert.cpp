#include "platform/text_convert.h"

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

namespace tarnu::platform {
namespace {

constexpr std::string_view kReplacementUtf8 = "\xEF\xBF\xBD";

#ifdef _WIN32
struct CodePage {
  std::string_view name;
  UINT code_page;
};

// MIME names and the code pages that hold them.
constexpr CodePage kCodePages[] = {
    {"utf-8", CP_UTF8},     {"utf-7", 65000},       {"us-ascii", 20127},    {"shift_jis", 932},
    {"cp932", 932},         {"euc-jp", 20932},      {"iso-2022-jp", 50221}, {"windows-1250", 1250},
    {"windows-1251", 1251}, {"windows-1252", 1252}, {"windows-1253", 1253}, {"windows-1254", 1254},
    {"windows-1255", 1255}, {"windows-1256", 1256}, {"windows-1257", 1257}, {"windows-1258", 1258},
    {"windows-874", 874},   {"cp874", 874},         {"iso-8859-1", 28591},  {"iso-8859-2", 28592},
    {"iso-8859-3", 28593},  {"iso-8859-4", 28594},  {"iso-8859-5", 28595},  {"iso-8859-6", 28596},
    {"iso-8859-7", 28597},  {"iso-8859-8", 28598},  {"iso-8859-9", 28599},  {"iso-8859-10", 28600},
    {"iso-8859-13", 28603}, {"iso-8859-14", 28604}, {"iso-8859-15", 28605}, {"iso-8859-16", 28606},
    {"koi8-r", 20866},      {"koi8-u", 21866},      {"gb18030", 54936},     {"gbk", 936},
    {"gb2312", 936},        {"big5", 950},          {"cp950", 950},         {"cp949", 949},
    {"euc-kr", 949},        {"iso-2022-kr", 50225}, {"ibm866", 866},        {"cp866", 866},
    {"macintosh", 10000},
};

bool LookupCodePage(std::string_view charset, UINT* code_page) {
  for (const CodePage& page : kCodePages) {
    if (page.name == charset) {
      *code_page = page.code_page;
      return IsValidCodePage(page.code_page) != 0;
    }
  }
  return false;
}

int ToWideUnits(UINT code_page, DWORD flags, std::string_view text, wchar_t* out, int room) {
  return MultiByteToWideChar(code_page, flags, text.data(), static_cast<int>(text.size()), out,
                             room);
}

// Bytes that are not text become U+FFFD, one for each byte the conversion
// cannot start a character at, as iconv does on Linux.
std::wstring ToWide(UINT code_page, std::string_view text) {
  if (text.empty()) return std::wstring();
  // The ISO-2022 and UTF-7 code pages take no flags.
  const DWORD strict =
      (code_page >= 50220 && code_page <= 50229) || code_page == 65000 ? 0 : MB_ERR_INVALID_CHARS;
  std::wstring out;
  int wide = ToWideUnits(code_page, strict, text, nullptr, 0);
  if (wide > 0) {
    out.resize(static_cast<std::size_t>(wide));
    ToWideUnits(code_page, strict, text, out.data(), wide);
  } else {
    // The longest valid character at each place, else one byte replaced.
    wchar_t buffer[8];
    for (std::size_t i = 0; i < text.size();) {
      std::size_t taken = 0;
      for (std::size_t n = 1; n <= 4 && i + n <= text.size() && taken == 0; ++n) {
        int got = ToWideUnits(code_page, strict, text.substr(i, n), buffer, 8);
        if (got > 0) {
          out.append(buffer, static_cast<std::size_t>(got));
          taken = n;
        }
      }
      if (taken == 0) {
        out.push_back(L'\xFFFD');
        taken = 1;
      }
      i += taken;
    }
  }
  // Windows reads the single bytes 0x80, 0xA0 and 0xFD-0xFF of code page
  // 932 as U+0080 and private-use characters; they are no text.
  if (code_page == 932) {
    for (wchar_t& c : out) {
      if (c == 0x80 || (c >= 0xF8F0 && c <= 0xF8F3)) c = L'\xFFFD';
    }
  }
  return out;
}

// One character at a time where the code page lacks it, so each becomes the
// replacement on its own.
std::string FromWide(UINT code_page, std::wstring_view text, std::string_view replacement) {
  std::string out;
  const bool utf = code_page == CP_UTF8 || code_page == 65000;
  if (utf && !text.empty()) {
    const int length = static_cast<int>(text.size());
    int bytes =
        WideCharToMultiByte(code_page, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (bytes > 0) {
      out.resize(static_cast<std::size_t>(bytes));
      WideCharToMultiByte(code_page, 0, text.data(), length, out.data(), bytes, nullptr, nullptr);
    }
    return out;
  }
  for (std::size_t i = 0; i < text.size();) {
    std::size_t n = (text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.size()) ? 2 : 1;
    char buffer[16];
    BOOL lost = FALSE;
    int got = WideCharToMultiByte(code_page, utf ? 0 : WC_NO_BEST_FIT_CHARS, text.data() + i,
                                  static_cast<int>(n), buffer, sizeof buffer, nullptr,
                                  utf ? nullptr : &lost);
    if (got <= 0 || lost) {
      out.append(replacement);
    } else {
      out.append(buffer, static_cast<std::size_t>(got));
    }
    i += n;
  }
  return out;
}
#else
// Bytes in a UTF-8 character starting with `lead` (1 for a stray byte), so a
// character the target lacks is skipped whole.
std::size_t Utf8Length(unsigned char lead) {
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  if (lead >= 0xE0) return lead <= 0xEF ? 3 : 1;
  if (lead >= 0xC2) return 2;
  return 1;
}

// The iconv name of a MIME charset name; glibc knows most MIME names as they
// are.
const char* IconvName(std::string_view charset, std::string* storage) {
  if (charset == "shift_jis" || charset == "cp932") return "CP932";
  storage->assign(charset);
  return storage->c_str();
}

// iconv stops at a byte it cannot convert: put the replacement in, skip the
// unit and go on.
// Opening a converter costs far more than most texts take to convert: the
// ones opened are kept for the thread's life, a few pairs of charsets.
iconv_t OpenConverter(const char* from, const char* to) {
  struct Kept {
    std::string from, to;
    iconv_t cd;
  };
  struct KeptList : std::vector<Kept> {
    ~KeptList() {
      for (const Kept& k : *this) iconv_close(k.cd);
    }
  };
  thread_local KeptList kept;
  for (const Kept& k : kept) {
    if (k.from == from && k.to == to) {
      iconv(k.cd, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
      return k.cd;
    }
  }
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return cd;
  if (kept.size() >= 8) {
    iconv_close(kept.front().cd);
    kept.erase(kept.begin());
  }
  try {
    kept.push_back(Kept{from, to, cd});
  } catch (const std::bad_alloc&) {
    iconv_close(cd);
    throw;
  }
  return cd;
}

bool Convert(const char* from, const char* to, std::string_view text, std::string_view replacement,
             bool from_utf8, std::string* out) {
  out->clear();
  iconv_t cd = OpenConverter(from, to);
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    // Out of memory is not an unknown charset.
    if (errno == ENOMEM) throw std::bad_alloc();
    return false;
  }
  std::vector<char> buffer(4096);
  char* in = const_cast<char*>(text.data());
  std::size_t in_left = text.size();
  while (in_left > 0) {
    char* dst = buffer.data();
    std::size_t dst_left = buffer.size();
    std::size_t rc = iconv(cd, &in, &in_left, &dst, &dst_left);
    out->append(buffer.data(), buffer.size() - dst_left);
    if (rc == static_cast<std::size_t>(-1) && errno != E2BIG) {
      out->append(replacement);
      std::size_t skip = from_utf8 ? Utf8Length(static_cast<unsigned char>(*in)) : 1;
      if (errno == EINVAL || skip > in_left) skip = in_left;
      in += skip;
      in_left -= skip;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  // Flush a pending shift state (a stateful charset back to its initial
  // mode).
  char* dst = buffer.data();
  std::size_t dst_left = buffer.size();
  iconv(cd, nullptr, nullptr, &dst, &dst_left);
  out->append(buffer.data(), buffer.size() - dst_left);
  return true;
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

bool CharsetToUtf8(std::string_view charset, std::string_view text, std::string* out) {
  out->clear();
#ifdef _WIN32
  UINT code_page = 0;
  if (!LookupCodePage(charset, &code_page)) return false;
  *out = FromWide(CP_UTF8, ToWide(code_page, text), kReplacementUtf8);
  return true;
#else
  std::string name;
  return Convert(IconvName(charset, &name), "UTF-8", text, kReplacementUtf8, false, out);
#endif
}

bool Utf8ToCharset(std::string_view charset, std::string_view text, std::string_view replacement,
                   std::string* out) {
  out->clear();
#ifdef _WIN32
  UINT code_page = 0;
  if (!LookupCodePage(charset, &code_page)) return false;
  *out = FromWide(code_page, ToWide(CP_UTF8, text), replacement);
  return true;
#else
  std::string name;
  return Convert("UTF-8", IconvName(charset, &name), text, replacement, true, out);
#endif
}

std::string Cp932ToUtf8(std::string_view text) {
  // ASCII is the same bytes in both, and most of what is converted.
  bool ascii = true;
  for (char c : text) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  if (ascii) return std::string(text);
  std::string out;
  if (!CharsetToUtf8("cp932", text, &out)) out.assign(text);
  return out;
}

std::string Utf8ToCp932(std::string_view text, std::string_view replacement) {
  std::string out;
  if (!Utf8ToCharset("cp932", text, replacement, &out)) out.assign(text);
  return out;
}

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
  return IconvExact("CP932", "UTF-8", text, out, bad_at);
#endif
}

#ifndef _WIN32
bool IconvExact(const char* to, const char* from, std::string_view text, std::string* out,
                std::size_t* bad_at) {
  iconv_t cd = iconv_open(to, from);
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
}
#endif

}  // namespace tarnu::platform
