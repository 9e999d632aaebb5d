#include "codec/header_decode.h"

#include <iterator>
#include <new>
#include <stdexcept>

#include "codec/base64.h"
#include "codec/jis_sjis.h"
#include "codec/text_end.h"

namespace tarnu {

namespace {

constexpr std::string_view kCharsets[] = {
    "iso-2022-jp", "us-ascii",   "iso-8859-1", "iso-8859-2", "iso-8859-3", "iso-8859-4",
    "iso-8859-5",  "iso-8859-6", "iso-8859-7", "iso-8859-8", "iso-8859-9",
};

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The parts of one encoded word found at text[start] (which holds "=?").
struct EncodedWord {
  std::string_view charset;
  char encoding;
  std::string_view encoded;
  std::size_t end;  // just behind the closing "?="
};

// Finds the "?=" that closes an encoded text. The scan only moves forward, so
// the last answer is reused while it still holds; a block full of stray
// "=?" without any "?=" then costs one pass instead of one pass per "=?".
class CloseFinder {
 public:
  explicit CloseFinder(std::string_view text) : text_(text) {}
  std::size_t Find(std::size_t from) {
    if (from < searched_from_ || (found_ != std::string_view::npos && from > found_)) {
      searched_from_ = from;
      found_ = text_.find("?=", from);
    }
    return found_;
  }

 private:
  std::string_view text_;
  std::size_t searched_from_ = std::string_view::npos;
  std::size_t found_ = std::string_view::npos;
};

// False when the word is malformed: no "?" closes the charset, the encoding
// is not B or Q followed by "?", or no "?=" closes the encoded text.
bool ParseEncodedWord(std::string_view text, std::size_t start, CloseFinder* closer,
                      EncodedWord* word) {
  std::size_t charset_begin = start + 2;
  std::size_t charset_end = text.find('?', charset_begin);
  if (charset_end == std::string_view::npos) return false;
  std::size_t p = charset_end + 1;
  if (p + 1 >= text.size()) return false;
  char encoding = text[p];
  if ((encoding != 'B' && encoding != 'Q') || text[p + 1] != '?') return false;
  std::size_t encoded_begin = p + 2;
  std::size_t close = closer->Find(encoded_begin);
  if (close == std::string_view::npos) return false;
  word->charset = text.substr(charset_begin, charset_end - charset_begin);
  word->encoding = encoding;
  word->encoded = text.substr(encoded_begin, close - encoded_begin);
  word->end = close + 2;
  return true;
}

}  // namespace

int LookupCharset(std::string_view name) {
  for (std::size_t i = 0; i < std::size(kCharsets); ++i) {
    if (EqualsIgnoringAsciiCase(name, kCharsets[i])) return static_cast<int>(i);
  }
  return kCharsetNotFound;
}

std::size_t DecodeQuoted(std::string_view text, std::string* out) {
  out->clear();
  text = UpToTextEnd(text);
  out->reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    if (text[i] != '=') {
      out->push_back(text[i++]);
      continue;
    }
    // "=" and up to two bytes: a byte when both are hex digits, otherwise
    // everything read so far is dropped.
    if (i + 1 >= text.size()) break;
    int high = HexValue(text[i + 1]);
    if (high < 0) {
      i += 2;
      continue;
    }
    if (i + 2 >= text.size()) break;
    int low = HexValue(text[i + 2]);
    if (low >= 0) out->push_back(static_cast<char>(high * 16 + low));
    i += 3;
  }
  return out->size();
}

int DecodeHeaderText(std::string_view text, std::string* out) {
  out->clear();
  text = UpToTextEnd(text);
  int status = 0;
  try {
    std::string decoded;
    std::string converted;
    CloseFinder closer(text);
    std::size_t p = 0;
    while (p < text.size()) {
      EncodedWord word;
      if (text[p] != '=' || p + 1 >= text.size() || text[p + 1] != '?') {
        out->push_back(text[p++]);
        continue;
      }
      if (!ParseEncodedWord(text, p, &closer, &word)) {
        // A stray "=?" must not cost the rest of the block: it is copied
        // and the scan goes on right behind it, so a well-formed word that
        // the failed one ran into is still found.
        out->append("=?");
        p += 2;
        status = 1;
        continue;
      }
      if (word.encoding == 'B') {
        DecodeBase64(word.encoded, &decoded);
      } else {
        DecodeQuoted(word.encoded, &decoded);
      }
      if (LookupCharset(word.charset) == kCharsetIso2022Jp) {
        JisToSjis(decoded, &converted);
        out->append(converted);
      } else {
        out->append(decoded);
      }
      p = word.end;
    }
  } catch (const std::bad_alloc&) {
    return 1;
  } catch (const std::length_error&) {
    return 1;
  }
  return status;
}

}  // namespace tarnu
