#include "codec/mime_body.h"

#include <optional>
#include <vector>

#include "codec/charset.h"
#include "codec/header_fields.h"
#include "codec/utf8_text.h"

namespace tarnu {
namespace {

struct Entity {
  std::string_view header;
  std::string_view body;
  bool closed = false;  // a delimiter line followed it: nothing of it is missing
};

std::string_view LineAt(std::string_view text, std::size_t p, std::size_t* next) {
  std::size_t eol = text.find('\n', p);
  *next = eol == std::string_view::npos ? text.size() : eol + 1;
  std::string_view line = text.substr(p, *next - p);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  return line;
}

// A header line: a field name and its colon, or a continuation.
bool IsHeaderLine(std::string_view line) {
  if (line.empty()) return false;
  if (line[0] == ' ' || line[0] == '\t') return true;
  for (char c : line) {
    if (c == ':') return true;
    const auto b = static_cast<unsigned char>(c);
    if (b <= 0x20 || b >= 0x7F) return false;
  }
  return false;
}

// The header ends at the first empty line, or at the first line that is no
// header line (which then starts the body).
Entity SplitEntity(std::string_view text) {
  std::size_t p = 0;
  while (p < text.size()) {
    std::size_t next;
    std::string_view line = LineAt(text, p, &next);
    if (line.empty()) return {text.substr(0, p), text.substr(next), false};
    if (!IsHeaderLine(line)) return {text.substr(0, p), text.substr(p), false};
    p = next;
  }
  return {text, std::string_view(), false};
}

// A delimiter line: "--" boundary, maybe "--", maybe blanks, nothing else.
int DelimiterKind(std::string_view line, std::string_view boundary) {
  if (line.size() < boundary.size() + 2 || line[0] != '-' || line[1] != '-' ||
      line.substr(2, boundary.size()) != boundary) {
    return 0;
  }
  std::string_view rest = line.substr(boundary.size() + 2);
  int kind = 1;
  if (rest.size() >= 2 && rest[0] == '-' && rest[1] == '-') {
    kind = 2;
    rest.remove_prefix(2);
  }
  return rest.find_first_not_of(" \t") == std::string_view::npos ? kind : 0;
}

// The parts between the delimiter lines; the line break before a delimiter
// belongs to it. A body cut short leaves its last part open.
struct Part {
  std::string_view text;
  bool closed;
};

std::vector<Part> SplitParts(std::string_view body, std::string_view boundary, int budget) {
  std::vector<Part> parts;
  std::size_t part_start = std::string_view::npos;
  for (std::size_t p = 0; p < body.size();) {
    std::size_t next;
    std::string_view line = LineAt(body, p, &next);
    const int kind = DelimiterKind(line, boundary);
    if (kind != 0) {
      if (part_start != std::string_view::npos) {
        std::size_t end = p;
        if (end > part_start && body[end - 1] == '\n') --end;
        if (end > part_start && body[end - 1] == '\r') --end;
        parts.push_back({body.substr(part_start, end - part_start), true});
        if (static_cast<int>(parts.size()) >= budget) return parts;
      }
      if (kind == 2) return parts;
      part_start = next;
    }
    p = next;
  }
  if (part_start != std::string_view::npos && part_start <= body.size()) {
    parts.push_back({body.substr(part_start), false});
  }
  return parts;
}

struct Found {
  Entity entity;
  ContentInfo info;
};

Entity EntityOf(const Part& part) {
  Entity entity = SplitEntity(part.text);
  entity.closed = part.closed;
  return entity;
}

class BodyFinder {
 public:
  // True when a text/plain part was found; an html part is kept meanwhile.
  // `known`: the entity's content information, when already read.
  bool Find(const Entity& entity, bool digest_part, int depth, const ContentInfo* known = nullptr) {
    if (--budget_ < 0) return false;
    ContentInfo info = known != nullptr ? *known : ReadContentInfo(entity.header, digest_part);
    if (info.attachment) return false;
    if (info.type == "text") {
      if (info.subtype == "plain") {
        plain_ = Found{entity, std::move(info)};
        return true;
      }
      if (info.subtype == "html" && !html_) html_ = Found{entity, std::move(info)};
      return false;
    }
    if (info.type != "multipart" || info.boundary.empty() ||
        info.boundary.size() > kMimeMaxBoundary || depth >= kMimeMaxDepth) {
      return false;
    }
    const std::vector<Part> parts =
        SplitParts(entity.body, info.boundary, budget_ > 0 ? budget_ : 1);
    if (parts.empty()) return false;
    if (info.subtype == "related") {
      // Only the root: the part named by "start", else the first.
      const Part* root = &parts[0];
      if (!info.start.empty()) {
        for (const Part& part : parts) {
          if (ReadContentInfo(SplitEntity(part.text).header).content_id == info.start) {
            root = &part;
            break;
          }
        }
      }
      return Find(EntityOf(*root), false, depth + 1);
    }
    for (const Part& part : parts) {
      if (Find(EntityOf(part), info.subtype == "digest", depth + 1)) return true;
      if (budget_ <= 0) break;
    }
    return false;
  }

