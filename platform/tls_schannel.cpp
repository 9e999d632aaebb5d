// The TLS seam over Schannel (SSPI), part of Windows: nothing to ship. The
// handshake runs with manual certificate validation; the chain is then
// built and checked with the CryptoAPI, against the system's roots and the
// roots of the CA file, and the name with the SSL chain policy.
#define SECURITY_WIN32
// SCH_CREDENTIALS, the structure that lets Windows speak TLS 1.3.
#define SCHANNEL_USE_BLACKLISTS
#include <windows.h>
// The order matters: the SSPI headers need the Windows types first, and
// SCH_CREDENTIALS needs UNICODE_STRING.
#include <subauth.h>

#include <schannel.h>
#include <security.h>
#include <sspi.h>
#include <wincrypt.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/tls.h"

namespace tarnu::platform {
namespace {

// SSL_EXTRA_CERT_CHAIN_POLICY_PARA checks to leave out (wininet.h's values):
// the chain and its dates are judged on their own, only the name is asked
// of the policy.
constexpr DWORD kIgnoreRevocation = 0x00000080;
constexpr DWORD kIgnoreUnknownCa = 0x00000100;
constexpr DWORD kIgnoreWrongUsage = 0x00000200;
constexpr DWORD kIgnoreDateInvalid = 0x00002000;

constexpr DWORD kContextRequest = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT |
                                  ISC_REQ_CONFIDENTIALITY | ISC_REQ_ALLOCATE_MEMORY |
                                  ISC_REQ_STREAM | ISC_REQ_EXTENDED_ERROR |
                                  ISC_REQ_MANUAL_CRED_VALIDATION;

std::string StatusText(const char* call, SECURITY_STATUS status) {
  char text[96];
  std::snprintf(text, sizeof text, "%s 0x%08lX", call, static_cast<unsigned long>(status));
  return text;
}

std::wstring Wide(const std::string& text) {
  int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &wide[0], n);
  wide.resize(static_cast<std::size_t>(n - 1));
  return wide;
}

// The certificates of a PEM file in a memory store; null when the file
// cannot be read or holds none.
HCERTSTORE LoadPemRoots(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return nullptr;
  std::stringstream text;
  text << in.rdbuf();
  const std::string pem = text.str();
  HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr);
  if (store == nullptr) return nullptr;
  const std::string begin = "-----BEGIN CERTIFICATE-----";
  const std::string end = "-----END CERTIFICATE-----";
  int added = 0;
  for (std::size_t at = pem.find(begin); at != std::string::npos; at = pem.find(begin, at)) {
    std::size_t stop = pem.find(end, at);
    if (stop == std::string::npos) break;
    const std::string block = pem.substr(at, stop + end.size() - at);
    at = stop + end.size();
    DWORD size = 0;
    if (!CryptStringToBinaryA(block.c_str(), static_cast<DWORD>(block.size()),
                              CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr)) {
      continue;
    }
    std::string der(size, '\0');
    if (!CryptStringToBinaryA(block.c_str(), static_cast<DWORD>(block.size()),
                              CRYPT_STRING_BASE64HEADER, reinterpret_cast<BYTE*>(&der[0]), &size,
                              nullptr, nullptr)) {
      continue;
    }
    if (CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING,
                                         reinterpret_cast<const BYTE*>(der.data()), size,
                                         CERT_STORE_ADD_ALWAYS, nullptr)) {
      ++added;
    }
  }
  if (added == 0) {
    CertCloseStore(store, 0);
    return nullptr;
  }
  return store;
}

class SchannelClient : public TlsClient {
 public:
  SchannelClient(std::string host, HCERTSTORE roots) : host_(std::move(host)), roots_(roots) {}

  ~SchannelClient() override {
    if (have_context_) DeleteSecurityContext(&context_);
    if (have_credentials_) FreeCredentialsHandle(&credentials_);
    if (roots_ != nullptr) CertCloseStore(roots_, 0);
  }

