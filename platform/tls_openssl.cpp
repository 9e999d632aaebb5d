// The TLS seam over OpenSSL, with memory BIOs so that the line channel does
// the socket work. The chain is verified against the system's roots (and the
// CA file); every problem is noted and the handshake completed, so the caller
// can show the certificate it refuses.
#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <climits>
#include <cstdio>

#include "platform/tls.h"

namespace tarnu::platform {
namespace {

struct SslFree {
  void operator()(SSL* ssl) const { SSL_free(ssl); }
  void operator()(SSL_CTX* ctx) const { SSL_CTX_free(ctx); }
};

// The first queued OpenSSL error as text, or `fallback`; the queue is
// emptied so that a later call does not report an old failure.
std::string TakeError(const char* fallback) {
  unsigned long code = ERR_get_error();
  ERR_clear_error();
  if (code == 0) return fallback;
  char text[256];
  ERR_error_string_n(code, text, sizeof text);
  return text;
}

bool IsAddress(const std::string& host) {
  unsigned char raw[16];
  return inet_pton(AF_INET, host.c_str(), raw) == 1 || inet_pton(AF_INET6, host.c_str(), raw) == 1;
}

class OpenSslClient : public TlsClient {
 public:
  OpenSslClient(std::string host, SSL_CTX* ctx) : host_(std::move(host)) {
    ssl_.reset(SSL_new(ctx));
    if (!ssl_) return;
    BIO* in = BIO_new(BIO_s_mem());
    BIO* out = BIO_new(BIO_s_mem());
    if (in == nullptr || out == nullptr) {
      BIO_free(in);
      BIO_free(out);
      ssl_.reset();
      return;
    }
    // An empty input BIO means "wait for more", not end of stream.
    BIO_set_mem_eof_return(in, -1);
    SSL_set_bio(ssl_.get(), in, out);
    in_ = in;
    out_ = out;
    SSL_set_app_data(ssl_.get(), this);
    SSL_set_connect_state(ssl_.get());
    if (!IsAddress(host_)) SSL_set_tlsext_host_name(ssl_.get(), host_.c_str());
  }

  bool ok() const { return ssl_ != nullptr; }

  TlsStep Handshake(std::string_view in, std::string* out) override {
    if (!Feed(in)) return TlsStep::kFailed;
    ERR_clear_error();
    int r = SSL_do_handshake(ssl_.get());
    Drain(out);
    if (r == 1) {
      LookAtPeer();
      return TlsStep::kDone;
    }
    int reason = SSL_get_error(ssl_.get(), r);
    if (reason == SSL_ERROR_WANT_READ) return TlsStep::kWantMore;
    error_ = TakeError("handshake failed");
    return TlsStep::kFailed;
  }

  const PeerCertificate& peer() const override { return peer_; }

  std::string protocol() const override { return SSL_get_version(ssl_.get()); }

  bool Seal(std::string_view plain, std::string* out) override {
    while (!plain.empty()) {
      int n = plain.size() > 16384 ? 16384 : static_cast<int>(plain.size());
      ERR_clear_error();
      int written = SSL_write(ssl_.get(), plain.data(), n);
      if (written <= 0) {
        error_ = TakeError("write failed");
        return false;
      }
      plain.remove_prefix(static_cast<std::size_t>(written));
    }
    Drain(out);
    return true;
  }

  bool Open(std::string_view in, std::string* plain, std::string* out) override {
    if (!Feed(in)) return false;
    char chunk[16384];
    for (;;) {
      ERR_clear_error();
      int n = SSL_read(ssl_.get(), chunk, sizeof chunk);
      if (n > 0) {
        plain->append(chunk, static_cast<std::size_t>(n));
        continue;
      }
      int reason = SSL_get_error(ssl_.get(), n);
      Drain(out);
      if (reason == SSL_ERROR_WANT_READ) return true;
      if (reason == SSL_ERROR_ZERO_RETURN) {
        closed_ = true;
        return false;
      }
      error_ = TakeError("read failed");
      return false;
    }
  }

  bool closed() const override { return closed_; }

  void Shutdown(std::string* out) override {
    ERR_clear_error();
    SSL_shutdown(ssl_.get());
    ERR_clear_error();
    Drain(out);
  }