  // The plain part, else the html part, else none.
  const Found* Result() const {
    if (plain_) return &*plain_;
    return html_ ? &*html_ : nullptr;
  }

 private:
  std::optional<Found> plain_;
  std::optional<Found> html_;
  int budget_ = kMimeMaxParts;
};

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

int Hex(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Lines of a text, each ending in CR LF; a last line without a line end
// gets one.
std::string WithCrLf(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 32 + 2);
  for (std::size_t p = 0; p < text.size();) {
    std::size_t next;
    std::string_view line = LineAt(text, p, &next);
    out.append(line);
    out.append("\r\n");
    p = next;
  }
  return out;
}

std::string PartText(const Found& found) {
  std::string bytes;
  if (found.info.encoding == "base64") {
    bytes = DecodeBase64Body(found.entity.body);
  } else if (found.info.encoding == "quoted-printable") {
    bytes = DecodeQuotedPrintableBody(found.entity.body);
  } else {
    bytes.assign(found.entity.body);
  }
  std::string text = DecodeMailText(found.info.charset, bytes);
  if (found.info.subtype == "html") return HtmlToText(text);
  return WithCrLf(text);
}

// ---------------------------------------------------------------- HTML

bool HtmlSpace(std::string_view text, std::size_t p, std::size_t* length) {
  const char c = text[p];
  if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f') {
    *length = 1;
    return true;
  }
  if (c == '\xC2' && p + 1 < text.size() && text[p + 1] == '\xA0') {  // no-break space
    *length = 2;
    return true;
  }
  return false;
}

struct NamedReference {
  std::string_view name;
  char32_t code_point;
};

constexpr NamedReference kNamedReferences[] = {
    {"amp", '&'},      {"lt", '<'},       {"gt", '>'},       {"quot", '"'},     {"apos", '\''},
    {"nbsp", 0xA0},    {"copy", 0xA9},    {"reg", 0xAE},     {"trade", 0x2122}, {"hellip", 0x2026},
    {"mdash", 0x2014}, {"ndash", 0x2013}, {"lsquo", 0x2018}, {"rsquo", 0x2019}, {"ldquo", 0x201C},
    {"rdquo", 0x201D}, {"bull", 0x2022},  {"middot", 0xB7},  {"yen", 0xA5},     {"euro", 0x20AC},
    {"laquo", 0xAB},   {"raquo", 0xBB},   {"times", 0xD7},   {"deg", 0xB0},
};

// Decodes the character reference at text[p] ("&"); false when there is
// none, and `used` bytes were read otherwise.
bool CharacterReference(std::string_view text, std::size_t p, std::size_t* used,
                        char32_t* code_point) {
  std::size_t q = p + 1;
  if (q < text.size() && text[q] == '#') {
    ++q;
    const bool hex = q < text.size() && (text[q] == 'x' || text[q] == 'X');
    if (hex) ++q;
    char32_t value = 0;
    std::size_t digits = 0;
    while (q < text.size() && digits < 8) {
      const int d = hex ? Hex(text[q]) : (text[q] >= '0' && text[q] <= '9' ? text[q] - '0' : -1);
      if (d < 0) break;
      value = value * (hex ? 16 : 10) + static_cast<char32_t>(d);
      ++q;
      ++digits;
    }
    if (digits == 0) return false;
    if (q < text.size() && text[q] == ';') ++q;
    *used = q - p;
    *code_point = value == 0 || value > 0x10FFFF ? 0xFFFD : value;
    return true;
  }
  for (const NamedReference& ref : kNamedReferences) {
    if (text.substr(q, ref.name.size()) == ref.name) {
      q += ref.name.size();
      if (q < text.size() && text[q] == ';') ++q;
      *used = q - p;
      *code_point = ref.code_point;
      return true;
    }
  }
  return false;
}

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

std::string LowerName(std::string_view name) {
  std::string out;
  for (char c : name) out.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c + 0x20) : c);
  return out;
}