  bool Init(std::string* error) {
    // TLS 1.2 and 1.3 through SCH_CREDENTIALS where Windows has it; the
    // older structure elsewhere; the protocol agreed is checked afterwards
    // in any case.
    TLS_PARAMETERS parameters = {};
    parameters.grbitDisabledProtocols =
        SP_PROT_SSL2_CLIENT | SP_PROT_SSL3_CLIENT | SP_PROT_TLS1_0_CLIENT | SP_PROT_TLS1_1_CLIENT;
    SCH_CREDENTIALS modern = {};
    modern.dwVersion = SCH_CREDENTIALS_VERSION;
    modern.dwFlags =
        SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS | SCH_USE_STRONG_CRYPTO;
    modern.cTlsParameters = 1;
    modern.pTlsParameters = &parameters;
    SECURITY_STATUS status = Acquire(&modern);
    if (status != SEC_E_OK) {
      SCHANNEL_CRED older = {};
      older.dwVersion = SCHANNEL_CRED_VERSION;
      older.dwFlags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS;
      older.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT | SP_PROT_TLS1_3_CLIENT;
      status = Acquire(&older);
      if (status != SEC_E_OK) {
        older.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT;
        status = Acquire(&older);
      }
    }
    if (status != SEC_E_OK) {
      *error = StatusText("AcquireCredentialsHandle", status);
      return false;
    }
    have_credentials_ = true;
    return true;
  }

  TlsStep Handshake(std::string_view in, std::string* out) override {
    input_.append(in.data(), in.size());
    for (;;) {
      SecBuffer in_buffers[2] = {};
      in_buffers[0].BufferType = SECBUFFER_TOKEN;
      in_buffers[0].pvBuffer = input_.empty() ? nullptr : &input_[0];
      in_buffers[0].cbBuffer = static_cast<unsigned long>(input_.size());
      in_buffers[1].BufferType = SECBUFFER_EMPTY;
      SecBufferDesc in_desc = {SECBUFFER_VERSION, 2, in_buffers};
      SecBuffer out_buffers[1] = {};
      out_buffers[0].BufferType = SECBUFFER_TOKEN;
      SecBufferDesc out_desc = {SECBUFFER_VERSION, 1, out_buffers};
      unsigned long attributes = 0;
      std::string target = host_;
      const DWORD request =
          kContextRequest | (no_client_certificate_ ? ISC_REQ_USE_SUPPLIED_CREDS : 0);
      SECURITY_STATUS status = InitializeSecurityContextA(
          &credentials_, have_context_ ? &context_ : nullptr, &target[0], request, 0, 0,
          have_context_ ? &in_desc : nullptr, 0, &context_, &out_desc, &attributes, nullptr);
      if (status == SEC_E_OK || status == SEC_I_CONTINUE_NEEDED ||
          status == SEC_I_INCOMPLETE_CREDENTIALS) {
        have_context_ = true;
      }
      TakeToken(&out_buffers[0], out);
      if (status == SEC_E_INCOMPLETE_MESSAGE) return TlsStep::kWantMore;
      if (status == SEC_I_INCOMPLETE_CREDENTIALS && !no_client_certificate_) {
        // The server asks for a client certificate: go on without one.
        no_client_certificate_ = true;
        continue;
      }
      KeepExtra(in_buffers[1]);
      if (status == SEC_I_CONTINUE_NEEDED) {
        if (!input_.empty()) continue;
        return TlsStep::kWantMore;
      }
      if (status != SEC_E_OK) {
        error_ = StatusText("InitializeSecurityContext", status);
        return TlsStep::kFailed;
      }
      // After a renegotiation the connection keeps what it learned first.
      if (!established_) {
        if (!Established()) return TlsStep::kFailed;
        established_ = true;
      }
      return TlsStep::kDone;
    }
  }

  const PeerCertificate& peer() const override { return peer_; }
  std::string protocol() const override { return protocol_; }

