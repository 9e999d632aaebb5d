// The failure texts that carry a platform error number: the number first, as
// it always stood, then a short reason in parentheses when the number is one
// people meet ("接続時エラー 10061 (接続を拒否されました)"), so nobody has
// to look the number up.
#ifndef TARNU_NET_NET_ERROR_TEXT_H_
#define TARNU_NET_NET_ERROR_TEXT_H_

#include <string>
#include <string_view>

namespace tarnu {

// `prefix` ends in the space before the number ("受信エラー ").
std::string NetErrorText(std::string_view prefix, int code);

// The reason alone; empty for a number without one.
std::string_view NetErrorReason(int code);

}  // namespace tarnu

#endif  // TARNU_NET_NET_ERROR_TEXT_H_
