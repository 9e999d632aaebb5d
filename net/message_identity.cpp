#include "net/message_identity.h"

#include "codec/header_fields.h"
#include "net/md5.h"

namespace tarnu {
namespace {

constexpr char kMark = '\x01';
constexpr std::size_t kLongIdHead = 700;

std::string Md5Hex(std::string_view bytes) {
  Md5Context context;
  Md5Init(&context);
  Md5Update(&context, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  unsigned char digest[16];
  Md5Final(digest, &context);
  static const char kHex[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char b : digest) {
    hex += kHex[b >> 4];
    hex += kHex[b & 0x0F];
  }
  return hex;
}

// A raw header value, as the survey finds values, for the stand-in key only.
std::string RawValue(const char* name, std::string_view header) {
  std::string value;
  FindHeaderValue(name, header, &value, 1023);
  return value;
}

void AddField(std::string* into, std::string_view field) {
  // Length first, so that no two different field lists give the same bytes.
  *into += std::to_string(field.size());
  *into += ':';
  into->append(field.data(), field.size());
}

}  // namespace

std::string MessageHistoryKey(std::string_view message_id, std::string_view raw_header,
                              std::int32_t size) {
  if (!message_id.empty()) {
    if (message_id.size() <= kHistoryKeyLimit && message_id.find(kMark) == std::string_view::npos) {
      return std::string(message_id);
    }
    std::string key(message_id.substr(0, kLongIdHead));
    key += kMark;
    key += Md5Hex(message_id);
    return key;
  }
  std::string fields;
  AddField(&fields, RawValue("date:", raw_header));
  AddField(&fields, RawValue("from:", raw_header));
  AddField(&fields, RawValue("subject:", raw_header));
  AddField(&fields, std::to_string(size));
  return std::string(1, kMark) + "noid:" + Md5Hex(fields);
}

std::string KeyCounter::Unique(std::string key) {
  if (key.find(kMark) == std::string::npos) return key;
  int n = ++counts_[key];
  if (n > 1) key += "#" + std::to_string(n);
  return key;
}

}  // namespace tarnu