  bool Seal(std::string_view plain, std::string* out) override {
    while (!plain.empty()) {
      std::size_t n =
          plain.size() < sizes_.cbMaximumMessage ? plain.size() : sizes_.cbMaximumMessage;
      std::string record(sizes_.cbHeader + n + sizes_.cbTrailer, '\0');
      std::memcpy(&record[sizes_.cbHeader], plain.data(), n);
      SecBuffer buffers[4] = {};
      buffers[0].BufferType = SECBUFFER_STREAM_HEADER;
      buffers[0].pvBuffer = &record[0];
      buffers[0].cbBuffer = sizes_.cbHeader;
      buffers[1].BufferType = SECBUFFER_DATA;
      buffers[1].pvBuffer = &record[sizes_.cbHeader];
      buffers[1].cbBuffer = static_cast<unsigned long>(n);
      buffers[2].BufferType = SECBUFFER_STREAM_TRAILER;
      buffers[2].pvBuffer = &record[sizes_.cbHeader + n];
      buffers[2].cbBuffer = sizes_.cbTrailer;
      buffers[3].BufferType = SECBUFFER_EMPTY;
      SecBufferDesc desc = {SECBUFFER_VERSION, 4, buffers};
      SECURITY_STATUS status = EncryptMessage(&context_, 0, &desc, 0);
      if (status != SEC_E_OK) {
        error_ = StatusText("EncryptMessage", status);
        return false;
      }
      out->append(record.data(), buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer);
      plain.remove_prefix(n);
    }
    return true;
  }

  bool Open(std::string_view in, std::string* plain, std::string* out) override {
    input_.append(in.data(), in.size());
    while (!input_.empty()) {
      if (renegotiating_) {
        TlsStep step = Handshake(std::string_view(), out);
        if (step == TlsStep::kFailed) return false;
        if (step == TlsStep::kWantMore) return true;
        renegotiating_ = false;
        continue;
      }
      SecBuffer buffers[4] = {};
      buffers[0].BufferType = SECBUFFER_DATA;
      buffers[0].pvBuffer = &input_[0];
      buffers[0].cbBuffer = static_cast<unsigned long>(input_.size());
      for (int i = 1; i < 4; ++i) buffers[i].BufferType = SECBUFFER_EMPTY;
      SecBufferDesc desc = {SECBUFFER_VERSION, 4, buffers};
      SECURITY_STATUS status = DecryptMessage(&context_, &desc, 0, nullptr);
      if (status == SEC_E_INCOMPLETE_MESSAGE) return true;
      if (status == SEC_I_CONTEXT_EXPIRED) {
        closed_ = true;
        return false;
      }
      if (status != SEC_E_OK && status != SEC_I_RENEGOTIATE) {
        error_ = StatusText("DecryptMessage", status);
        return false;
      }
      std::string extra;
      for (int i = 1; i < 4; ++i) {
        if (buffers[i].BufferType == SECBUFFER_DATA && buffers[i].cbBuffer > 0) {
          plain->append(static_cast<const char*>(buffers[i].pvBuffer), buffers[i].cbBuffer);
        }
        if (buffers[i].BufferType == SECBUFFER_EXTRA && buffers[i].cbBuffer > 0) {
          extra.assign(input_.data() + input_.size() - buffers[i].cbBuffer, buffers[i].cbBuffer);
        }
      }
      input_ = std::move(extra);
      // TLS 1.3 messages after the handshake (tickets, key updates) go back
      // to the handshake call.
      if (status == SEC_I_RENEGOTIATE) renegotiating_ = true;
    }
    return true;
  }

  bool closed() const override { return closed_; }

  void Shutdown(std::string* out) override {
    if (!have_context_) return;
    DWORD type = SCHANNEL_SHUTDOWN;
    SecBuffer token = {sizeof type, SECBUFFER_TOKEN, &type};
    SecBufferDesc token_desc = {SECBUFFER_VERSION, 1, &token};
    if (ApplyControlToken(&context_, &token_desc) != SEC_E_OK) return;
    SecBuffer out_buffers[1] = {};
    out_buffers[0].BufferType = SECBUFFER_TOKEN;
    SecBufferDesc out_desc = {SECBUFFER_VERSION, 1, out_buffers};
    unsigned long attributes = 0;
    std::string target = host_;
    InitializeSecurityContextA(&credentials_, &context_, &target[0], kContextRequest, 0, 0, nullptr,
                               0, &context_, &out_desc, &attributes, nullptr);
    TakeToken(&out_buffers[0], out);
  }

