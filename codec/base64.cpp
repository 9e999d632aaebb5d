#include "codec/base64.h"

#include <array>
#include <new>
#include <stdexcept>

#include "codec/text_end.h"

namespace tarnu {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::size_t kLineLength = 72;

// Value of each 7-bit character; -1 (all bits set) outside the alphabet.
constexpr std::array<int, 128> MakeDecodeTable() {
  std::array<int, 128> table{};
  for (int& v : table) v = -1;
  for (int i = 0; i < 64; ++i) table[static_cast<unsigned char>(kAlphabet[i])] = i;
  return table;
}
constexpr std::array<int, 128> kDecodeTable = MakeDecodeTable();

// All bits set for characters outside the alphabet, so they enter the
// formulas as -1 would.
unsigned Value(char c) {
  unsigned char b = static_cast<unsigned char>(c);
  return b < 0x80 ? static_cast<unsigned>(kDecodeTable[b]) : ~0u;
}

bool IsSkipped(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

}  // namespace

std::size_t DecodeBase64(std::string_view text, std::string* out) {
  out->clear();
  text = UpToTextEnd(text);
  out->reserve(text.size() / 4 * 3);
  std::size_t i = 0;
  // The next significant character, or false at the end of the text.
  auto next = [&](char* c) {
    while (i < text.size() && IsSkipped(text[i])) ++i;
    if (i >= text.size()) return false;
    *c = text[i++];
    return true;
  };
  char group[4];
  while (next(&group[0])) {
    if (!next(&group[1]) || !next(&group[2]) || !next(&group[3])) {
      out->clear();  // a broken last group spoils the whole text
      return 0;
    }
    if (group[0] == '=' || group[1] == '=') break;
    unsigned a = Value(group[0]);
    unsigned b = Value(group[1]);
    unsigned c = Value(group[2]);
    unsigned d = Value(group[3]);
    out->push_back(static_cast<char>((a << 2) | ((b >> 4) & 3)));
    if (group[2] == '=') break;
    out->push_back(static_cast<char>((b << 4) | ((c >> 2) & 15)));
    if (group[3] == '=') break;
    out->push_back(static_cast<char>((c << 6) | d));
  }
  // Everything after the padding is ignored.
  return out->size();
}

int EncodeBase64(std::string_view data, std::string* out) {
  if (data.empty()) return 0;
  std::size_t chars = (data.size() + 2) / 3 * 4;
  std::size_t lines = (chars + kLineLength - 1) / kLineLength;
  try {
    out->reserve(out->size() + chars + lines);
  } catch (const std::bad_alloc&) {
    return 1;
  } catch (const std::length_error&) {
    return 1;
  }
  // From here on the appends stay within the reserved room.
  std::size_t column = 0;
  auto put_char = [&](char c) {
    out->push_back(c);
    if (++column == kLineLength) {
      out->push_back('\n');
      column = 0;
    }
  };
  auto put = [&](unsigned v) { put_char(kAlphabet[v & 63]); };
  std::size_t i = 0;
  for (; i + 3 <= data.size(); i += 3) {
    unsigned x = static_cast<unsigned char>(data[i]);
    unsigned y = static_cast<unsigned char>(data[i + 1]);
    unsigned z = static_cast<unsigned char>(data[i + 2]);
    put(x >> 2);
    put(((x & 3) << 4) | (y >> 4));
    put(((y & 15) << 2) | (z >> 6));
    put(z);
  }
  std::size_t rest = data.size() - i;
  if (rest > 0) {
    unsigned x = static_cast<unsigned char>(data[i]);
    unsigned y = rest == 2 ? static_cast<unsigned char>(data[i + 1]) : 0;
    put(x >> 2);
    put(((x & 3) << 4) | (y >> 4));
    if (rest == 2) {
      put((y & 15) << 2);
    } else {
      put_char('=');
    }
    put_char('=');
  }
  if (column != 0) out->push_back('\n');
  return 0;
}

}  // namespace tarnu
