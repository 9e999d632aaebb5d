#include "codec/charset.h"

#include "codec/japanese_code.h"
#include "codec/jis_sjis.h"
#include "codec/utf8_text.h"
#include "platform/text_convert.h"

namespace tarnu {
namespace {

// The geta mark in code page 932.
constexpr char kGetaCp932[] = "\x81\xAC";

enum class Family { kUtf8, kIso2022Jp, kShiftJis, kEucJp, kGuess, kPlatform };

struct Alias {
  std::string_view label;
  std::string_view name;
};

// Labels read as another name: aliases and the supersets readers use.
constexpr Alias kAliases[] = {
    {"utf8", "utf-8"},
    {"csiso2022jp", "iso-2022-jp"},
    {"iso-2022-jp-1", "iso-2022-jp"},
    {"iso-2022-jp-2", "iso-2022-jp"},
    {"iso-2022-jp-3", "iso-2022-jp"},
    {"iso-2022-jp-ms", "iso-2022-jp"},
    {"cp50220", "iso-2022-jp"},
    {"cp50221", "iso-2022-jp"},
    {"shift-jis", "shift_jis"},
    {"sjis", "shift_jis"},
    {"x-sjis", "shift_jis"},
    {"ms_kanji", "shift_jis"},
    {"csshiftjis", "shift_jis"},
    {"cp932", "shift_jis"},
    {"windows-31j", "shift_jis"},
    {"x-euc-jp", "euc-jp"},
    {"cseucpkdfmtjapanese", "euc-jp"},
    {"eucjp", "euc-jp"},
    {"ascii", "us-ascii"},
    {"iso-8859-1", "windows-1252"},
    {"latin1", "windows-1252"},
    {"iso_8859-1", "windows-1252"},
    {"iso-8859-9", "windows-1254"},
    {"tis-620", "cp874"},
    {"iso-8859-11", "cp874"},
    {"windows-874", "cp874"},
    {"gb2312", "gb18030"},
    {"gbk", "gb18030"},
    {"x-gbk", "gb18030"},
    {"cp936", "gb18030"},
    {"euc-kr", "cp949"},
    {"ks_c_5601-1987", "cp949"},
    {"big5", "cp950"},
    {"x-unknown", ""},
    {"unknown-8bit", ""},
    {"x-user-defined", ""},
};

Family FamilyOf(std::string_view name) {
  if (name == "utf-8") return Family::kUtf8;
  if (name == "iso-2022-jp") return Family::kIso2022Jp;
  if (name == "shift_jis") return Family::kShiftJis;
  if (name == "euc-jp") return Family::kEucJp;
  if (name.empty() || name == "us-ascii") return Family::kGuess;
  return Family::kPlatform;
}

bool HasEightBitOrEscape(std::string_view bytes) {
  for (char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (b >= 0x80 || b == 0x1B) return true;
  }
  return false;
}

std::string Japanese(Family family, std::string_view bytes) {
  switch (family) {
    case Family::kIso2022Jp:
      return platform::Cp932ToUtf8(ShiftJisFromIso2022Jp(bytes));
    case Family::kEucJp:
      return platform::Cp932ToUtf8(ShiftJisFromEucJp(bytes));
    default:
      return platform::Cp932ToUtf8(bytes);
  }
}

// Bytes whose charset is not known: UTF-8 when they are UTF-8, else the
// fallback, else what the body conversion would take them for.
std::string Guess(std::string_view bytes, std::string_view fallback) {
  // ISO-2022-JP is 7-bit, so it is also well-formed UTF-8: its escapes
  // decide first.
  if (bytes.find("\x1B$") != std::string_view::npos) return Japanese(Family::kIso2022Jp, bytes);
  if (IsUtf8(bytes)) return std::string(bytes);
  std::string out;
  // The message's own charset when it is not Japanese; the Japanese
  // encodings are told apart by their bytes.
  if (!fallback.empty()) {
    const std::string name = CanonicalCharset(fallback);
    if (FamilyOf(name) == Family::kPlatform && platform::CharsetToUtf8(name, bytes, &out)) {
      return ValidUtf8(out);
    }
  }
  std::string_view text = bytes;
  switch (DetectJapaneseCode(text.substr(0, text.find('\0')))) {
    case kCodeIso2022Jp:
      return Japanese(Family::kIso2022Jp, bytes);
    case kCodeEucJp:
      return Japanese(Family::kEucJp, bytes);
    default:
      return Japanese(Family::kShiftJis, bytes);
  }
}

}  // namespace

std::string CanonicalCharset(std::string_view label) {
  // Quotes and blanks around it, an RFC 2231 language behind a "*".
  while (!label.empty() && (label.front() == '"' || label.front() == ' ' || label.front() == '\t'))
    label.remove_prefix(1);
  std::size_t star = label.find('*');
  if (star != std::string_view::npos) label = label.substr(0, star);
  while (!label.empty() && (label.back() == '"' || label.back() == ' ' || label.back() == '\t'))
    label.remove_suffix(1);
  std::string name;
  name.reserve(label.size());
  for (char c : label) name.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c + 0x20) : c);
  for (const Alias& alias : kAliases) {
    if (alias.label == name) return std::string(alias.name);
  }
  return name;
}

std::string DecodeMailText(std::string_view charset, std::string_view bytes,
                           std::string_view fallback) {
  const std::string name = CanonicalCharset(charset);
  // UTF-7 is 7-bit and still needs its table.
  if (!HasEightBitOrEscape(bytes) && name != "utf-7") return std::string(bytes);
  const Family family = FamilyOf(name);
  switch (family) {
    case Family::kUtf8:
      return ValidUtf8(bytes);
    case Family::kIso2022Jp:
    case Family::kShiftJis:
    case Family::kEucJp:
      return Japanese(family, bytes);
    case Family::kGuess:
      return Guess(bytes, fallback);
    case Family::kPlatform:
      break;
  }
  std::string out;
  if (platform::CharsetToUtf8(name, bytes, &out)) return ValidUtf8(out);
  return Guess(bytes, fallback);
}

std::string MailTextToCp932(std::string_view utf8) {
  return platform::Utf8ToCp932(utf8, kGetaCp932);
}

std::string MailTextForJis(std::string_view utf8) {
  const std::string cp932 = MailTextToCp932(utf8);
  std::string out;
  out.reserve(cp932.size());
  for (std::size_t i = 0; i < cp932.size();) {
    const auto b = static_cast<unsigned char>(cp932[i]);
    if (IsSjisLeadByte(b) && i + 1 < cp932.size()) {
      unsigned char j1;
      unsigned char j2;
      if (SjisPairToJis(b, static_cast<unsigned char>(cp932[i + 1]), &j1, &j2)) {
        out.append(cp932, i, 2);
      } else {
        out.append(kGetaCp932);
      }
      i += 2;
    } else {
      out.push_back(cp932[i]);
      ++i;
    }
  }
  return out;
}

}  // namespace tarnu