 private:
  template <typename Credentials>
  SECURITY_STATUS Acquire(Credentials* credentials) {
    TimeStamp expiry;
    return AcquireCredentialsHandleA(nullptr, const_cast<char*>(UNISP_NAME_A), SECPKG_CRED_OUTBOUND,
                                     nullptr, credentials, nullptr, nullptr, &credentials_,
                                     &expiry);
  }

  static void TakeToken(SecBuffer* token, std::string* out) {
    if (token->pvBuffer == nullptr) return;
    if (token->cbBuffer > 0)
      out->append(static_cast<const char*>(token->pvBuffer), token->cbBuffer);
    FreeContextBuffer(token->pvBuffer);
    token->pvBuffer = nullptr;
  }

  // What the last call did not consume stays for the next one.
  void KeepExtra(const SecBuffer& extra) {
    if (extra.BufferType == SECBUFFER_EXTRA && extra.cbBuffer > 0 &&
        extra.cbBuffer <= input_.size()) {
      input_.erase(0, input_.size() - extra.cbBuffer);
    } else {
      input_.clear();
    }
  }

  bool Established() {
    SECURITY_STATUS status = QueryContextAttributesA(&context_, SECPKG_ATTR_STREAM_SIZES, &sizes_);
    if (status != SEC_E_OK) {
      error_ = StatusText("QueryContextAttributes", status);
      return false;
    }
    SecPkgContext_ConnectionInfo info = {};
    if (QueryContextAttributesA(&context_, SECPKG_ATTR_CONNECTION_INFO, &info) == SEC_E_OK) {
      if (info.dwProtocol & SP_PROT_TLS1_3_CLIENT) {
        protocol_ = "TLSv1.3";
      } else if (info.dwProtocol & SP_PROT_TLS1_2_CLIENT) {
        protocol_ = "TLSv1.2";
      }
    }
    if (protocol_.empty()) {
      error_ = "protocol version below TLS 1.2";
      return false;
    }
    LookAtPeer();
    return true;
  }

  void LookAtPeer() {
    PCCERT_CONTEXT cert = nullptr;
    if (QueryContextAttributesA(&context_, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &cert) != SEC_E_OK ||
        cert == nullptr) {
      peer_.other_problem = true;
      peer_.detail = "no certificate";
      return;
    }
    peer_.der.assign(reinterpret_cast<const char*>(cert->pbCertEncoded), cert->cbCertEncoded);

    // The server's intermediates come with its certificate; the CA file's
    // roots join them.
    HCERTSTORE extra = cert->hCertStore;
    HCERTSTORE collection = nullptr;
    if (roots_ != nullptr) {
      collection = CertOpenStore(CERT_STORE_PROV_COLLECTION, 0, 0, 0, nullptr);
      if (collection != nullptr) {
        CertAddStoreToCollection(collection, cert->hCertStore, 0, 0);
        CertAddStoreToCollection(collection, roots_, 0, 0);
        extra = collection;
      }
    }
    char server_auth[] = szOID_PKIX_KP_SERVER_AUTH;
    LPSTR usages[] = {server_auth};
    CERT_CHAIN_PARA para = {};
    para.cbSize = sizeof para;
    para.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
    para.RequestedUsage.Usage.cUsageIdentifier = 1;
    para.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
    PCCERT_CHAIN_CONTEXT chain = nullptr;
    if (!CertGetCertificateChain(nullptr, cert, nullptr, extra, &para, 0, nullptr, &chain)) {
      peer_.other_problem = true;
      peer_.detail =
          StatusText("CertGetCertificateChain", static_cast<SECURITY_STATUS>(GetLastError()));
    } else {
      Judge(cert, chain);
      CertFreeCertificateChain(chain);
    }
    if (collection != nullptr) CertCloseStore(collection, 0);
    CertFreeCertificateContext(cert);
  }

