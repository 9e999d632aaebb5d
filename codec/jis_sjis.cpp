#include "codec/jis_sjis.h"

#include "codec/text_end.h"

namespace tarnu {

namespace {

constexpr char kEsc = 0x1B;
constexpr char kShiftOut = 0x0E;  // SO: katakana on
constexpr char kShiftIn = 0x0F;   // SI: katakana off

bool InJisRange(unsigned char b) { return b >= 0x21 && b <= 0x7E; }

void AppendPair(unsigned char a, unsigned char b, std::string* out) {
  out->push_back(static_cast<char>(a));
  out->push_back(static_cast<char>(b));
}

}  // namespace

bool JisPairToSjis(unsigned char j1, unsigned char j2, unsigned char* s1, unsigned char* s2) {
  if (!InJisRange(j1) || !InJisRange(j2)) return false;
  int lead = ((j1 - 0x21) >> 1) + 0x81;
  if (lead > 0x9F) lead += 0x40;
  int trail;
  if (j1 & 1) {
    trail = j2 + 0x1F + (j2 >= 0x60 ? 1 : 0);
  } else {
    trail = j2 + 0x7E;
  }
  *s1 = static_cast<unsigned char>(lead);
  *s2 = static_cast<unsigned char>(trail);
  return true;
}

bool SjisPairToJis(unsigned char s1, unsigned char s2, unsigned char* j1, unsigned char* j2) {
  // Without these two checks the arithmetic also "converts" half-width
  // katakana (0xC1-0xDF) and the trail 0x7F into valid-looking pairs.
  if (!IsSjisLeadByte(s1) || !IsSjisTrailByte(s2)) return false;
  int k = s1 < 0xA0 ? s1 - 0x81 : s1 - 0xC1;
  int hi;
  int lo;
  if (s2 < 0x9F) {
    hi = 2 * k + 0x21;
    lo = s2 - 0x1F - (s2 > 0x7E ? 1 : 0);
  } else {
    hi = 2 * k + 0x22;
    lo = s2 - 0x7E;
  }
  int value = hi * 256 + lo;
  if (value <= 0x2120 || value > 0x7E7E || lo < 0x21 || lo > 0x7E) return false;
  *j1 = static_cast<unsigned char>(hi);
  *j2 = static_cast<unsigned char>(lo);
  return true;
}

// Shift_JIS codes of the full-width forms: plain, with the voiced mark, with
// the semi-voiced mark.
const std::array<std::array<std::uint16_t, 3>, 63> HalfwidthKanaTable = {{
    {0x8142, 0, 0},            // A1 ideographic full stop
    {0x8175, 0, 0},            // A2 opening corner bracket
    {0x8176, 0, 0},            // A3 closing corner bracket
    {0x8141, 0, 0},            // A4 ideographic comma
    {0x8145, 0, 0},            // A5 middle dot
    {0x8392, 0, 0},            // A6 wo
    {0x8340, 0, 0},            // A7 small a
    {0x8342, 0, 0},            // A8 small i
    {0x8344, 0, 0},            // A9 small u
    {0x8346, 0, 0},            // AA small e
    {0x8348, 0, 0},            // AB small o
    {0x8383, 0, 0},            // AC small ya
    {0x8385, 0, 0},            // AD small yu
    {0x8387, 0, 0},            // AE small yo
    {0x8362, 0, 0},            // AF small tsu
    {0x815B, 0, 0},            // B0 prolonged sound mark
    {0x8341, 0, 0},            // B1 a
    {0x8343, 0, 0},            // B2 i
    {0x8345, 0, 0},            // B3 u (no combined vu on purpose)
    {0x8347, 0, 0},            // B4 e
    {0x8349, 0, 0},            // B5 o
    {0x834A, 0x834B, 0},       // B6 ka ga
    {0x834C, 0x834D, 0},       // B7 ki gi
    {0x834E, 0x834F, 0},       // B8 ku gu
    {0x8350, 0x8351, 0},       // B9 ke ge
    {0x8352, 0x8353, 0},       // BA ko go
    {0x8354, 0x8355, 0},       // BB sa za
    {0x8356, 0x8357, 0},       // BC shi ji
    {0x8358, 0x8359, 0},       // BD su zu
    {0x835A, 0x835B, 0},       // BE se ze
    {0x835C, 0x835D, 0},       // BF so zo
    {0x835E, 0x835F, 0},       // C0 ta da
    {0x8360, 0x8361, 0},       // C1 chi dji
    {0x8363, 0x8364, 0},       // C2 tsu dzu
    {0x8365, 0x8366, 0},       // C3 te de
    {0x8367, 0x8368, 0},       // C4 to do
    {0x8369, 0, 0},            // C5 na
    {0x836A, 0, 0},            // C6 ni
    {0x836B, 0, 0},            // C7 nu
    {0x836C, 0, 0},            // C8 ne
    {0x836D, 0, 0},            // C9 no
    {0x836E, 0x836F, 0x8370},  // CA ha ba pa
    {0x8371, 0x8372, 0x8373},  // CB hi bi pi
    {0x8374, 0x8375, 0x8376},  // CC fu bu pu
    {0x8377, 0x8378, 0x8379},  // CD he be pe
    {0x837A, 0x837B, 0x837C},  // CE ho bo po
    {0x837D, 0, 0},            // CF ma
    {0x837E, 0, 0},            // D0 mi
    {0x8380, 0, 0},            // D1 mu
    {0x8381, 0, 0},            // D2 me
    {0x8382, 0, 0},            // D3 mo
    {0x8384, 0, 0},            // D4 ya
    {0x8386, 0, 0},            // D5 yu
    {0x8388, 0, 0},            // D6 yo
    {0x8389, 0, 0},            // D7 ra
    {0x838A, 0, 0},            // D8 ri
    {0x838B, 0, 0},            // D9 ru
    {0x838C, 0, 0},            // DA re
    {0x838D, 0, 0},            // DB ro
    {0x838F, 0, 0},            // DC wa
    {0x8393, 0, 0},            // DD n
    {0x814A, 0, 0},            // DE voiced sound mark
    {0x814B, 0, 0},            // DF semi-voiced sound mark
}};

std::size_t WidenHalfwidthKana(std::string_view text, std::size_t i, std::uint16_t* sjis) {
  const auto& row = HalfwidthKanaTable[static_cast<unsigned char>(text[i]) - 0xA1];
  if (i + 1 < text.size()) {
    unsigned char mark = static_cast<unsigned char>(text[i + 1]);
    int column = mark == 0xDE ? 1 : mark == 0xDF ? 2 : 0;
    if (column != 0 && row[column] != 0) {
      *sjis = row[column];
      return 2;
    }
  }
  *sjis = row[0];
  return 1;
}

int JisToSjis(std::string_view text, std::string* out) {
  out->clear();
  text = UpToTextEnd(text);
  bool two_byte = false;
  bool shift = false;
  bool pending = false;
  unsigned char first = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    unsigned char b = static_cast<unsigned char>(text[i]);
    if (pending) {
      unsigned char s1;
      unsigned char s2;
      if (JisPairToSjis(first, b, &s1, &s2)) {
        AppendPair(s1, s2, out);
      } else {
        AppendPair(first, b, out);
      }
      pending = false;
      ++i;
      continue;
    }
    if (b == kShiftIn || b == kShiftOut) {
      shift = b == kShiftOut;
      ++i;
      continue;
    }
    if (b == kEsc) {
      if (i + 1 >= text.size()) {
        out->push_back(kEsc);
        return 0;
      }
      char intro = text[i + 1];
      if (intro != '$' && intro != '(') {
        out->push_back(kEsc);  // the byte behind it is examined on its own
        ++i;
        continue;
      }
      if (i + 2 >= text.size()) {
        out->append(text.substr(i, 2));
        return 0;
      }
      char designator = text[i + 2];
      if (intro == '$' && (designator == '@' || designator == 'B')) {
        two_byte = true;
        shift = false;
      } else if (intro == '(' && (designator == 'B' || designator == 'J' || designator == 'H')) {
        two_byte = false;
        shift = false;
      } else if (intro == '(' && designator == 'I') {
        two_byte = false;
        shift = true;
      } else {
        out->append(text.substr(i, 2));  // the third byte is examined on its own
        i += 2;
        continue;
      }
      i += 3;
      continue;
    }
    if (shift && InJisRange(b)) b |= 0x80;
    if (two_byte) {
      first = b;
      pending = true;
    } else {
      out->push_back(static_cast<char>(b));
    }
    ++i;
  }
  if (pending) out->push_back(static_cast<char>(first));
  return 0;
}

