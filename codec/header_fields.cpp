#include "codec/header_fields.h"

#include <algorithm>
#include <map>

#include "codec/utf8_text.h"

namespace tarnu {
namespace {

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string LowerCopy(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) out.push_back(Lower(c));
  return out;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (IsBlank(text.front()) || text.front() == '\r' || text.front() == '\n'))
    text.remove_prefix(1);
  while (!text.empty() && (IsBlank(text.back()) || text.back() == '\r' || text.back() == '\n'))
    text.remove_suffix(1);
  return text;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = Lower(c);
  return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// RFC 2231 extended value: charset'language'%XX...; only the bytes are kept.
std::string PercentDecoded(std::string_view value) {
  std::size_t quote = value.find('\'');
  if (quote != std::string_view::npos) {
    std::size_t second = value.find('\'', quote + 1);
    if (second != std::string_view::npos) value.remove_prefix(second + 1);
  }
  std::string out;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '%' && i + 2 < value.size() && HexDigit(value[i + 1]) >= 0 &&
        HexDigit(value[i + 2]) >= 0) {
      out.push_back(static_cast<char>(HexDigit(value[i + 1]) * 16 + HexDigit(value[i + 2])));
      i += 2;
    } else {
      out.push_back(value[i]);
    }
  }
  return out;
}

bool NameAt(std::string_view block, std::size_t p, std::string_view name) {
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (Upper(block[p + i]) != Upper(name[i])) return false;
  }
  return true;
}

}  // namespace

int FindHeaderValue(std::string_view name, std::string_view block, std::string* value,
                    std::size_t capacity) {
  value->clear();
  const std::size_t length = block.size();
  const std::size_t k = name.size();
  if (length <= k) return -1;
  const std::size_t limit = capacity >= 2 ? capacity - 2 : 0;
  for (std::size_t p = 0; p < length - k; ++p) {
    // Only where a header line starts: "to:" must not match the end of
    // Delivered-To or Reply-To, nor "from:" inside another field's value.
    if (p != 0 && block[p - 1] != '\n') continue;
    if (!NameAt(block, p, name)) continue;

    // The value runs over folded lines up to the line end before the next
    // line holding a colon, or to the end of the block.
    const std::size_t start = p + k;
    std::size_t last_cr = std::string_view::npos;
    for (std::size_t i = start; i < length; ++i) {
      if (i - start >= limit) {
        value->assign(Utf8Prefix(block.substr(start), limit));
        return 0;
      }
      if (block[i] == '\r') {
        last_cr = i;
      } else if (block[i] == ':' && last_cr != std::string_view::npos) {
        value->assign(block.substr(start, last_cr - start));
        return 0;
      }
    }
    // The last field of the block: everything to its end but the CR that
    // ends the block.
    std::size_t end = length;
    if (end > start && block[end - 1] == '\r') --end;
    std::size_t n = end - start;
    value->assign(n < limit ? block.substr(start, n) : Utf8Prefix(block.substr(start), limit));
    return 0;
  }
  return -1;
}

std::size_t HeaderBlockEnd(std::string_view block) {
  for (std::size_t p = 0; p < block.size();) {
    std::size_t eol = block.find('\n', p);
    std::size_t next = eol == std::string_view::npos ? block.size() : eol + 1;
    std::string_view line = block.substr(p, next - p);
    if (!IsBlank(line[0]) && line.find(':') == std::string_view::npos &&
        line.find_first_not_of("\r\n") != std::string_view::npos) {
      return p;
    }
    p = next;
  }
  return block.size();
}

std::string UnfoldHeaderValue(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (char c : value) {
    if (c != '\r' && c != '\n') out.push_back(c);
  }
  std::size_t first = out.find_first_not_of(" \t");
  return first == std::string::npos ? std::string() : out.substr(first);
}