bool OneOf(const std::string& name, std::initializer_list<std::string_view> names) {
  for (std::string_view n : names) {
    if (name == n) return true;
  }
  return false;
}

bool BreaksLine(const std::string& tag) {
  return OneOf(tag, {"br",         "p",    "div",     "tr",      "li",     "h1",     "h2",
                     "h3",         "h4",   "h5",      "h6",      "table",  "ul",     "ol",
                     "blockquote", "pre",  "hr",      "dl",      "dt",     "dd",     "center",
                     "address",    "form", "section", "article", "header", "footer", "nav",
                     "aside",      "main", "figure",  "html",    "body"});
}

// The end of a tag: the ">" outside quotes, or the end of the text.
std::size_t TagEnd(std::string_view text, std::size_t p) {
  char quote = 0;
  for (; p < text.size(); ++p) {
    const char c = text[p];
    if (quote != 0) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '>') {
      return p;
    }
  }
  return text.size();
}

}  // namespace

std::string HtmlToText(std::string_view html) {
  std::string flat;  // text with "\n" where a block breaks the line
  int hidden = 0;
  std::size_t p = 0;
  bool space = false;
  auto text_char = [&](std::string_view bytes) {
    if (hidden > 0) return;
    if (space && !flat.empty() && flat.back() != '\n') flat.push_back(' ');
    space = false;
    flat.append(bytes);
  };
  while (p < html.size()) {
    const char c = html[p];
    std::size_t length;
    if (c == '<') {
      if (html.substr(p, 4) == "<!--") {
        std::size_t end = html.find("-->", p + 4);
        p = end == std::string_view::npos ? html.size() : end + 3;
        continue;
      }
      const bool closing = p + 1 < html.size() && html[p + 1] == '/';
      const std::size_t name_start = p + (closing ? 2 : 1);
      if (name_start < html.size() && (html[name_start] == '!' || html[name_start] == '?')) {
        p = TagEnd(html, name_start) + 1;
        continue;
      }
      if (name_start >= html.size() || !IsAsciiLetter(html[name_start])) {
        text_char("<");
        ++p;
        continue;
      }
      std::size_t name_end = name_start;
      while (name_end < html.size() && html[name_end] != '>' && html[name_end] != '/' &&
             html[name_end] != ' ' && html[name_end] != '\t' && html[name_end] != '\r' &&
             html[name_end] != '\n' && html[name_end] != '\f') {
        ++name_end;
      }
      const std::string tag = LowerName(html.substr(name_start, name_end - name_start));
      const std::size_t end = TagEnd(html, name_end);
      const bool self_closing = !closing && end > name_end && html[end - 1] == '/';
      if (OneOf(tag, {"script", "style", "head", "title"})) {
        if (!self_closing) hidden = closing ? (hidden > 0 ? hidden - 1 : 0) : hidden + 1;
        if (!closing && !self_closing && (tag == "script" || tag == "style")) {
          // Their content is not markup: it runs to the closing tag.
          const std::string close = "</" + tag;
          std::size_t q = end + 1;
          while (q < html.size()) {
            std::size_t lt = html.find("</", q);
            if (lt == std::string_view::npos) {
              q = html.size();
              break;
            }
            if (LowerName(html.substr(lt, close.size())) == close) {
              q = lt;
              break;
            }
            q = lt + 2;
          }
          p = q;
          continue;
        }
      } else if (BreaksLine(tag)) {
        flat.push_back('\n');
        space = false;
      } else if (tag == "td" || tag == "th") {
        space = true;
      }
      p = end + 1;
      continue;
    }
    if (HtmlSpace(html, p, &length)) {
      space = true;
      p += length;
      continue;
    }
    if (c == '&') {
      std::size_t used;
      char32_t code_point;
      if (CharacterReference(html, p, &used, &code_point)) {
        p += used;
        if (code_point == 0xA0) {
          space = true;
        } else {
          std::string bytes;
          AppendUtf8(code_point, &bytes);
          text_char(bytes);
        }
        continue;
      }
    }
    text_char(html.substr(p, 1));
    ++p;
  }
  // Lines trimmed of spaces, empty ones dropped.
  std::string out;
  for (std::size_t q = 0; q < flat.size();) {
    std::size_t next;
    std::string_view line = LineAt(flat, q, &next);
    while (!line.empty() && line.front() == ' ') line.remove_prefix(1);
    while (!line.empty() && line.back() == ' ') line.remove_suffix(1);
    if (!line.empty()) {
      out.append(line);
      out.append("\r\n");
    }
    q = next;
  }
  return out;
}

