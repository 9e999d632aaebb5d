#include "codec/japanese_code.h"

#include <cstring>

#include "codec/jis_sjis.h"

namespace tarnu {

namespace {

constexpr unsigned char kEsc = 0x1B;
constexpr unsigned char kShiftOut = 0x0E;
constexpr unsigned char kShiftIn = 0x0F;
constexpr unsigned char kSingleShift2 = 0x8E;  // EUC-JP: a half-width katakana follows
constexpr unsigned char kSingleShift3 = 0x8F;  // EUC-JP: a JIS X 0212 pair follows

// The geta mark, standing in for a character ISO-2022-JP cannot carry.
constexpr unsigned char kGetaJis1 = 0x22, kGetaJis2 = 0x2E;
constexpr unsigned char kGetaSjis1 = 0x81, kGetaSjis2 = 0xAC;

bool IsEucByte(unsigned char b) { return b >= 0xA1 && b <= 0xFE; }
bool IsJisKana(unsigned char b) { return b >= 0x21 && b <= 0x5F; }

unsigned char At(std::string_view text, std::size_t i) {
  return i < text.size() ? static_cast<unsigned char>(text[i]) : 0;
}

std::string_view UpToNul(std::string_view text) { return text.substr(0, text.find('\0')); }

// Writes ISO-2022-JP: ASCII as it is, two-byte characters between ESC $ B
// and ESC ( B, ending in one-byte mode.
class JisWriter {
 public:
  explicit JisWriter(std::string* out) : out_(out) {}
  void Ascii(unsigned char b) {
    if (two_byte_) {
      out_->append("\x1B(B");
      two_byte_ = false;
    }
    out_->push_back(static_cast<char>(b));
  }
  void Pair(unsigned char j1, unsigned char j2) {
    if (!two_byte_) {
      out_->append("\x1B$B");
      two_byte_ = true;
    }
    out_->push_back(static_cast<char>(j1));
    out_->push_back(static_cast<char>(j2));
  }
  void SjisCharacter(std::uint16_t sjis) {
    unsigned char j1;
    unsigned char j2;
    if (SjisPairToJis(static_cast<unsigned char>(sjis >> 8), static_cast<unsigned char>(sjis), &j1,
                      &j2)) {
      Pair(j1, j2);
    }
  }
  void Finish() {
    if (two_byte_) out_->append("\x1B(B");
    two_byte_ = false;
  }

 private:
  std::string* out_;
  bool two_byte_ = false;
};

// Shift_JIS to ISO-2022-JP. Half-width katakana are widened as in header
// text; a pair that has no JIS code (user-defined and vendor rows) becomes
// the geta mark; a lead byte without a trail byte, and the single bytes
// 0x80, 0xA0 and 0xFD-0xFF, are dropped. The output is 7-bit for any input,
// and no broken byte takes its neighbour with it.
std::string JisFromShiftJis(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 2 + 8);
  JisWriter writer(&out);
  std::size_t i = 0;
  while (i < text.size()) {
    unsigned char b = At(text, i);
    if (b < 0x80) {
      writer.Ascii(b);
      ++i;
    } else if (IsSjisLeadByte(b)) {
      unsigned char t = At(text, i + 1);
      unsigned char j1;
      unsigned char j2;
      if (SjisPairToJis(b, t, &j1, &j2)) {
        writer.Pair(j1, j2);
        i += 2;
      } else if (IsSjisTrailByte(t)) {
        writer.Pair(kGetaJis1, kGetaJis2);
        i += 2;
      } else {
        ++i;
      }
    } else if (IsHalfwidthKana(b)) {
      std::uint16_t wide;
      i += WidenHalfwidthKana(text, i, &wide);
      writer.SjisCharacter(wide);
    } else {
      ++i;
    }
  }
  writer.Finish();
  return out;
}

// EUC-JP to ISO-2022-JP: a pair loses the top bit of each byte. Half-width
// katakana (0x8E k) are widened, a JIS X 0212 character (0x8F a b) becomes
// the geta mark, and a high byte that starts no character is dropped.
std::string JisFromEucJp(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 2 + 8);
  JisWriter writer(&out);
  std::size_t i = 0;
  while (i < text.size()) {
    unsigned char b = At(text, i);
    unsigned char next = At(text, i + 1);
    if (b < 0x80) {
      writer.Ascii(b);
      ++i;
    } else if (IsEucByte(b) && IsEucByte(next)) {
      writer.Pair(b & 0x7F, next & 0x7F);
      i += 2;
    } else if (b == kSingleShift2 && IsHalfwidthKana(next)) {
      const auto& row = HalfwidthKanaTable[next - 0xA1];
      unsigned char mark = At(text, i + 3);
      int column = At(text, i + 2) != kSingleShift2 ? 0 : mark == 0xDE ? 1 : mark == 0xDF ? 2 : 0;
      if (column != 0 && row[column] != 0) {
        writer.SjisCharacter(row[column]);
        i += 4;
      } else {
        writer.SjisCharacter(row[0]);
        i += 2;
      }
    } else if (b == kSingleShift3 && IsEucByte(next) && IsEucByte(At(text, i + 2))) {
      writer.Pair(kGetaJis1, kGetaJis2);
      i += 3;
    } else {
      ++i;
    }
  }
  writer.Finish();
  return out;
}

