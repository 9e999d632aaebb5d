#include "net/secure_channel.h"

#include "net/net_error_text.h"

#include "model/host_extras.h"
#include "net/sha256.h"

namespace tarnu {
namespace {

constexpr char kTextRefused[] = "サーバ証明書を確認できないため、接続を中止しました\r\n";
constexpr char kTextChanged[] = "・以前に受け入れた証明書と異なります\r\n";
constexpr char kTextUntrusted[] = "・証明書の発行者が信頼されていません\r\n";
constexpr char kTextWrongName[] = "・証明書は %s のものではありません\r\n";
constexpr char kTextExpired[] = "・証明書の有効期限が切れています\r\n";
constexpr char kTextNotYetValid[] = "・証明書の有効期間がまだ始まっていません\r\n";
constexpr char kTextOtherProblem[] = "・証明書に問題があります (%s)\r\n";
constexpr char kTextNoCertificate[] = "・サーバが証明書を送りません\r\n";
constexpr char kTextFingerprint[] = "SHA-256: ";

constexpr char kTextClosed[] = "TLSの接続中にサーバが接続を切りました";
constexpr char kTextHandshakeFailed[] =
    "TLSで接続できません(サーバがTLS 1.2以上に対応していないか、暗号化の取り決めに失敗しまし"
    "た)\r\n";
constexpr char kTextUnexpectedData[] =
    "TLSを始める前にサーバが余計なデータを送ったため、接続を中止しました";
constexpr char kTextCaFile[] = "CA証明書のファイル %s を読み込めません";

// `format` with its one "%s" replaced by `value`.
std::string Fill(const char* format, const std::string& value) {
  std::string text = format;
  std::size_t at = text.find("%s");
  if (at != std::string::npos) text.replace(at, 2, value);
  return text;
}

}  // namespace

std::string JudgeCertificate(const platform::PeerCertificate& peer, const std::string& server,
                             const std::string& accepted_fingerprint) {
  if (peer.der.empty()) return std::string(kTextRefused) + kTextNoCertificate;
  const std::string fingerprint = Sha256(peer.der);
  const bool verifies = peer.chain_trusted && peer.name_matches && !peer.expired &&
                        !peer.not_yet_valid && !peer.other_problem;
  if (verifies) return std::string();
  // The user's acceptance covers exactly this certificate, whatever is wrong
  // with it.
  if (!accepted_fingerprint.empty() && fingerprint == accepted_fingerprint) return std::string();

  std::string text = kTextRefused;
  if (!accepted_fingerprint.empty()) text += kTextChanged;
  if (!peer.chain_trusted) text += kTextUntrusted;
  if (!peer.name_matches) text += Fill(kTextWrongName, server);
  if (peer.expired) text += kTextExpired;
  if (peer.not_yet_valid) text += kTextNotYetValid;
  if (peer.other_problem) text += Fill(kTextOtherProblem, peer.detail);
  text += kTextFingerprint + FormatFingerprint(fingerprint);
  return text;
}

bool SecureChannel(LineChannel* channel, const SecureTarget& target, std::string* error) {
  auto fail = [&](std::string text) {
    *error = std::move(text);
    channel->Close();
    return false;
  };
  switch (channel->StartTls(target.server, target.ca_file, target.timeout)) {
    case TlsStart::kSecured:
      break;
    case TlsStart::kTimedOut:
    case TlsStart::kSocketError:
      return fail(NetErrorText(target.connect_text, channel->last_error()));
    case TlsStart::kClosed:
      return fail(target.prefix + kTextClosed);
    case TlsStart::kFailed:
      return fail(target.prefix + kTextHandshakeFailed + channel->tls_error());
    case TlsStart::kUnexpectedData:
      return fail(target.prefix + kTextUnexpectedData);
    case TlsStart::kCaFileUnreadable:
      return fail(target.prefix + Fill(kTextCaFile, target.ca_file));
  }
  const platform::PeerCertificate& peer = *channel->peer_certificate();
  std::string refusal = JudgeCertificate(peer, target.server, target.accepted_fingerprint);
  if (refusal.empty()) return true;
  if (target.trust != nullptr && !peer.der.empty()) {
    CertificateQuestion question;
    question.server = target.server;
    question.port = target.port;
    question.refusal = refusal;
    question.reasons = refusal.substr(sizeof kTextRefused - 1);
    question.fingerprint = Sha256(peer.der);
    if (target.trust->TrustCertificate(question)) return true;
  }
  return fail(target.prefix + refusal);
}

}  // namespace tarnu
