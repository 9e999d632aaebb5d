#include "net/net_error_text.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <winsock2.h>
#else
#include <netdb.h>

#include <cerrno>
#endif

namespace tarnu {
namespace {

TEST(NetErrorText, TheNumberFirstThenAReasonPeopleCanRead) {
  struct Case {
    const char* prefix;
    int code;
    std::string text;
  } cases[] = {
#ifdef _WIN32
      {"接続時エラー ", WSAECONNREFUSED, "接続時エラー 10061 (接続を拒否されました)"},
      {"接続時エラー ", WSAETIMEDOUT, "接続時エラー 10060 (応答がありません)"},
      {"接続時エラー ", WSAHOST_NOT_FOUND, "接続時エラー 11001 (サーバ名が見つかりません)"},
      {"接続時エラー ", WSATRY_AGAIN, "接続時エラー 11002 (サーバ名を調べられません)"},
      {"接続時エラー ", WSAENETUNREACH, "接続時エラー 10051 (ネットワークにつながっていません)"},
      {"接続時エラー ", WSAEHOSTUNREACH, "接続時エラー 10065 (サーバに届きません)"},
      {"受信エラー ", WSAECONNRESET, "受信エラー 10054 (接続がリセットされました)"},
      {"受信エラー ", WSAECONNABORTED, "受信エラー 10053 (接続が中断されました)"},
      {"接続時エラー ", WSAEACCES, "接続時エラー 10013 (接続が許可されていません)"},
      {"接続時エラー ", WSAEADDRNOTAVAIL,
       "接続時エラー 10049 (接続先のアドレスかポート番号が正しくありません)"},
      {"接続時エラー ", WSAENETDOWN, "接続時エラー 10050 (ネットワークにつながっていません)"},
      {"接続時エラー ", WSAEHOSTDOWN, "接続時エラー 10064 (サーバに届きません)"},
      {"受信エラー ", WSAENETRESET, "受信エラー 10052 (接続がリセットされました)"},
      {"接続時エラー ", WSANO_RECOVERY, "接続時エラー 11003 (サーバ名が見つかりません)"},
      {"接続時エラー ", WSANO_DATA, "接続時エラー 11004 (サーバ名が見つかりません)"},
      {"送信エラー ", WSAENOBUFS, "送信エラー 10055"},  // no reason for the rare ones
#else
      {"接続時エラー ", ECONNREFUSED,
       "接続時エラー " + std::to_string(ECONNREFUSED) + " (接続を拒否されました)"},
      {"接続時エラー ", ETIMEDOUT,
       "接続時エラー " + std::to_string(ETIMEDOUT) + " (応答がありません)"},
      {"接続時エラー ", EAI_NONAME,
       "接続時エラー " + std::to_string(EAI_NONAME) + " (サーバ名が見つかりません)"},
      {"接続時エラー ", EAI_AGAIN,
       "接続時エラー " + std::to_string(EAI_AGAIN) + " (サーバ名を調べられません)"},
      {"接続時エラー ", ENETUNREACH,
       "接続時エラー " + std::to_string(ENETUNREACH) + " (ネットワークにつながっていません)"},
      {"接続時エラー ", EHOSTUNREACH,
       "接続時エラー " + std::to_string(EHOSTUNREACH) + " (サーバに届きません)"},
      {"受信エラー ", ECONNRESET,
       "受信エラー " + std::to_string(ECONNRESET) + " (接続がリセットされました)"},
      {"送信エラー ", EPIPE, "送信エラー " + std::to_string(EPIPE) + " (接続がリセットされました)"},
      {"受信エラー ", ECONNABORTED,
       "受信エラー " + std::to_string(ECONNABORTED) + " (接続が中断されました)"},
      {"接続時エラー ", EACCES,
       "接続時エラー " + std::to_string(EACCES) + " (接続が許可されていません)"},
      {"接続時エラー ", EPERM,
       "接続時エラー " + std::to_string(EPERM) + " (接続が許可されていません)"},
      {"接続時エラー ", EADDRNOTAVAIL,
       "接続時エラー " + std::to_string(EADDRNOTAVAIL) +
           " (接続先のアドレスかポート番号が正しくありません)"},
      {"接続時エラー ", ENETDOWN,
       "接続時エラー " + std::to_string(ENETDOWN) + " (ネットワークにつながっていません)"},
      {"接続時エラー ", EHOSTDOWN,
       "接続時エラー " + std::to_string(EHOSTDOWN) + " (サーバに届きません)"},
      {"接続時エラー ", EAI_FAIL,
       "接続時エラー " + std::to_string(EAI_FAIL) + " (サーバ名が見つかりません)"},
#ifdef EAI_NODATA
      {"接続時エラー ", EAI_NODATA,
       "接続時エラー " + std::to_string(EAI_NODATA) + " (サーバ名が見つかりません)"},
#endif
      {"送信エラー ", ENOBUFS,
       "送信エラー " + std::to_string(ENOBUFS)},  // no reason for the rare ones
#endif
      // The receive of a connection the server closed reports 0.
      {"受信エラー ", 0, "受信エラー 0 (サーバが接続を切断しました)"},
      {"転送時接続エラー ", 123456, "転送時接続エラー 123456"},
      {"転送時受信エラー ", -1, "転送時受信エラー -1"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(NetErrorText(c.prefix, c.code), c.text) << c.code;
  }
}

}  // namespace
}  // namespace tarnu
