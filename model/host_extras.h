// What a host record holds beyond its fixed fields, kept in the record's 512
// reserved bytes (offset 1052 of each host record in tarnu.pref).
//
// Layout of the area (integers 32-bit little-endian, slots as in the rest of
// the record: base64 text, NUL, zeros):
//
//   offset size  content
//        0    4  tag "TNX1"; an area that does not start with it holds none
//                of these fields
//        4    4  layout version, 1; later versions only add fields in the
//                zero bytes from offset 288 on
//        8    4  POP3 connection security (ConnectionSecurity)
//       12    4  SMTP connection security (ConnectionSecurity)
//       16    4  option bits (kExtraOption...)
//       20  102  SMTP AUTH user name (text slot, at most 72 bytes)
//      122  102  SMTP AUTH password (text slot, at most 72 bytes)
//      224   32  SHA-256 of the POP3 server certificate the user accepted,
//                all zero for none
//      256   32  the same for the SMTP server
//      288  224  zero (room for later versions)
//
// Every field's zero is its default, so an area of all zero bytes means "as
// before any of this existed", and a host with default extras is written with
// 512 zero bytes, byte for byte as older versions wrote it. An area tarnu does
// not understand (another tag, or bytes a later version added) is kept as it
// was loaded and written back; the fields tarnu knows are laid over it.
#ifndef TARNU_MODEL_HOST_EXTRAS_H_
#define TARNU_MODEL_HOST_EXTRAS_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace tarnu {

inline constexpr std::size_t kHostExtrasSize = 512;
inline constexpr std::size_t kFingerprintSize = 32;  // SHA-256

enum class ConnectionSecurity : std::int32_t {
  kNone = 0,      // plain text, as the protocol was first written
  kTls = 1,       // TLS from the first byte (POP3S 995, SMTPS 465)
  kStartTls = 2,  // plain greeting, then STLS / STARTTLS
};

// Option bits; each bit set means the non-default choice.
enum ExtraOption : std::int32_t {
  kExtraSmtpAuthWithoutTls = 1,  // the user allows AUTH over plain text
  kExtraNoPipelining = 2,        // never pipeline, even when offered
  kExtraNoUidl = 4,              // never use UIDL and its cache
};

struct HostExtras {
  ConnectionSecurity pop3_security = ConnectionSecurity::kNone;
  ConnectionSecurity smtp_security = ConnectionSecurity::kNone;
  std::int32_t options = 0;  // ExtraOption bits
  std::string smtp_user;     // empty: no SMTP AUTH
  std::string smtp_password;
  std::string pop3_fingerprint;  // kFingerprintSize raw bytes, or empty
  std::string smtp_fingerprint;

  // The area as it was loaded, laid under the known fields on save.
  std::array<unsigned char, kHostExtrasSize> loaded{};

  bool HasOption(ExtraOption option) const { return (options & option) != 0; }
  void SetOption(ExtraOption option, bool on) {
    options = on ? (options | option) : (options & ~option);
  }
};

// The longest SMTP AUTH user name or password the area holds.
inline constexpr std::size_t kExtrasTextCapacity = 72;

// Reads the area. Unknown security values read as kNone; texts longer than
// their slot holds (only a damaged area has them) are cut.
HostExtras GetHostExtras(const unsigned char* area);

// Writes the area. Returns false (the area then holds the loaded bytes with
// the fields that fitted) when a text is longer than its slot holds or a
// fingerprint is neither empty nor kFingerprintSize bytes.
bool PutHostExtras(const HostExtras& extras, unsigned char* area);

// Parses a SHA-256 fingerprint written as 64 hex digits, with or without
// colons between the bytes, in either case. False for anything else.
bool ParseFingerprint(const std::string& text, std::string* raw);

// The fingerprint as upper-case hex bytes joined by colons, as certificate
// viewers show it ("AB:CD:...").
std::string FormatFingerprint(const std::string& raw);

}  // namespace tarnu

#endif  // TARNU_MODEL_HOST_EXTRAS_H_