// ISO-2022-JP to Shift_JIS in place; the text shrinks or keeps its length.
// Returns the new length.
std::size_t IsoToShiftJisInPlace(char* text) {
  auto u = [text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  bool two_byte = false;
  bool kana = false;
  std::size_t r = 0;
  std::size_t w = 0;
  while (text[r] != '\0') {
    unsigned char b = u(r);
    if (b == kEsc && text[r + 1] == '$' && (text[r + 2] == 'B' || text[r + 2] == '@')) {
      two_byte = true;
      kana = false;
      r += 3;
    } else if (b == kEsc && text[r + 1] == '(' &&
               (text[r + 2] == 'B' || text[r + 2] == 'J' || text[r + 2] == 'I')) {
      two_byte = false;
      kana = text[r + 2] == 'I';
      r += 3;
    } else if (b == kShiftOut || b == kShiftIn) {
      two_byte = false;
      kana = b == kShiftOut;
      r += 1;
    } else if (!two_byte) {
      text[w++] = static_cast<char>(kana && IsJisKana(b) ? b | 0x80 : b);
      r += 1;
    } else if (text[r + 1] == '\0') {
      text[w++] = text[r++];
    } else {
      unsigned char s1;
      unsigned char s2;
      if (JisPairToSjis(b, u(r + 1), &s1, &s2)) {
        text[w++] = static_cast<char>(s1);
        text[w++] = static_cast<char>(s2);
      } else {
        // Not a JIS pair (a line break inside two-byte mode, say): kept.
        text[w++] = text[r];
        text[w++] = text[r + 1];
      }
      r += 2;
    }
  }
  text[w] = '\0';
  return w;
}

// EUC-JP to Shift_JIS in place; the text shrinks or keeps its length.
std::size_t EucToShiftJisInPlace(char* text) {
  auto u = [text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  std::size_t r = 0;
  std::size_t w = 0;
  while (text[r] != '\0') {
    unsigned char b = u(r);
    if (b < 0x80 || text[r + 1] == '\0') {
      text[w++] = text[r++];
      continue;
    }
    unsigned char next = u(r + 1);
    unsigned char s1;
    unsigned char s2;
    if (IsEucByte(b) && IsEucByte(next) && JisPairToSjis(b & 0x7F, next & 0x7F, &s1, &s2)) {
      text[w++] = static_cast<char>(s1);
      text[w++] = static_cast<char>(s2);
      r += 2;
    } else if (b == kSingleShift2 && IsHalfwidthKana(next)) {
      text[w++] = static_cast<char>(next);
      r += 2;
    } else if (b == kSingleShift3 && IsEucByte(next) && IsEucByte(u(r + 2))) {
      text[w++] = static_cast<char>(kGetaSjis1);
      text[w++] = static_cast<char>(kGetaSjis2);
      r += 3;
    } else {
      // A high byte that starts no EUC-JP character stays as it is; the byte
      // behind it is examined on its own.
      text[w++] = text[r++];
    }
  }
  text[w] = '\0';
  return w;
}

}  // namespace

int DetectJapaneseCode(std::string_view text) {
  text = UpToNul(text);
  for (std::size_t i = 0; i < text.size(); ++i) {
    unsigned char b = At(text, i);
    if (b == kEsc && At(text, i + 1) == '$') return kCodeIso2022Jp;
    if (b < 0x80) continue;
    if (b >= 0x81 && b <= 0x9F) return kCodeShiftJis;
    if (b >= 0xA1 && b <= 0xDF) return kCodeEucJp;
    if (At(text, i + 1) <= 0xA0) return kCodeShiftJis;
  }
  return kCodePlain;
}

void ToShiftJis(char* text) {
  switch (DetectJapaneseCode(text)) {
    case kCodeEucJp:
      EucToShiftJisInPlace(text);
      break;
    case kCodeIso2022Jp:
      IsoToShiftJisInPlace(text);
      break;
    default:
      break;
  }
}

void ToJis(char* text) {
  std::string converted(text);
  ToJis(&converted);
  std::memcpy(text, converted.c_str(), converted.size() + 1);
}

void ToShiftJis(std::string* text) {
  text->resize(std::strlen(text->c_str()));
  if (text->empty()) return;
  ToShiftJis(&(*text)[0]);
  text->resize(std::strlen(text->c_str()));
}

namespace {

// Runs an in-place converter over every NUL-free stretch of `text`.
std::string EachStretch(std::string_view text, std::size_t (*convert)(char*)) {
  std::string out;
  out.reserve(text.size());
  std::size_t start = 0;
  for (;;) {
    std::size_t end = text.find('\0', start);
    std::string stretch(text.substr(start, end == std::string_view::npos ? end : end - start));
    stretch.resize(convert(stretch.data()));
    out.append(stretch);
    if (end == std::string_view::npos) return out;
    out.push_back('\0');
    start = end + 1;
  }
}

}  // namespace

std::string ShiftJisFromEucJp(std::string_view text) {
  return EachStretch(text, EucToShiftJisInPlace);
}

std::string ShiftJisFromIso2022Jp(std::string_view text) {
  return EachStretch(text, IsoToShiftJisInPlace);
}

std::string Iso2022JpFromShiftJis(std::string_view text) { return JisFromShiftJis(text); }

void ToJis(std::string* text) {
  text->resize(std::strlen(text->c_str()));
  switch (DetectJapaneseCode(*text)) {
    case kCodeShiftJis:
      *text = JisFromShiftJis(*text);
      break;
    case kCodeEucJp:
      *text = JisFromEucJp(*text);
      break;
    default:
      break;
  }
}

}  // namespace tarnu