int SjisToJis(std::string_view text, std::string* out) {
  out->clear();
  text = UpToTextEnd(text);
  bool two_byte = false;
  auto emit = [&](unsigned char j1, unsigned char j2) {
    if (!two_byte) {
      out->append("\x1B$B");
      two_byte = true;
    }
    AppendPair(j1, j2, out);
  };
  std::size_t i = 0;
  while (i < text.size()) {
    unsigned char b = static_cast<unsigned char>(text[i]);
    if (IsSjisLeadByte(b)) {
      // A lead byte that cannot pair (or ends the text) is dropped alone;
      // the byte behind it is examined on its own.
      unsigned char j1;
      unsigned char j2;
      if (i + 1 < text.size() &&
          SjisPairToJis(b, static_cast<unsigned char>(text[i + 1]), &j1, &j2)) {
        emit(j1, j2);
        i += 2;
      } else {
        ++i;
      }
    } else if (IsHalfwidthKana(b)) {
      std::uint16_t wide;
      i += WidenHalfwidthKana(text, i, &wide);
      unsigned char j1;
      unsigned char j2;
      SjisPairToJis(static_cast<unsigned char>(wide >> 8), static_cast<unsigned char>(wide), &j1,
                    &j2);
      emit(j1, j2);
    } else {
      if (two_byte) {
        out->append("\x1B(B");
        two_byte = false;
      }
      out->push_back(static_cast<char>(b));
      ++i;
    }
  }
  if (two_byte) out->append("\x1B(B");
  return 0;
}

}  // namespace tarnu