std::string FindHeaderField(std::string_view block, std::string_view name) {
  for (std::size_t p = 0; p < block.size();) {
    std::size_t eol = block.find('\n', p);
    std::size_t next = eol == std::string_view::npos ? block.size() : eol + 1;
    if (block.size() - p > name.size() && block[p + name.size()] == ':' && NameAt(block, p, name)) {
      std::string value(block.substr(p + name.size() + 1, next - p - name.size() - 1));
      // Continuation lines start with a blank.
      while (next < block.size() && IsBlank(block[next])) {
        std::size_t end = block.find('\n', next);
        end = end == std::string_view::npos ? block.size() : end + 1;
        value.append(block.substr(next, end - next));
        next = end;
      }
      return UnfoldHeaderValue(Trim(value));
    }
    p = next;
  }
  return std::string();
}

std::string HeaderParameter(std::string_view value, std::string_view name) {
  // Parameters in order; RFC 2231 sections (name*0, name*1*) joined.
  std::string plain;
  std::map<int, std::string> sections;
  const std::string wanted = LowerCopy(name);
  std::size_t p = value.find(';');
  while (p != std::string_view::npos && p < value.size()) {
    ++p;
    while (p < value.size() && (IsBlank(value[p]) || value[p] == '\r' || value[p] == '\n')) ++p;
    std::size_t eq = value.find('=', p);
    std::size_t semi = value.find(';', p);
    if (eq == std::string_view::npos || (semi != std::string_view::npos && semi < eq)) {
      p = semi;
      continue;
    }
    std::string key = LowerCopy(Trim(value.substr(p, eq - p)));
    std::size_t v = eq + 1;
    while (v < value.size() && IsBlank(value[v])) ++v;
    std::string text;
    if (v < value.size() && value[v] == '"') {
      ++v;
      while (v < value.size() && value[v] != '"') {
        if (value[v] == '\\' && v + 1 < value.size()) ++v;
        text.push_back(value[v++]);
      }
      p = value.find(';', v);
    } else {
      semi = value.find(';', v);
      text = std::string(Trim(value.substr(v, semi == std::string_view::npos ? semi : semi - v)));
      p = semi;
    }
    if (key == wanted) {
      if (plain.empty()) plain = text;
    } else if (key.size() > wanted.size() && key.compare(0, wanted.size(), wanted) == 0 &&
               key[wanted.size()] == '*') {
      // "name*" is an extended value; "name*0", "name*1*" are sections.
      std::string rest = key.substr(wanted.size() + 1);
      const bool extended = rest.empty() || rest.back() == '*';
      if (!rest.empty() && rest.back() == '*') rest.pop_back();
      if (extended) text = PercentDecoded(text);
      int index = 0;
      if (!rest.empty()) {
        index = -1;
        if (rest.size() <= 3 && rest.find_first_not_of("0123456789") == std::string::npos)
          index = std::stoi(rest);
      }
      if (index >= 0 && sections.size() < 64) sections.emplace(index, text);
    }
  }
  if (!plain.empty() || sections.empty()) return plain;
  std::string joined;
  for (const auto& [index, text] : sections) joined += text;
  return joined;
}

HeaderFieldIndex::HeaderFieldIndex(std::string_view block) : block_(block) {
  // Room for a header of the usual size at once.
  lines_.reserve(32);
  crs_.reserve(32);
  colons_.reserve(32);
  lines_.push_back(0);
  for (std::size_t i = 0; i < block.size(); ++i) {
    switch (block[i]) {
      case '\n':
        lines_.push_back(static_cast<std::uint32_t>(i + 1));
        break;
      case '\r':
        crs_.push_back(static_cast<std::uint32_t>(i));
        break;
      case ':':
        colons_.push_back(static_cast<std::uint32_t>(i));
        break;
      default:
        break;
    }
  }
}

