// SHA-256 (FIPS 180-4), for the fingerprints of server certificates: the
// same digest on every platform, computed from the certificate's DER bytes.
#ifndef TARNU_NET_SHA256_H_
#define TARNU_NET_SHA256_H_

#include <string>
#include <string_view>

namespace tarnu {

// The 32-byte digest of `data`, as raw bytes.
std::string Sha256(std::string_view data);

}  // namespace tarnu

#endif  // TARNU_NET_SHA256_H_
