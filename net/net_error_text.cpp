#include "net/net_error_text.h"

#include "platform/socket.h"

namespace tarnu {

std::string_view NetErrorReason(int code) {
  using platform::NetErrorKind;
  switch (platform::ClassifyNetError(code)) {
    case NetErrorKind::kPeerClosed:
      return "サーバが接続を切断しました";
    case NetErrorKind::kRefused:
      return "接続を拒否されました";
    case NetErrorKind::kTimedOut:
      return "応答がありません";
    case NetErrorKind::kHostNotFound:
      return "サーバ名が見つかりません";
    case NetErrorKind::kLookupTryAgain:
      return "サーバ名を調べられません";
    case NetErrorKind::kNetworkUnreachable:
      return "ネットワークにつながっていません";
    case NetErrorKind::kHostUnreachable:
      return "サーバに届きません";
    case NetErrorKind::kReset:
      return "接続がリセットされました";
    case NetErrorKind::kAborted:
      return "接続が中断されました";
    case NetErrorKind::kAccessDenied:
      return "接続が許可されていません";
    case NetErrorKind::kAddressUnavailable:
      return "接続先のアドレスかポート番号が正しくありません";
    case NetErrorKind::kOther:
      break;
  }
  return std::string_view();
}

std::string NetErrorText(std::string_view prefix, int code) {
  std::string text(prefix);
  text += std::to_string(code);
  std::string_view reason = NetErrorReason(code);
  if (!reason.empty()) {
    text += " (";
    text += reason;
    text += ')';
  }
  return text;
}

}  // namespace tarnu