  void Judge(PCCERT_CONTEXT cert, PCCERT_CHAIN_CONTEXT chain) {
    DWORD errors = chain->TrustStatus.dwErrorStatus;
    // A root from the CA file is trusted like the system's own.
    if ((errors & CERT_TRUST_IS_UNTRUSTED_ROOT) && roots_ != nullptr && chain->cChain > 0) {
      const CERT_SIMPLE_CHAIN* simple = chain->rgpChain[0];
      PCCERT_CONTEXT root = simple->rgpElement[simple->cElement - 1]->pCertContext;
      PCCERT_CONTEXT found = CertFindCertificateInStore(roots_, X509_ASN_ENCODING, 0,
                                                        CERT_FIND_EXISTING, root, nullptr);
      if (found != nullptr) {
        errors &= ~static_cast<DWORD>(CERT_TRUST_IS_UNTRUSTED_ROOT);
        CertFreeCertificateContext(found);
      }
    }
    const DWORD untrusted = CERT_TRUST_IS_UNTRUSTED_ROOT | CERT_TRUST_IS_PARTIAL_CHAIN;
    peer_.chain_trusted = (errors & untrusted) == 0;
    if (errors & CERT_TRUST_IS_NOT_TIME_VALID) {
      if (CertVerifyTimeValidity(nullptr, cert->pCertInfo) < 0) {
        peer_.not_yet_valid = true;
      } else {
        peer_.expired = true;
      }
    }
    // Revocation cannot be asked offline; it is not held against the server.
    const DWORD known = untrusted | CERT_TRUST_IS_NOT_TIME_VALID |
                        CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION;
    if (errors & ~known) {
      peer_.other_problem = true;
      char text[64];
      std::snprintf(text, sizeof text, "chain status 0x%08lX",
                    static_cast<unsigned long>(errors & ~known));
      peer_.detail = text;
    }

    std::wstring name = Wide(host_);
    SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl = {};
    ssl.cbSize = sizeof ssl;
    ssl.dwAuthType = AUTHTYPE_SERVER;
    ssl.fdwChecks = kIgnoreRevocation | kIgnoreUnknownCa | kIgnoreWrongUsage | kIgnoreDateInvalid;
    ssl.pwszServerName = &name[0];
    CERT_CHAIN_POLICY_PARA policy = {};
    policy.cbSize = sizeof policy;
    policy.pvExtraPolicyPara = &ssl;
    CERT_CHAIN_POLICY_STATUS result = {};
    result.cbSize = sizeof result;
    peer_.name_matches =
        CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &result) &&
        result.dwError != static_cast<DWORD>(CERT_E_CN_NO_MATCH);
  }

  std::string host_;
  HCERTSTORE roots_;
  CredHandle credentials_ = {};
  CtxtHandle context_ = {};
  bool have_credentials_ = false;
  bool have_context_ = false;
  bool renegotiating_ = false;
  bool established_ = false;
  bool no_client_certificate_ = false;
  bool closed_ = false;
  std::string input_;  // received bytes not yet consumed
  SecPkgContext_StreamSizes sizes_ = {};
  std::string protocol_;
  PeerCertificate peer_;
};

}  // namespace

std::unique_ptr<TlsClient> TlsClient::Create(const std::string& host, const std::string& ca_file,
                                             std::string* error, bool* ca_file_unreadable) {
  *ca_file_unreadable = false;
  HCERTSTORE roots = nullptr;
  if (!ca_file.empty()) {
    roots = LoadPemRoots(ca_file);
    if (roots == nullptr) {
      *error = "cannot read the CA file";
      *ca_file_unreadable = true;
      return nullptr;
    }
  }
  auto client = std::make_unique<SchannelClient>(host, roots);
  if (!client->Init(error)) return nullptr;
  return client;
}

}  // namespace tarnu::platform