int HeaderFieldIndex::FindValue(std::string_view name, std::string* value,
                                std::size_t capacity) const {
  value->clear();
  const std::string_view block = block_;
  const std::size_t length = block.size();
  const std::size_t k = name.size();
  if (length <= k) return -1;
  const std::size_t limit = capacity >= 2 ? capacity - 2 : 0;
  for (std::uint32_t p : lines_) {
    if (p >= length - k) break;
    if (!NameAt(block, p, name)) continue;
    const std::size_t start = p + k;
    // The value ends at the first colon that comes after a CR (the CR of
    // its line or any later one), cut back to the last CR before it.
    auto cr = std::lower_bound(crs_.begin(), crs_.end(), start);
    if (cr != crs_.end()) {
      auto colon = std::upper_bound(colons_.begin(), colons_.end(), *cr);
      if (colon != colons_.end()) {
        if (*colon - start >= limit) {
          value->assign(Utf8Prefix(block.substr(start), limit));
          return 0;
        }
        const std::uint32_t last_cr = *(std::lower_bound(crs_.begin(), crs_.end(), *colon) - 1);
        value->assign(block.substr(start, last_cr - start));
        return 0;
      }
    }
    // The last field of the block: everything to its end but the CR that
    // ends the block.
    std::size_t end = length;
    if (end > start && block[end - 1] == '\r') --end;
    std::size_t n = end - start;
    value->assign(n < limit ? block.substr(start, n) : Utf8Prefix(block.substr(start), limit));
    return 0;
  }
  return -1;
}

std::string HeaderFieldIndex::Field(std::string_view name) const {
  const std::string_view block = block_;
  for (std::size_t line = 0; line < lines_.size(); ++line) {
    const std::size_t p = lines_[line];
    if (p >= block.size()) break;
    if (block.size() - p > name.size() && block[p + name.size()] == ':' && NameAt(block, p, name)) {
      std::size_t next = line + 1 < lines_.size() ? lines_[line + 1] : block.size();
      std::string value(block.substr(p + name.size() + 1, next - p - name.size() - 1));
      // Continuation lines start with a blank.
      for (std::size_t more = line + 1;
           more < lines_.size() && next < block.size() && IsBlank(block[next]); ++more) {
        const std::size_t end = more + 1 < lines_.size() ? lines_[more + 1] : block.size();
        value.append(block.substr(next, end - next));
        next = end;
      }
      return UnfoldHeaderValue(Trim(value));
    }
  }
  return std::string();
}

namespace {

template <typename FieldOf>
ContentInfo ContentInfoFrom(FieldOf field, bool digest_part) {
  ContentInfo info;
  if (digest_part) {
    info.type = "message";
    info.subtype = "rfc822";
  }
  const std::string type = field("content-type");
  std::string_view full = type;
  full = Trim(full.substr(0, full.find(';')));
  std::size_t slash = full.find('/');
  if (slash != std::string_view::npos && slash > 0 && slash + 1 < full.size()) {
    info.type = LowerCopy(Trim(full.substr(0, slash)));
    info.subtype = LowerCopy(Trim(full.substr(slash + 1)));
  }
  info.charset = HeaderParameter(type, "charset");
  info.boundary = HeaderParameter(type, "boundary");
  info.start = HeaderParameter(type, "start");
  info.encoding = LowerCopy(field("content-transfer-encoding"));
  info.content_id = field("content-id");
  std::string disposition = LowerCopy(field("content-disposition"));
  info.attachment =
      Trim(std::string_view(disposition).substr(0, disposition.find(';'))) == "attachment";
  return info;
}

}  // namespace

ContentInfo ReadContentInfo(std::string_view header_block, bool digest_part) {
  return ContentInfoFrom([&](std::string_view name) { return FindHeaderField(header_block, name); },
                         digest_part);
}

ContentInfo ReadContentInfo(const HeaderFieldIndex& header, bool digest_part) {
  return ContentInfoFrom([&](std::string_view name) { return header.Field(name); }, digest_part);
}

}  // namespace tarnu
