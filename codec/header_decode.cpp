#include "codec/header_decode.h"

#include <iterator>
#include <new>
#include <stdexcept>

#include "codec/base64.h"
#include "codec/charset.h"
#include "codec/text_end.h"

namespace tarnu {

namespace {

constexpr std::string_view kCharsets[] = {
    "iso-2022-jp", "us-ascii",   "iso-8859-1", "iso-8859-2", "iso-8859-3", "iso-8859-4",
    "iso-8859-5",  "iso-8859-6", "iso-8859-7", "iso-8859-8", "iso-8859-9",
};

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

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
  // RFC 2047 allows either case of the encoding letter.
  char encoding = AsciiUpper(text[p]);
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

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The end of the white space behind `p` that may stand between two encoded
// words: blanks, and line breaks that fold (a blank follows them).
std::size_t SkipFoldingSpace(std::string_view text, std::size_t p) {
  while (p < text.size()) {
    if (IsBlank(text[p])) {
      ++p;
    } else if (text[p] == '\r' && p + 2 < text.size() && text[p + 1] == '\n' &&
               IsBlank(text[p + 2])) {
      p += 2;
    } else if (text[p] == '\n' && p + 1 < text.size() && IsBlank(text[p + 1])) {
      ++p;
    } else {
      break;
    }
  }
  return p;
}

bool SameCharset(std::string_view a, std::string_view b) {
  return a.size() == b.size() && EqualsIgnoringAsciiCase(a, b);
}

// Collects the decoded bytes of adjacent encoded words of one charset, so a
// character split across two words comes out whole, then converts them.
class WordRun {
 public:
  WordRun(std::string* out, std::string_view fallback) : out_(out), fallback_(fallback) {}
  bool Continues(std::string_view charset) const { return open_ && SameCharset(charset, charset_); }
  void Add(std::string_view charset, const std::string& bytes) {
    if (!Continues(charset)) Flush();
    open_ = true;
    charset_ = charset;
    bytes_ += bytes;
  }
  void Flush() {
    if (!open_) return;
    std::string text = DecodeMailText(charset_, bytes_, fallback_);
    // A decoded word never breaks the header's lines.
    for (char& c : text) {
      if (c == '\r' || c == '\n' || c == '\0') c = ' ';
    }
    out_->append(text);
    bytes_.clear();
    open_ = false;
  }

 private:
  std::string* out_;
  std::string_view fallback_;
  std::string_view charset_;
  std::string bytes_;
  bool open_ = false;
};

}  // namespace

int DecodeHeaderText(std::string_view text, std::string* out, std::string_view fallback) {
  out->clear();
  int status = 0;
  try {
    std::string decoded;
    std::string plain;
    WordRun run(out, fallback);
    // Raw bytes between encoded words are converted a line at a time, so a
    // line in another charset cannot spoil its neighbours.
    auto flush_plain = [&]() {
      if (plain.empty()) return;
      out->append(DecodeMailText({}, plain, fallback));
      plain.clear();
    };
    CloseFinder closer(text);
    std::size_t p = 0;
    while (p < text.size()) {
      EncodedWord word;
      if (text[p] != '=' || p + 1 >= text.size() || text[p + 1] != '?') {
        plain.push_back(text[p]);
        if (text[p++] == '\n') flush_plain();
        continue;
      }
      if (!ParseEncodedWord(text, p, &closer, &word)) {
        // A stray "=?" must not cost the rest of the block: it is copied
        // and the scan goes on right behind it, so a well-formed word that
        // the failed one ran into is still found.
        plain.append("=?");
        p += 2;
        status = 1;
        continue;
      }
      flush_plain();
      if (word.encoding == 'B') {
        DecodeBase64(word.encoded, &decoded);
      } else {
        // RFC 2047 4.2: an underscore stands for a space ("=5F" for itself).
        std::string encoded(word.encoded);
        for (char& c : encoded) {
          if (c == '_') c = ' ';
        }
        DecodeQuoted(encoded, &decoded);
      }
      run.Add(word.charset, decoded);
      p = word.end;
      // White space between two encoded words is not part of the text
      // (RFC 2047 6.2).
      std::size_t next = SkipFoldingSpace(text, p);
      EncodedWord following;
      if (next > p && next + 1 < text.size() && text[next] == '=' && text[next + 1] == '?' &&
          ParseEncodedWord(text, next, &closer, &following)) {
        p = next;
      } else {
        run.Flush();
      }
    }
    run.Flush();
    flush_plain();
  } catch (const std::bad_alloc&) {
    return 1;
  } catch (const std::length_error&) {
    return 1;
  }
  return status;
}

}  // namespace tarnu
