// The TLS seam: a client TLS engine that works on bytes in memory, over
// OpenSSL on Linux and Schannel (SSPI) on Windows. The line channel moves
// the bytes between the engine and its socket, so the waits, their timeout
// and the message pumping stay where every other wait has them. Only TLS 1.2
// and 1.3 are spoken.
#ifndef TARNU_PLATFORM_TLS_H_
#define TARNU_PLATFORM_TLS_H_

#include <memory>
#include <string>
#include <string_view>

namespace tarnu::platform {

// What the platform found out about the server's certificate. The engine
// completes the handshake whatever it finds; judging is the caller's.
struct PeerCertificate {
  std::string der;             // the server's own certificate, DER; empty if none came
  bool chain_trusted = false;  // chains to a trusted root (the system's or the CA file's)
  bool expired = false;        // a certificate of the chain is past its end
  bool not_yet_valid = false;  // a certificate of the chain is not valid yet
  bool name_matches = false;   // the server's certificate is for the name connected to
  bool other_problem = false;  // anything else that keeps the chain from verifying
  std::string detail;          // the platform's words for what it found, for diagnosis
};

enum class TlsStep {
  kDone,      // handshake complete
  kWantMore,  // send what was produced, then feed the next received bytes
  kFailed,    // error() says why
};

class TlsClient {
 public:
  // An engine for a connection to `host` (sent as the server name, and the
  // name the certificate must carry). `ca_file`, when not empty, is a PEM
  // file of further trusted roots. Null with `error` when the platform
  // cannot make one (or the CA file cannot be read: *ca_file_unreadable).
  static std::unique_ptr<TlsClient> Create(const std::string& host, const std::string& ca_file,
                                           std::string* error, bool* ca_file_unreadable);

  virtual ~TlsClient() = default;

  // Takes the bytes received since the last call (none for the first) and
  // advances the handshake; bytes for the server are appended to `out`.
  // After kDone, received bytes it did not need stay inside the engine and
  // come out of the first Open.
  virtual TlsStep Handshake(std::string_view in, std::string* out) = 0;

  // After the handshake: the certificate as found, and the protocol agreed
  // ("TLSv1.2", "TLSv1.3").
  virtual const PeerCertificate& peer() const = 0;
  virtual std::string protocol() const = 0;

  // Encrypts `plain` into records appended to `out`. False on failure.
  virtual bool Seal(std::string_view plain, std::string* out) = 0;

  // Takes received bytes and appends the plain text they complete to
  // `plain`; bytes the protocol must answer (a key update) go to `out`.
  // False when the connection failed or the server closed it (closed()).
  virtual bool Open(std::string_view in, std::string* plain, std::string* out) = 0;

  // True after the server's close notification.
  virtual bool closed() const = 0;

  // The close notification for the server, appended to `out`.
  virtual void Shutdown(std::string* out) = 0;

  // The platform's words for the last failure (ASCII), for diagnosis.
  const std::string& error() const { return error_; }

 protected:
  std::string error_;
};

}  // namespace tarnu::platform

#endif  // TARNU_PLATFORM_TLS_H_
