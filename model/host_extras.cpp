#include "model/host_extras.h"

#include <algorithm>
#include <cstring>

#include "model/record_fields.h"

namespace tarnu {
namespace {

constexpr unsigned char kTag[4] = {'T', 'N', 'X', '1'};
constexpr std::int32_t kLayoutVersion = 1;

constexpr std::size_t kTagAt = 0;
constexpr std::size_t kVersionAt = 4;
constexpr std::size_t kPop3SecurityAt = 8;
constexpr std::size_t kSmtpSecurityAt = 12;
constexpr std::size_t kOptionsAt = 16;
constexpr std::size_t kSmtpUserAt = 20;
constexpr std::size_t kSmtpPasswordAt = 122;
constexpr std::size_t kPop3FingerprintAt = 224;
constexpr std::size_t kSmtpFingerprintAt = 256;
constexpr std::size_t kKnownEnd = 288;
constexpr std::size_t kTextSlot = 102;

bool HasTag(const unsigned char* area) { return std::memcmp(area + kTagAt, kTag, 4) == 0; }

bool AllZero(const unsigned char* from, const unsigned char* to) {
  return std::all_of(from, to, [](unsigned char b) { return b == 0; });
}

ConnectionSecurity GetSecurity(const unsigned char* at) {
  switch (GetInt32(at)) {
    case 1:
      return ConnectionSecurity::kTls;
    case 2:
      return ConnectionSecurity::kStartTls;
    default:
      return ConnectionSecurity::kNone;
  }
}

std::string GetFingerprint(const unsigned char* at) {
  if (AllZero(at, at + kFingerprintSize)) return std::string();
  return std::string(reinterpret_cast<const char*>(at), kFingerprintSize);
}

bool PutFingerprint(unsigned char* at, const std::string& raw) {
  std::memset(at, 0, kFingerprintSize);
  if (raw.empty()) return true;
  if (raw.size() != kFingerprintSize) return false;
  std::memcpy(at, raw.data(), kFingerprintSize);
  return true;
}

bool IsDefault(const HostExtras& e) {
  return e.pop3_security == ConnectionSecurity::kNone &&
         e.smtp_security == ConnectionSecurity::kNone && e.options == 0 && e.smtp_user.empty() &&
         e.smtp_password.empty() && e.pop3_fingerprint.empty() && e.smtp_fingerprint.empty();
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

HostExtras GetHostExtras(const unsigned char* area) {
  HostExtras e;
  std::memcpy(e.loaded.data(), area, kHostExtrasSize);
  if (!HasTag(area) || GetInt32(area + kVersionAt) < kLayoutVersion) return e;
  e.pop3_security = GetSecurity(area + kPop3SecurityAt);
  e.smtp_security = GetSecurity(area + kSmtpSecurityAt);
  e.options = GetInt32(area + kOptionsAt);
  e.smtp_user = GetTextSlot(area + kSmtpUserAt, kTextSlot);
  e.smtp_password = GetTextSlot(area + kSmtpPasswordAt, kTextSlot);
  if (e.smtp_user.size() > kExtrasTextCapacity) e.smtp_user.resize(kExtrasTextCapacity);
  if (e.smtp_password.size() > kExtrasTextCapacity) {
    e.smtp_password.resize(kExtrasTextCapacity);
  }
  e.pop3_fingerprint = GetFingerprint(area + kPop3FingerprintAt);
  e.smtp_fingerprint = GetFingerprint(area + kSmtpFingerprintAt);
  return e;
}

bool PutHostExtras(const HostExtras& e, unsigned char* area) {
  const unsigned char* loaded = e.loaded.data();
  std::memcpy(area, loaded, kHostExtrasSize);
  if (IsDefault(e)) {
    if (!HasTag(loaded)) return true;  // zeros, or an area that is not ours
    // Ours, now with every known field at its default: nothing of ours is
    // left unless a later version added fields behind them.
    std::memset(area + kPop3SecurityAt, 0, kKnownEnd - kPop3SecurityAt);
    if (AllZero(area + kKnownEnd, area + kHostExtrasSize)) std::memset(area, 0, kHostExtrasSize);
    return true;
  }
  // A foreign area cannot be merged with ours; the user's new settings win.
  if (!HasTag(loaded)) std::memset(area, 0, kHostExtrasSize);
  std::memcpy(area + kTagAt, kTag, 4);
  PutInt32(area + kVersionAt, std::max(kLayoutVersion, HasTag(loaded) ? GetInt32(loaded + 4) : 0));
  PutInt32(area + kPop3SecurityAt, static_cast<std::int32_t>(e.pop3_security));
  PutInt32(area + kSmtpSecurityAt, static_cast<std::int32_t>(e.smtp_security));
  PutInt32(area + kOptionsAt, e.options);
  bool ok = e.smtp_user.size() <= kExtrasTextCapacity &&
            PutTextSlot(area + kSmtpUserAt, kTextSlot, e.smtp_user);
  ok = e.smtp_password.size() <= kExtrasTextCapacity &&
       PutTextSlot(area + kSmtpPasswordAt, kTextSlot, e.smtp_password) && ok;
  ok = PutFingerprint(area + kPop3FingerprintAt, e.pop3_fingerprint) && ok;
  ok = PutFingerprint(area + kSmtpFingerprintAt, e.smtp_fingerprint) && ok;
  return ok;
}

bool ParseFingerprint(const std::string& text, std::string* raw) {
  std::string out;
  std::size_t i = 0;
  while (i < text.size()) {
    if (text[i] == ':') {
      if (out.empty() || i + 1 >= text.size() || text[i + 1] == ':') return false;
      ++i;
      continue;
    }
    if (i + 1 >= text.size()) return false;
    int high = HexDigit(text[i]);
    int low = HexDigit(text[i + 1]);
    if (high < 0 || low < 0) return false;
    out.push_back(static_cast<char>(high * 16 + low));
    i += 2;
  }
  if (out.size() != kFingerprintSize) return false;
  *raw = out;
  return true;
}

std::string FormatFingerprint(const std::string& raw) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (std::size_t i = 0; i < raw.size(); ++i) {
    if (i != 0) out.push_back(':');
    auto byte = static_cast<unsigned char>(raw[i]);
    out.push_back(kDigits[byte >> 4]);
    out.push_back(kDigits[byte & 0x0F]);
  }
  return out;
}

}  // namespace tarnu