  // Called for every problem the chain verification finds.
  void Note(int code) {
    switch (code) {
      case X509_V_ERR_CERT_HAS_EXPIRED:
        peer_.expired = true;
        break;
      case X509_V_ERR_CERT_NOT_YET_VALID:
        peer_.not_yet_valid = true;
        break;
      case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
      case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
      case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
      case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
      case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
      case X509_V_ERR_CERT_UNTRUSTED:
        untrusted_ = true;
        break;
      default:
        peer_.other_problem = true;
        break;
    }
    if (!peer_.detail.empty()) peer_.detail += "; ";
    peer_.detail += X509_verify_cert_error_string(code);
  }

 private:
  bool Feed(std::string_view in) {
    while (!in.empty()) {
      int n = in.size() > INT_MAX ? INT_MAX : static_cast<int>(in.size());
      int written = BIO_write(in_, in.data(), n);
      if (written <= 0) {
        error_ = "out of memory";
        return false;
      }
      in.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
  }

  void Drain(std::string* out) {
    char chunk[16384];
    int n;
    while ((n = BIO_read(out_, chunk, sizeof chunk)) > 0) {
      out->append(chunk, static_cast<std::size_t>(n));
    }
  }

  void LookAtPeer() {
    X509* cert = SSL_get0_peer_certificate(ssl_.get());
    if (cert == nullptr) {
      peer_.other_problem = true;
      peer_.detail = "no certificate";
      return;
    }
    unsigned char* der = nullptr;
    int length = i2d_X509(cert, &der);
    if (length > 0)
      peer_.der.assign(reinterpret_cast<char*>(der), static_cast<std::size_t>(length));
    OPENSSL_free(der);
    peer_.chain_trusted = !untrusted_;
    peer_.name_matches = IsAddress(host_)
                             ? X509_check_ip_asc(cert, host_.c_str(), 0) == 1
                             : X509_check_host(cert, host_.c_str(), host_.size(), 0, nullptr) == 1;
  }

  std::string host_;
  std::unique_ptr<SSL, SslFree> ssl_;
  BIO* in_ = nullptr;   // owned by ssl_
  BIO* out_ = nullptr;  // owned by ssl_
  PeerCertificate peer_;
  bool untrusted_ = false;
  bool closed_ = false;
};

// Notes the problem and goes on: the handshake completes, and the caller
// decides with the whole picture (and can show the fingerprint).
int NoteProblem(int ok, X509_STORE_CTX* store) {
  if (ok) return 1;
  auto* ssl =
      static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
  if (ssl != nullptr) {
    auto* client = static_cast<OpenSslClient*>(SSL_get_app_data(ssl));
    if (client != nullptr) client->Note(X509_STORE_CTX_get_error(store));
  }
  return 1;
}

}  // namespace

std::unique_ptr<TlsClient> TlsClient::Create(const std::string& host, const std::string& ca_file,
                                             std::string* error, bool* ca_file_unreadable) {
  *ca_file_unreadable = false;
  ERR_clear_error();
  std::unique_ptr<SSL_CTX, SslFree> ctx(SSL_CTX_new(TLS_client_method()));
  if (!ctx || SSL_CTX_set_min_proto_version(ctx.get(), TLS1_2_VERSION) != 1 ||
      SSL_CTX_set_max_proto_version(ctx.get(), TLS1_3_VERSION) != 1) {
    *error = TakeError("cannot set up TLS");
    return nullptr;
  }
  SSL_CTX_set_default_verify_paths(ctx.get());
  if (!ca_file.empty() && SSL_CTX_load_verify_locations(ctx.get(), ca_file.c_str(), nullptr) != 1) {
    *error = TakeError("cannot read the CA file");
    *ca_file_unreadable = true;
    return nullptr;
  }
  ERR_clear_error();
  SSL_CTX_set_verify(ctx.get(), SSL_VERIFY_PEER, NoteProblem);
  auto client = std::make_unique<OpenSslClient>(host, ctx.get());
  if (!client->ok()) {
    *error = TakeError("cannot set up TLS");
    return nullptr;
  }
  return client;
}

}  // namespace tarnu::platform