std::string DecodeBase64Body(std::string_view text) {
  std::string out;
  out.reserve(text.size() / 4 * 3 + 3);
  unsigned value = 0;
  int count = 0;
  for (char c : text) {
    if (c == '=') break;
    const int v = Base64Value(c);
    if (v < 0) continue;
    value = (value << 6) | static_cast<unsigned>(v);
    if (++count == 4) {
      out.push_back(static_cast<char>((value >> 16) & 0xFF));
      out.push_back(static_cast<char>((value >> 8) & 0xFF));
      out.push_back(static_cast<char>(value & 0xFF));
      value = 0;
      count = 0;
    }
  }
  // A last group of two or three characters still holds one or two bytes.
  if (count == 2) {
    out.push_back(static_cast<char>((value >> 4) & 0xFF));
  } else if (count == 3) {
    out.push_back(static_cast<char>((value >> 10) & 0xFF));
    out.push_back(static_cast<char>((value >> 2) & 0xFF));
  }
  return out;
}

std::string DecodeQuotedPrintableBody(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '=') {
      out.push_back(text[i]);
      continue;
    }
    // A soft line break: "=" right before the line end (or the end).
    std::size_t j = i + 1;
    if (j == text.size()) break;
    if (text[j] == '\n' || text[j] == '\r') {
      if (text[j] == '\r' && j + 1 < text.size() && text[j + 1] == '\n') ++j;
      i = j;
      continue;
    }
    if (i + 2 < text.size() && Hex(text[i + 1]) >= 0 && Hex(text[i + 2]) >= 0) {
      out.push_back(static_cast<char>(Hex(text[i + 1]) * 16 + Hex(text[i + 2])));
      i += 2;
    } else {
      out.push_back('=');
    }
  }
  return out;
}

bool BodyNeedsDecoding(std::string_view header) {
  return BodyNeedsDecoding(ReadContentInfo(header));
}

bool BodyNeedsDecoding(const ContentInfo& info) {
  return info.type == "multipart" || (info.type == "text" && info.subtype == "html") ||
         info.encoding == "base64" || info.encoding == "quoted-printable";
}

namespace {

std::string BodyText(std::string_view header, std::string_view body, bool* closed,
                     const ContentInfo* info = nullptr) {
  BodyFinder finder;
  finder.Find(Entity{header, body, false}, false, 0, info);
  const Found* found = finder.Result();
  *closed = found != nullptr && found->entity.closed;
  return found == nullptr ? std::string() : PartText(*found);
}

}  // namespace

std::string MessageBodyText(std::string_view header, std::string_view body) {
  bool closed;
  return BodyText(header, body, &closed);
}

std::string MessageBodyExcerpt(std::string_view header, std::string_view body, int lines,
                               bool* complete) {
  return MessageBodyExcerpt(header, ReadContentInfo(header), body, lines, complete);
}

std::string MessageBodyExcerpt(std::string_view header, const ContentInfo& info,
                               std::string_view body, int lines, bool* complete) {
  bool closed;
  const std::string text = BodyText(header, body, &closed, &info);
  std::string out;
  int taken = 0;
  std::size_t p = 0;
  while (p < text.size() && taken < lines) {
    std::size_t eol = text.find("\r\n", p);
    std::size_t next = eol == std::string::npos ? text.size() : eol + 2;
    out.append(text, p, next - p);
    ++taken;
    p = next;
  }
  if (complete != nullptr) *complete = taken >= lines || closed;
  return out;
}

}  // namespace tarnu
