// Turning a connected line channel into a verified TLS channel: the
// handshake, the server's certificate judged against the trusted roots and
// the one certificate the user accepted for the host, and the Japanese texts
// for every way it can fail. POP3 and SMTP share it.
#ifndef TARNU_NET_SECURE_CHANNEL_H_
#define TARNU_NET_SECURE_CHANNEL_H_

#include <string>

#include "net/line_channel.h"
#include "platform/tls.h"

namespace tarnu {

// What the user is asked when a server's certificate does not verify.
struct CertificateQuestion {
  std::string server;  // as configured
  int port = 0;
  std::string refusal;      // the refusal text: the reasons and the fingerprint
  std::string reasons;      // the refusal without its first line
  std::string fingerprint;  // SHA-256 of the certificate, raw bytes
};

// Who decides about a certificate that does not verify. The Windows program
// asks the user; the console and the tests never accept.
class CertificateTrust {
 public:
  virtual ~CertificateTrust() = default;
  // True when the user trusts this one certificate for this server from now
  // on; the caller of the dialogue keeps its fingerprint with the host.
  virtual bool TrustCertificate(const CertificateQuestion& question) = 0;
};

// What a dialogue may use beyond the host's own settings: a CA file of the
// console's, and who to ask about a certificate.
struct SecureOptions {
  std::string ca_file;
  CertificateTrust* trust = nullptr;
};

struct SecureTarget {
  std::string server;  // the name the certificate must carry
  int port = 0;
  int timeout = 60;
  std::string ca_file;               // more trusted roots (PEM); empty: the system's only
  std::string accepted_fingerprint;  // raw SHA-256 the user accepted, or empty
  CertificateTrust* trust = nullptr;
  // The dialogue's own words: its connect failure text (the error number is
  // appended), and what every TLS text is prefixed with.
  std::string connect_text = "接続時エラー ";
  std::string prefix;
};

// Empty when the certificate is accepted: it verifies (trusted chain, in
// its validity period, issued for `server`), or its SHA-256 equals
// `accepted_fingerprint`. Otherwise the refusal text: every reason found,
// then the fingerprint.
std::string JudgeCertificate(const platform::PeerCertificate& peer, const std::string& server,
                             const std::string& accepted_fingerprint);

// StartTls on `channel`, then the judgement (asking `target.trust` about a
// certificate that does not verify). True when the channel is secure and
// its certificate accepted; otherwise false with the failure text in
// `error`, and the channel closed (after a handshake only TLS's own close
// notification goes out: no command ever reaches a refused server).
bool SecureChannel(LineChannel* channel, const SecureTarget& target, std::string* error);

}  // namespace tarnu

#endif  // TARNU_NET_SECURE_CHANNEL_H_
